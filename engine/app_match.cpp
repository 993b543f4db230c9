#include "engine/app_match.h"

#include <unicode/uchar.h>
#include <unicode/utf8.h>

#include <algorithm>

#include "platform/locations.h"
#include "platform/unicode.h"

namespace AppMatch {
namespace {

// Names this short ("Go", "TV") are whole words of too many other names.
constexpr size_t kShortestName = 4;

bool isWordCharacter(UChar32 c) {
    if (u_isalnum(c)) return true;
    const auto type = u_charType(c);
    return type == U_NON_SPACING_MARK || type == U_COMBINING_SPACING_MARK || type == U_ENCLOSING_MARK;
}

// The runs of letters, numbers and their marks, in order.
std::vector<std::string> wordsOf(std::string_view text) {
    std::vector<std::string> words;
    const auto* s = reinterpret_cast<const uint8_t*>(text.data());
    const int32_t n = int32_t(text.size());
    int32_t i = 0;
    int32_t start = -1;
    while (i < n) {
        const int32_t at = i;
        UChar32 c;
        U8_NEXT(s, i, n, c);
        const bool word = c >= 0 && isWordCharacter(c);
        if (word && start < 0) start = at;
        if (!word && start >= 0) {
            words.emplace_back(text.substr(size_t(start), size_t(at - start)));
            start = -1;
        }
    }
    if (start >= 0) words.emplace_back(text.substr(size_t(start)));
    return words;
}

bool isAsciiAlnum(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'); }

// What follows a name that still names the application itself: a file
// extension (".plist", ".savedState") or the date a crash report is named with
// ("_2024-01-02-103000_Mac.crash").
bool isOwnSuffix(std::string_view rest) {
    if (rest.size() >= 2 && rest[0] == '.') {
        rest.remove_prefix(1);
        return std::all_of(rest.begin(), rest.end(), isAsciiAlnum);
    }
    return rest.size() >= 2 && rest[0] == '_' && rest[1] >= '0' && rest[1] <= '9';
}

bool startsWith(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() && text.compare(0, prefix.size(), prefix) == 0;
}

// A team identifier: ten upper-case ASCII letters and digits.
bool isTeamIdentifier(std::string_view piece) {
    if (piece.size() != 10) return false;
    return std::all_of(piece.begin(), piece.end(),
                       [](char c) { return (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'); });
}

// Whether the lowered name is the lowered identifier or runs on from it at a dot.
bool atIdentifier(std::string_view name, std::string_view identifier) {
    return startsWith(name, identifier) && (name.size() == identifier.size() || name[identifier.size()] == '.');
}

}  // namespace

bool isSpecific(std::string_view identifier) {
    int parts = 0;
    size_t i = 0;
    while (i <= identifier.size()) {
        size_t j = identifier.find('.', i);
        if (j == std::string_view::npos) j = identifier.size();
        std::string_view part = identifier.substr(i, j - i);
        if (part.find_first_not_of(" \t\r\n") != std::string_view::npos) ++parts;
        i = j + 1;
    }
    return parts >= 2;
}

std::string ownerIdentifier(std::string_view name) {
    std::string_view rest = name;
    if (rest.substr(0, 6) == "group.") rest.remove_prefix(6);
    size_t dot = rest.find('.');
    if (dot != std::string_view::npos && isTeamIdentifier(rest.substr(0, dot))) rest.remove_prefix(dot + 1);
    return std::string(rest);
}

Owners::Owners(const std::set<std::string>& installedIDs) {
    for (const auto& id : installedIDs)
        if (!id.empty()) ids_.insert(Unicode::nfc(id));
}

bool Owners::owns(std::string_view identifier) const {
    const std::string candidate = Unicode::nfc(identifier);
    if (candidate.empty()) return false;
    if (ids_.count(candidate)) return true;
    // An installed identifier below the candidate: com.example for com.example.Editor.
    const std::string asParent = candidate + ".";
    auto it = ids_.lower_bound(asParent);
    if (it != ids_.end() && startsWith(*it, asParent)) return true;
    // The candidate below an installed identifier: an application's extensions
    // and helpers (com.example.Editor.ShareExtension).
    for (size_t dot = candidate.find('.'); dot != std::string::npos; dot = candidate.find('.', dot + 1))
        if (dot > 0 && ids_.count(candidate.substr(0, dot))) return true;
    return false;
}

bool isOwned(std::string_view identifier, const std::set<std::string>& installedIDs) {
    return Owners(installedIDs).owns(identifier);
}

// An application with its identifier and name as names are compared with them.
struct Matcher::Prepared {
    std::string identifier;  // lowered; empty when it is not specific
    size_t identifierLength = 0;
    std::string name;  // lowered; empty when too short to match by
    std::vector<std::string> nameWords;

    explicit Prepared(const App& app) {
        if (isSpecific(app.bundleID)) {
            identifier = Unicode::lower(app.bundleID);
            identifierLength = Unicode::characterCount(identifier);
        }
        const std::string lowered = Unicode::lower(app.name);
        if (Unicode::characterCount(lowered) >= kShortestName) {
            nameWords = wordsOf(lowered);
            if (!nameWords.empty()) name = lowered;
        }
    }
};

namespace {

// A name as applications are compared with it, prepared once.
struct Subject {
    std::string lowered;
    std::string owner;  // lowered, without a group or team prefix
    std::vector<std::string> words;

    explicit Subject(std::string_view name)
        : lowered(Unicode::lower(name)), owner(Unicode::lower(ownerIdentifier(name))), words(wordsOf(lowered)) {}
};

template <class Prepared>
Match matchPrepared(const Subject& subject, const Prepared& app) {
    if (!app.identifier.empty() &&
        (atIdentifier(subject.lowered, app.identifier) || atIdentifier(subject.owner, app.identifier)))
        return {Kind::identifier, app.identifierLength};
    if (app.name.empty()) return {};
    const size_t words = app.nameWords.size();
    if (subject.lowered == app.name ||
        (startsWith(subject.lowered, app.name) && isOwnSuffix(std::string_view(subject.lowered).substr(app.name.size()))))
        return {Kind::name, words};
    auto found = std::search(subject.words.begin(), subject.words.end(), app.nameWords.begin(), app.nameWords.end());
    if (found != subject.words.end()) return {Kind::words, words};
    return {};
}

// Where the bundle really is; the path as written when that cannot be told.
std::string realBundle(const std::filesystem::path& url) {
    return Locations::realPath(url.native()).value_or(url.native());
}

}  // namespace

bool identifierMatches(std::string_view name, std::string_view identifier) {
    if (!isSpecific(identifier)) return false;
    const std::string id = Unicode::lower(identifier);
    return atIdentifier(Unicode::lower(name), id) || atIdentifier(Unicode::lower(ownerIdentifier(name)), id);
}

Match match(std::string_view name, const App& app) { return Matcher(app, {}).judge(name).mine; }

Matcher::Matcher(const App& app, const std::vector<App>& installed) {
    apps_.emplace_back(app);
    const std::string self = app.url.empty() || installed.empty() ? std::string() : realBundle(app.url);
    for (const App& other : installed) {
        if (!app.url.empty() && (other.url == app.url || realBundle(other.url) == self)) continue;
        others_.push_back(other);
    }
    for (const App& other : others_) apps_.emplace_back(other);
}

Matcher::~Matcher() = default;
Matcher::Matcher(Matcher&&) noexcept = default;
Matcher& Matcher::operator=(Matcher&&) noexcept = default;

Judgement Matcher::judge(std::string_view name) const {
    const Subject subject(name);
    Judgement out;
    out.mine = matchPrepared(subject, apps_.front());
    Match strongest;
    for (size_t i = 1; i < apps_.size(); ++i) {
        const Match m = matchPrepared(subject, apps_[i]);
        if (m.kind == Kind::none) continue;
        if (m > out.mine && (!out.owner || m > strongest)) {
            out.owner = &others_[i - 1];
            strongest = m;
        } else if (m == out.mine && !out.shared) {
            out.shared = &others_[i - 1];
        }
    }
    return out;
}

}  // namespace AppMatch
