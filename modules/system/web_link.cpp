#include "modules/system/web_link.h"

#include <memory>

#include "modules/system/curl_library.h"

#include "platform/unicode.h"

namespace WebLink {
namespace {

// Called only once a handle exists, so with the library loaded.
struct UrlDeleter {
    void operator()(CURLU* u) const { Curl::library()->urlCleanup(u); }
};
using Url = std::unique_ptr<CURLU, UrlDeleter>;

struct PartDeleter {
    void operator()(char* p) const { Curl::library()->freeMemory(p); }
};

bool isAsciiLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

char asciiLower(char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; }

// Characters that never appear unescaped in an address: controls, space, and
// the delimiters RFC 3986 leaves out. Bytes above 0x7F (UTF-8 of an
// internationalised address) are allowed once the whole text is valid UTF-8.
bool isForbidden(unsigned char c) {
    if (c < 0x21 || c == 0x7F) return true;
    switch (c) {
        case '"': case '<': case '>': case '\\': case '^': case '`': case '{': case '|': case '}':
            return true;
        default:
            return false;
    }
}

// The scheme before "://" and an authority, lower-cased; empty when the text
// does not start so.
std::string schemeOf(std::string_view text) {
    size_t colon = text.find("://");
    if (colon == std::string_view::npos || colon == 0 || !isAsciiLetter(text[0])) return {};
    std::string_view rest = text.substr(colon + 3);
    if (rest.empty() || rest.front() == '/' || rest.front() == '?' || rest.front() == '#') return {};
    std::string scheme;
    for (char c : text.substr(0, colon)) {
        if (!isAsciiLetter(c) && !(c >= '0' && c <= '9') && c != '+' && c != '-' && c != '.') return {};
        scheme += asciiLower(c);
    }
    return scheme;
}

Url read(std::string_view text) {
    if (text.empty() || text.size() > 8192) return nullptr;
    for (unsigned char c : text)
        if (isForbidden(c)) return nullptr;
    if (!Unicode::isValidUtf8(text)) return nullptr;
    std::string scheme = schemeOf(text);
    if (scheme != "http" && scheme != "https") return nullptr;
    const CurlLibrary* curl = Curl::library();
    if (!curl) return nullptr;
    Url url(curl->url());
    if (!url) return nullptr;
    std::string copy(text);
    if (curl->urlSet(url.get(), CURLUPART_URL, copy.c_str(), 0) != CURLUE_OK) return nullptr;
    return url;
}

std::string part(const Url& url, CURLUPart which, unsigned flags) {
    char* raw = nullptr;
    if (Curl::library()->urlGet(url.get(), which, &raw, flags) != CURLUE_OK || !raw) return {};
    std::unique_ptr<char, PartDeleter> owned(raw);
    return std::string(raw);
}

}  // namespace

std::optional<std::string> parse(std::string_view text) {
    Url url = read(text);
    if (!url || part(url, CURLUPART_HOST, 0).empty()) return std::nullopt;
    return std::string(text);
}

std::string host(std::string_view address) {
    Url url = read(address);
    if (!url) return {};
    std::string h = part(url, CURLUPART_HOST, 0);
    if (h.size() >= 2 && h.front() == '[' && h.back() == ']') h = h.substr(1, h.size() - 2);
    return h;
}

std::string lastPathComponent(std::string_view address) {
    Url url = read(address);
    if (!url) return {};
    std::string path = part(url, CURLUPART_PATH, CURLU_URLDECODE);
    if (path.empty()) return {};
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    if (path == "/") return path;
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace WebLink
