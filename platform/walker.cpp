#include "platform/walker.h"

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "platform/packages.h"

namespace Walker {
namespace {

struct RawEntry {
    ino_t inode;
    uint32_t offset;  // into Level::names
    uint32_t length;
};

struct Level {
    std::vector<RawEntry> entries;
    std::string names;
};

class Walk {
public:
    Walk(const std::function<WalkAction(const WalkEntry&)>& visit, const WalkOptions& options)
        : visit_(visit), options_(options) {}

    bool run(const std::filesystem::path& root) {
        int fd = ::open(root.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (fd < 0) {
            report(root.native(), errno);
            return true;
        }
        struct stat st{};
        if (::fstat(fd, &st) != 0) {
            report(root.native(), errno);
            ::close(fd);
            return true;
        }
        rootDevice_ = st.st_dev;
        path_ = root.native();
        while (path_.size() > 1 && path_.back() == '/') path_.pop_back();
        if (path_ == "/") path_.clear();
        bool keepGoing = folder(fd, 1);
        ::close(fd);
        return keepGoing;
    }

private:
    void report(std::string_view path, int error) {
        if (options_.onError) options_.onError(path, error);
    }

    // Reads the whole folder into the level's buffers, then closes the stream.
    bool readFolder(int fd, Level& level) {
        level.entries.clear();
        level.names.clear();
        int dupfd = ::dup(fd);
        if (dupfd < 0) return false;
        DIR* dir = ::fdopendir(dupfd);
        if (!dir) {
            ::close(dupfd);
            return false;
        }
        errno = 0;
        while (dirent* d = ::readdir(dir)) {
            const char* n = d->d_name;
            if (n[0] == '.' && (n[1] == 0 || (n[1] == '.' && n[2] == 0))) continue;
            size_t len = std::strlen(n);
            level.entries.push_back({d->d_ino, uint32_t(level.names.size()), uint32_t(len)});
            level.names.append(n, len + 1);
        }
        bool ok = errno == 0;
        ::closedir(dir);
        std::sort(level.entries.begin(), level.entries.end(),
                  [](const RawEntry& a, const RawEntry& b) { return a.inode < b.inode; });
        return ok;
    }

    bool folder(int fd, int depth) {
        if (levels_.size() < size_t(depth)) levels_.resize(depth);
        // levels_ may grow (and move) while a subfolder is walked, so this
        // level's buffers are looked up again on every turn of the loop.
        if (!readFolder(fd, levels_[depth - 1])) report(path_, errno ? errno : EIO);
        const size_t base = path_.size();
        const size_t count = levels_[depth - 1].entries.size();
        for (size_t i = 0; i < count; ++i) {
            Level& level = levels_[depth - 1];
            const RawEntry raw = level.entries[i];
            const char* name = level.names.data() + raw.offset;
            std::string_view nameView(name, raw.length);
            if (options_.skipHidden && name[0] == '.') continue;
            path_.resize(base);
            path_ += '/';
            path_.append(nameView);
            auto facts = factsAt(fd, name);
            if (!facts) {
                report(path_, errno);
                continue;
            }
            bool isDir = facts->isDirectory();
            bool isPackage = isDir && Packages::isPackageName(nameView);
            WalkAction action = visit_(WalkEntry{path_, std::string_view(path_).substr(base + 1), *facts, depth, isPackage});
            if (action == WalkAction::stop) {
                path_.resize(base);
                return false;
            }
            if (!isDir || action == WalkAction::skipSubtree) continue;
            if (isPackage && !options_.enterPackages) continue;
            if (options_.stayOnDevice && facts->identity.device != uint64_t(rootDevice_)) continue;
            int child = ::openat(fd, levels_[depth - 1].names.data() + raw.offset,
                                 O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            if (child < 0) {
                report(path_, errno);
                continue;
            }
            struct stat st{};
            // The folder may have been swapped between fstatat and openat: only
            // walk the object that was stat'ed.
            if (::fstat(child, &st) != 0 || uint64_t(st.st_ino) != facts->identity.inode ||
                uint64_t(st.st_dev) != facts->identity.device) {
                ::close(child);
                continue;
            }
            bool keepGoing = folder(child, depth + 1);
            ::close(child);
            if (!keepGoing) {
                path_.resize(base);
                return false;
            }
        }
        path_.resize(base);
        return true;
    }

    const std::function<WalkAction(const WalkEntry&)>& visit_;
    const WalkOptions& options_;
    std::string path_;
    std::vector<Level> levels_;
    dev_t rootDevice_ = 0;
};

}  // namespace

bool walk(const std::filesystem::path& root, const std::function<WalkAction(const WalkEntry&)>& visit,
          const WalkOptions& options) {
    Walk w(visit, options);
    return w.run(root);
}

std::vector<std::string> list(const std::filesystem::path& folder, bool* ok) {
    std::vector<std::string> names;
    DIR* dir = ::opendir(folder.c_str());
    if (!dir) {
        if (ok) *ok = false;
        return names;
    }
    errno = 0;
    while (dirent* d = ::readdir(dir)) {
        const char* n = d->d_name;
        if (n[0] == '.' && (n[1] == 0 || (n[1] == '.' && n[2] == 0))) continue;
        names.emplace_back(n);
    }
    bool good = errno == 0;
    ::closedir(dir);
    if (ok) *ok = good;
    return names;
}

}  // namespace Walker
