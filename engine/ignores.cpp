#include "engine/ignores.h"

#include <algorithm>
#include <fstream>
#include <mutex>
#include <optional>
#include <sstream>

#include "platform/atomic_file.h"
#include "platform/locations.h"
#include "platform/unicode.h"

namespace Ignores {
namespace {

std::mutex& lock() {
    static std::mutex m;
    return m;
}
std::optional<std::vector<std::string>> cached;

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
    return Unicode::nfc(e);
}

std::string readFile() {
    std::ifstream in(fileURL(), std::ios::binary);
    if (!in) return {};
    std::stringstream ss;
    ss << in.rdbuf();
    std::string text = ss.str();
    if (!Unicode::isValidUtf8(text)) return {};
    return text;
}

// Rewrites the file and the cache. False when the file could not be written.
bool write(const std::vector<std::string>& entries) {
    std::lock_guard guard(lock());
    if (!AtomicFile::makeFolders(Locations::supportFolder()) ||
        !AtomicFile::write(fileURL(), render(entries))) {
        cached.reset();
        return false;
    }
    cached = entries;
    return true;
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
    size_t i = 0;
    while (i < text.size()) {
        size_t j = text.find('\n', i);
        if (j == std::string_view::npos) j = text.size();
        std::string_view line = text.substr(i, j - i);
        i = j + 1;
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
    if (!cached) cached = parse(readFile());
    return *cached;
}

Edit add(std::string_view path) {
    if (!Unicode::isValidUtf8(path)) return Edit::notUtf8;
    std::string value = !path.empty() && path.front() == '/' ? std::string(path) : Locations::expandTilde(path);
    auto list = paths();
    for (const auto& e : list)
        if (Unicode::equal(e, value)) return Edit::unchanged;
    list.push_back(value);
    return write(list) ? Edit::changed : Edit::writeFailed;
}

Edit remove(std::string_view path) {
    auto list = paths();
    size_t before = list.size();
    std::erase_if(list, [&](const std::string& e) { return Unicode::equal(e, path); });
    if (list.size() == before) return Edit::unchanged;
    return write(list) ? Edit::changed : Edit::writeFailed;
}

bool isIgnored(const std::filesystem::path& path) {
    std::string p = Unicode::nfc(Locations::standardize(path.native()));
    for (const auto& entry : paths()) {
        std::string e = matchForm(entry);
        if (e.empty() || e.front() != '/') continue;
        if (e == "/") return true;  // the whole disk is on the list
        if (p == e) return true;
        if (p.size() > e.size() && p.compare(0, e.size(), e) == 0 && p[e.size()] == '/') return true;
    }
    return false;
}

bool holdsIgnored(const std::filesystem::path& path) {
    std::string p = Unicode::nfc(Locations::standardize(path.native()));
    if (p.empty() || p.front() != '/') return false;
    if (p != "/") p += '/';
    for (const auto& entry : paths()) {
        std::string e = matchForm(entry);
        if (e.size() > p.size() && e.compare(0, p.size(), p) == 0) return true;
    }
    return false;
}

void resetCache() {
    std::lock_guard guard(lock());
    cached.reset();
}

}  // namespace Ignores
