#include "engine/ignores.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <mutex>
#include <optional>

#include "platform/atomic_file.h"
#include "platform/file_text.h"
#include "platform/locations.h"
#include "platform/text_lines.h"
#include "platform/unicode.h"

namespace Ignores {
namespace {

std::mutex& lock() {
    static std::mutex m;
    return m;
}

bool isSpaceAt(std::string_view s, size_t i, size_t* length) {
    unsigned char c = static_cast<unsigned char>(s[i]);
    if (c == ' ' || c == '\t') {
        *length = 1;
        return true;
    }
    // Unicode space separators (Zs) other than the ASCII space.
    static const std::string_view spaces[] = {
        "\xC2\xA0",     "\xE1\x9A\x80", "\xE2\x80\x80", "\xE2\x80\x81", "\xE2\x80\x82", "\xE2\x80\x83",
        "\xE2\x80\x84", "\xE2\x80\x85", "\xE2\x80\x86", "\xE2\x80\x87", "\xE2\x80\x88", "\xE2\x80\x89",
        "\xE2\x80\x8A", "\xE2\x80\xAF", "\xE2\x81\x9F", "\xE3\x80\x80",
    };
    for (auto sp : spaces)
        if (s.substr(i, sp.size()) == sp) {
            *length = sp.size();
            return true;
        }
    return false;
}

std::string_view trim(std::string_view s) {
    size_t len = 0;
    while (!s.empty() && isSpaceAt(s, 0, &len)) s.remove_prefix(len);
    // Trailing: test each known width from the end.
    bool trimmed = true;
    while (!s.empty() && trimmed) {
        trimmed = false;
        for (size_t w = 1; w <= 3 && w <= s.size(); ++w) {
            if (isSpaceAt(s, s.size() - w, &len) && len == w) {
                s.remove_suffix(w);
                trimmed = true;
                break;
            }
        }
    }
    return s;
}

// The entry as it is matched: tilde-expanded unless it begins with "/", and
// without trailing slashes ("/Keep/" covers /Keep like "/Keep").
std::string matchForm(const std::string& entry) {
    std::string e = entry.empty() || entry.front() == '/' ? entry : Locations::expandTilde(entry);
    // Compared paths are standardised, so an entry is too: written with "..",
    // "." or doubled slashes it still names, and keeps, the same place.
    if (!e.empty() && e.front() == '/') e = Locations::standardize(e);
    // A line that is not UTF-8 stays as it is, and is matched byte for byte.
    return Unicode::nfc(e);
}

// Where the entry's place really is, when a link on the way leads elsewhere.
std::optional<std::string> realForm(const std::string& form) {
    if (form.empty() || form.front() != '/' || form.find('\0') != std::string::npos) return std::nullopt;
    auto real = Locations::realPath(form);
    if (!real) return std::nullopt;
    std::string r = Unicode::nfc(*real);
    if (r == form) return std::nullopt;
    return r;
}

// One entry as it is compared: as written (expanded and standardised), and
// where it really is.
struct Form {
    std::string written;
    std::optional<std::string> real;
};

struct List {
    std::vector<std::string> entries;
    std::vector<Form> forms;
    std::optional<std::string> unreadable;
};

std::vector<Form> formsOf(const std::vector<std::string>& entries) {
    std::vector<Form> out;
    out.reserve(entries.size());
    for (const auto& e : entries) {
        Form f{matchForm(e), std::nullopt};
        f.real = realForm(f.written);
        out.push_back(std::move(f));
    }
    return out;
}

std::optional<List> cached;

// A list larger than this is no list of paths someone keeps by hand.
constexpr size_t kMaxFileBytes = 16 * 1024 * 1024;

std::string unreadableReason(int error) {
    switch (error) {
        case EINVAL: return "it is not a regular file";
        case ELOOP: return "a symbolic link stands in its place";
        case EFBIG: return "it is larger than 16 MB";
        default: return std::strerror(error);
    }
}

List readList() {
    List list;
    int error = 0;
    auto bytes = FileText::readOwn(fileURL(), kMaxFileBytes, &error);
    if (bytes) {
        list.entries = parse(*bytes);
        list.forms = formsOf(list.entries);
    } else if (error != ENOENT && error != ENOTDIR) {
        // It is there, but what it protects is unknown: nothing may be removed.
        list.unreadable = unreadableReason(error);
    }
    return list;
}

// The cached list, read from the file first when needed. Called with the lock held.
const List& loaded() {
    if (!cached) cached = readList();
    return *cached;
}

// Rewrites the file and the cache. False when the file could not be written.
bool write(const std::vector<std::string>& entries) {
    std::lock_guard guard(lock());
    if (!AtomicFile::makeFolders(Locations::supportFolder()) ||
        !AtomicFile::write(fileURL(), render(entries))) {
        cached.reset();
        return false;
    }
    cached = List{entries, formsOf(entries), std::nullopt};
    return true;
}

// The forms to compare with, their real paths looked up now when asked.
std::vector<Form> currentForms(RealPaths realPaths) {
    std::vector<Form> forms;
    {
        std::lock_guard guard(lock());
        forms = loaded().forms;
    }
    if (realPaths == RealPaths::fresh)
        for (auto& f : forms) f.real = realForm(f.written);
    return forms;
}

bool covers(const std::string& entry, const std::string& p) {
    if (entry.empty() || entry.front() != '/') return false;
    if (entry == "/") return true;  // the whole disk is on the list
    if (p == entry) return true;
    return p.size() > entry.size() && p.compare(0, entry.size(), entry) == 0 && p[entry.size()] == '/';
}

}  // namespace

const std::string_view header =
    "# Vessiltane ignore list.\n"
    "# One absolute path per line. Anything listed here \xE2\x80\x94 and everything\n"
    "# inside it \xE2\x80\x94 is never scanned and never removed.\n"
    "#\n";

std::filesystem::path fileURL() { return Locations::supportFolder() / "ignore.txt"; }

std::vector<std::string> parse(std::string_view text) {
    std::vector<std::string> out;
    for (std::string_view line : TextLines::nonEmpty(text)) {
        // A hand-edited file may end its lines with CR LF.
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        line = trim(line);
        if (line.empty() || line.front() == '#') continue;
        out.emplace_back(line);
    }
    return out;
}

std::string render(std::vector<std::string> entries) {
    std::sort(entries.begin(), entries.end(),
              [](const std::string& a, const std::string& b) { return Unicode::nfc(a) < Unicode::nfc(b); });
    std::string text(header);
    for (size_t k = 0; k < entries.size(); ++k) {
        if (k) text += '\n';
        text += entries[k];
    }
    text += '\n';
    return text;
}

std::vector<std::string> paths() {
    std::lock_guard guard(lock());
    return loaded().entries;
}

std::optional<std::string> unreadable() {
    std::lock_guard guard(lock());
    return loaded().unreadable;
}

std::optional<std::string> unstorable(std::string_view entry) {
    if (entry.empty()) return "it is empty";
    for (char c : entry)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
            return "it holds a control character (a line break, a tab or the like)";
    if (trim(entry) != entry) return "it begins or ends with white space";
    if (entry.front() == '#') return "it would read as a comment";
    if (entry.front() != '/') return "it is not an absolute path";
    return std::nullopt;
}

Edit add(std::string_view path) {
    std::string value = !path.empty() && path.front() == '/' ? std::string(path) : Locations::expandTilde(path);
    if (unstorable(value)) return Edit::refused;
    // Rewriting a list that could not be read would lose what it holds.
    if (unreadable()) return Edit::unreadable;
    auto list = paths();
    for (const auto& e : list)
        if (Unicode::equal(e, value)) return Edit::unchanged;
    list.push_back(value);
    return write(list) ? Edit::changed : Edit::writeFailed;
}

Edit remove(std::string_view path) {
    if (unreadable()) return Edit::unreadable;
    auto list = paths();
    size_t before = list.size();
    std::erase_if(list, [&](const std::string& e) { return Unicode::equal(e, path); });
    if (list.size() == before) return Edit::unchanged;
    return write(list) ? Edit::changed : Edit::writeFailed;
}

bool isIgnored(const std::filesystem::path& path, RealPaths realPaths) {
    std::string p = Unicode::nfc(Locations::standardize(path.native()));
    for (const auto& f : currentForms(realPaths))
        if (covers(f.written, p) || (f.real && covers(*f.real, p))) return true;
    return false;
}

bool holdsIgnored(const std::filesystem::path& path, RealPaths realPaths) {
    std::string p = Unicode::nfc(Locations::standardize(path.native()));
    if (p.empty() || p.front() != '/') return false;
    if (p != "/") p += '/';
    auto inside = [&](const std::string& e) { return e.size() > p.size() && e.compare(0, p.size(), p) == 0; };
    for (const auto& f : currentForms(realPaths))
        if (inside(f.written) || (f.real && inside(*f.real))) return true;
    return false;
}

void resetCache() {
    std::lock_guard guard(lock());
    cached.reset();
}

}  // namespace Ignores
