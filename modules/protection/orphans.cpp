#include "modules/protection/orphans.h"

#include <unicode/uchar.h>
#include <unicode/utf8.h>

#include <algorithm>
#include <array>
#include <filesystem>
#include <map>
#include <utility>

#include "engine/app_match.h"
#include "engine/ignores.h"
#include "engine/protection.h"
#include "engine/scan_support.h"
#include "platform/locations.h"
#include "platform/unicode.h"
#include "platform/walker.h"

namespace Orphans {
namespace {

constexpr std::array<std::string_view, 6> kIgnoredBundlePrefixes = {
    "com.apple.", "com.google.keystone", "com.microsoft.autoupdate", "org.sparkle-project", "com.github.", "io.github.",
};
constexpr std::array<std::string_view, 5> kIgnoredNameSuffixes = {"com.apple", "helper", "updater", "installer",
                                                                   ".DS_Store"};
constexpr std::array<std::string_view, 6> kFileExtensionPieces = {"plist", "log",    "db",
                                                                  "sqlite", "savedstate", "binarycookies"};

struct Root {
    std::filesystem::path folder;
    std::string label;
};

std::vector<Root> roots() {
    const auto library = Locations::home() / "Library";
    return {
        {library / "Application Support", "Application Support"},
        {library / "Caches", "Caches"},
        {library / "Preferences", "Preferences"},
        {library / "Logs", "Logs"},
        {library / "Containers", "Containers"},
        {library / "Group Containers", "Group Containers"},
        {library / "Saved Application State", "Saved State"},
        {library / "HTTPStorages", "HTTP Storages"},
        {library / "WebKit", "WebKit"},
        {library / "LaunchAgents", "Launch Agents"},
        {library / "Application Scripts", "Application Scripts"},
        {Locations::system("/Library/Application Support"), "System Application Support"},
        {Locations::system("/Library/LaunchAgents"), "System Launch Agents"},
        {Locations::system("/Library/LaunchDaemons"), "System Launch Daemons"},
        {Locations::system("/Library/Preferences"), "System Preferences"},
        {Locations::system("/Library/PrivilegedHelperTools"), "Privileged Helpers"},
    };
}

std::vector<std::string> splitAtDots(std::string_view name) {
    std::vector<std::string> pieces;
    size_t start = 0;
    while (true) {
        size_t dot = name.find('.', start);
        if (dot == std::string_view::npos) {
            pieces.emplace_back(name.substr(start));
            return pieces;
        }
        pieces.emplace_back(name.substr(start, dot - start));
        start = dot + 1;
    }
}

bool isLetter(UChar32 c) { return u_isalpha(c) != 0; }

bool isNumber(UChar32 c) {
    auto type = u_charType(c);
    return type == U_DECIMAL_DIGIT_NUMBER || type == U_LETTER_NUMBER || type == U_OTHER_NUMBER;
}

bool isCombiningMark(UChar32 c) {
    auto type = u_charType(c);
    return type == U_NON_SPACING_MARK || type == U_COMBINING_SPACING_MARK || type == U_ENCLOSING_MARK;
}

// What one piece of a dotted name holds: whether every character is a letter,
// a number, "-" or "_", whether one of them is a letter, and how many
// characters there are (a combining mark belongs to the character before it).
struct PieceFacts {
    bool wordCharactersOnly = true;
    bool hasLetter = false;
    int characters = 0;
};

PieceFacts factsOf(std::string_view piece) {
    PieceFacts facts;
    const auto* s = reinterpret_cast<const uint8_t*>(piece.data());
    const int32_t n = int32_t(piece.size());
    int32_t i = 0;
    while (i < n) {
        UChar32 c;
        U8_NEXT(s, i, n, c);
        if (c < 0) {
            facts.wordCharactersOnly = false;
            ++facts.characters;
            continue;
        }
        if (isCombiningMark(c) && facts.characters > 0) continue;
        ++facts.characters;
        if (isLetter(c)) facts.hasLetter = true;
        else if (!isNumber(c) && c != '-' && c != '_') facts.wordCharactersOnly = false;
    }
    return facts;
}

bool isFileExtensionPiece(const std::string& piece) {
    std::string lowered = Unicode::lower(piece);
    return std::find(kFileExtensionPieces.begin(), kFileExtensionPieces.end(), lowered) != kFileExtensionPieces.end();
}

}  // namespace

std::optional<std::string> bundleIDCandidate(std::string_view fileName) {
    auto pieces = splitAtDots(fileName);
    if (pieces.size() < 3) return std::nullopt;
    std::vector<std::string> collected;
    int firstLength = 0;
    for (const auto& piece : pieces) {
        if (piece.empty()) break;
        auto facts = factsOf(piece);
        if (!facts.wordCharactersOnly || !facts.hasLetter) break;
        if (collected.size() >= 2 && isFileExtensionPiece(piece)) break;
        if (collected.empty()) firstLength = facts.characters;
        collected.push_back(piece);
    }
    if (collected.size() < 3 || firstLength < 2) return std::nullopt;
    std::string joined;
    for (size_t i = 0; i < collected.size(); ++i) {
        if (i) joined += '.';
        joined += collected[i];
    }
    return joined;
}

bool isIgnored(std::string_view candidate) {
    for (auto prefix : kIgnoredBundlePrefixes)
        if (Unicode::hasPrefix(candidate, prefix)) return true;
    std::string lowered = Unicode::lower(candidate);
    for (auto suffix : kIgnoredNameSuffixes)
        if (Unicode::hasSuffix(lowered, Unicode::lower(suffix))) return true;
    return false;
}

std::vector<ScanCategory> scan(const std::set<std::string>& installedBundleIDs,
                               const std::set<std::string>& /*installedNames*/, const ScanTokenRef& token,
                               const ProgressCallback& progress) {
    const AppMatch::Owners installed(installedBundleIDs);
    const auto folders = roots();
    auto cancelled = [&] { return token && token->isCancelled(); };

    std::vector<std::pair<std::string, std::vector<ScanItem>>> found;  // label, items, in root order
    bool stopped = false;
    for (size_t i = 0; i < folders.size() && !stopped; ++i) {
        if (cancelled()) break;
        const auto& root = folders[i];
        ScanSupport::report(progress, double(i) / double(folders.size()), "Checking " + root.label + "\u2026");
        bool ok = false;
        auto names = Walker::list(root.folder, &ok);
        if (!ok) continue;
        std::vector<ScanItem> items;
        for (const auto& name : names) {
            if (cancelled()) {
                stopped = true;
                break;
            }
            auto candidate = bundleIDCandidate(name);
            if (!candidate) continue;
            std::string owner = Unicode::nfc(AppMatch::ownerIdentifier(*candidate));
            if (owner.empty() || installed.owns(owner) || isIgnored(owner)) continue;
            const auto path = root.folder / name;
            if (Protection::isPathProtected(path) || Ignores::isIgnored(path)) continue;
            items.push_back(ScanSupport::reviewItem(path, name, root.label + " \u00B7 no installed app owns " + owner));
        }
        if (!items.empty()) found.emplace_back(root.label, std::move(items));
    }

    std::vector<ScanCategory> categories;
    for (auto& [label, items] : found) {
        ScanSupport::sortLargestFirst(items);
        ScanCategory category;
        category.id = "orphans-" + label;
        category.title = "Leftovers in " + label;
        category.detail = "Files naming an application that is no longer installed.";
        category.items = std::move(items);
        categories.push_back(std::move(category));
    }
    auto total = [](const ScanCategory& c) {
        int64_t sum = 0;
        for (const auto& item : c.items) sum += item.size;
        return sum;
    };
    std::stable_sort(categories.begin(), categories.end(),
                     [&](const ScanCategory& a, const ScanCategory& b) { return total(a) > total(b); });
    return categories;
}

}  // namespace Orphans
