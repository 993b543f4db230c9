#include "platform/locations.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

namespace Locations {
namespace {

std::mutex rootLock;
std::optional<std::string> rootOverride;

std::string trimTrailingSlashes(std::string s) {
    while (s.size() > 1 && s.back() == '/') s.pop_back();
    if (s == "/") s.clear();
    return s;
}

std::optional<std::string> homeOfUser(const std::string& name) {
    std::vector<char> buf(16384);
    passwd pw{};
    passwd* result = nullptr;
    if (getpwnam_r(name.c_str(), &pw, buf.data(), buf.size(), &result) != 0 || !result || !result->pw_dir)
        return std::nullopt;
    return std::string(result->pw_dir);
}

}  // namespace

std::filesystem::path home() {
    if (const char* h = std::getenv("HOME"); h && *h) return std::filesystem::path(h);
    std::vector<char> buf(16384);
    passwd pw{};
    passwd* result = nullptr;
    if (getpwuid_r(getuid(), &pw, buf.data(), buf.size(), &result) == 0 && result && result->pw_dir)
        return std::filesystem::path(result->pw_dir);
    return std::filesystem::path("/");
}

std::string root() {
    std::lock_guard guard(rootLock);
    if (!rootOverride) {
        const char* env = std::getenv("VESSILTANE_ROOT");
        rootOverride = trimTrailingSlashes(env ? std::string(env) : std::string());
    }
    return *rootOverride;
}

void setRoot(std::string r) {
    std::lock_guard guard(rootLock);
    rootOverride = trimTrailingSlashes(std::move(r));
}

std::filesystem::path system(std::string_view absolute) {
    std::string r = root();
    std::string p(absolute);
    if (p.empty() || p.front() != '/') p.insert(p.begin(), '/');
    if (r.empty()) return std::filesystem::path(p);
    if (p == "/") return std::filesystem::path(r);
    return std::filesystem::path(r + p);
}

std::string systemView(std::string_view path) {
    std::string r = root();
    if (r.empty()) return std::string(path);
    if (path == r) return "/";
    if (path.size() > r.size() && path.substr(0, r.size()) == r && path[r.size()] == '/')
        return std::string(path.substr(r.size()));
    return std::string(path);
}

std::filesystem::path fromSystemView(std::string_view path) {
    if (path.empty() || path.front() != '/') return std::filesystem::path(path);
    const std::string h = trimTrailingSlashes(home().string());
    if (!h.empty() && path.substr(0, h.size()) == h && (path.size() == h.size() || path[h.size()] == '/'))
        return std::filesystem::path(path);
    return system(path);
}

std::filesystem::path supportFolder() {
    return home() / "Library" / "Application Support" / "Vessiltane";
}

std::string expandTilde(std::string_view path) {
    if (path.empty() || path.front() != '~') return std::string(path);
    size_t slash = path.find('/');
    std::string_view user = path.substr(1, slash == std::string_view::npos ? std::string_view::npos : slash - 1);
    std::string_view rest = slash == std::string_view::npos ? std::string_view() : path.substr(slash);
    std::string base;
    if (user.empty()) {
        base = home().string();
    } else {
        auto h = homeOfUser(std::string(user));
        if (!h) return std::string(path);
        base = *h;
    }
    base = trimTrailingSlashes(base);
    if (rest.empty()) return base.empty() ? "/" : base;
    return base + std::string(rest);
}

std::string abbreviateTilde(std::string_view path) {
    std::string h = trimTrailingSlashes(home().string());
    if (h.empty()) return std::string(path);
    if (path == h) return "~";
    if (path.size() <= h.size() || path.substr(0, h.size()) != h || path[h.size()] != '/') return std::string(path);
    std::string abbreviated = "~";
    abbreviated += path.substr(h.size());
    return abbreviated;
}

std::string withoutTrailingSlash(std::string_view path) {
    while (path.size() > 1 && path.back() == '/') path.remove_suffix(1);
    return std::string(path);
}

std::optional<std::string> realPath(const std::string& path) {
    std::unique_ptr<char, decltype(&std::free)> real(::realpath(path.c_str(), nullptr), &std::free);
    if (!real) return std::nullopt;
    return std::string(real.get());
}

bool isWithin(std::string_view path, std::string_view folder) {
    if (folder == "/") return !path.empty() && path.front() == '/';
    if (path.size() < folder.size() || path.substr(0, folder.size()) != folder) return false;
    return path.size() == folder.size() || path[folder.size()] == '/';
}

std::string standardize(std::string_view path) {
    if (path.empty()) return std::string();
    bool absolute = path.front() == '/';
    std::vector<std::string_view> parts;
    size_t i = 0;
    while (i <= path.size()) {
        size_t j = path.find('/', i);
        if (j == std::string_view::npos) j = path.size();
        std::string_view piece = path.substr(i, j - i);
        if (piece.empty() || piece == ".") {
        } else if (piece == "..") {
            if (!parts.empty() && parts.back() != "..") parts.pop_back();
            else if (!absolute) parts.push_back(piece);
        } else {
            parts.push_back(piece);
        }
        i = j + 1;
    }
    std::string out = absolute ? "/" : "";
    for (size_t k = 0; k < parts.size(); ++k) {
        if (k) out += '/';
        out += parts[k];
    }
    if (out.empty()) out.push_back('.');
    return out;
}

}  // namespace Locations
