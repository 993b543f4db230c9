#include "platform/resources.h"

#include <sys/stat.h>
#include <unistd.h>

#include <mutex>
#include <string>

#ifdef __APPLE__
#include <mach-o/dyld.h>

#include <climits>
#include <cstdlib>
#endif

namespace Resources {
namespace {

std::mutex overrideLock;
std::optional<std::vector<std::filesystem::path>> foldersOverride;

}  // namespace

std::optional<std::filesystem::path> executablePath() {
#ifdef __APPLE__
    uint32_t length = 0;
    _NSGetExecutablePath(nullptr, &length);
    std::string buffer(length, '\0');
    if (length == 0 || _NSGetExecutablePath(buffer.data(), &length) != 0) return std::nullopt;
    buffer.resize(buffer.find('\0') == std::string::npos ? buffer.size() : buffer.find('\0'));
    char resolved[PATH_MAX];
    if (::realpath(buffer.c_str(), resolved)) return std::filesystem::path(resolved);
    return std::filesystem::path(buffer);
#else
    std::string buffer(4096, '\0');
    ssize_t n = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
    if (n <= 0 || size_t(n) >= buffer.size()) return std::nullopt;
    buffer.resize(size_t(n));
    return std::filesystem::path(buffer);
#endif
}

std::vector<std::filesystem::path> searchFolders() {
    {
        std::lock_guard guard(overrideLock);
        if (foldersOverride) return *foldersOverride;
    }
    auto exe = executablePath();
    if (!exe) return {};
    const std::filesystem::path dir = exe->parent_path();
    return {
        dir.parent_path() / "Resources",                 // Name.app/Contents/MacOS/exe
        dir.parent_path() / "share" / "vessiltane",      // <prefix>/bin/exe
        dir / "resources",                               // <build>/exe
        dir.parent_path() / "resources",                 // <build>/tests/exe
    };
}

namespace {

// One plain name: no slash, and not "." or "..".
bool plainName(std::string_view name) {
    return !name.empty() && name != "." && name != ".." && name.find('/') == std::string_view::npos;
}

}  // namespace

std::optional<std::filesystem::path> locate(std::string_view fileName) { return locate({}, fileName); }

std::optional<std::filesystem::path> locate(std::string_view folder, std::string_view fileName) {
    if (!plainName(fileName) || (!folder.empty() && !plainName(folder))) return std::nullopt;
    for (const auto& base : searchFolders()) {
        const std::filesystem::path candidate =
            (folder.empty() ? base : base / std::string(folder)) / std::string(fileName);
        struct stat st {};
        if (::stat(candidate.c_str(), &st) == 0 && S_ISREG(st.st_mode)) return candidate;
    }
    return std::nullopt;
}

void setSearchFoldersForTesting(std::optional<std::vector<std::filesystem::path>> folders) {
    std::lock_guard guard(overrideLock);
    foldersOverride = std::move(folders);
}

}  // namespace Resources
