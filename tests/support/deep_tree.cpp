#include "support/deep_tree.h"

#include <fcntl.h>
#include <pthread.h>
#include <sys/stat.h>
#include <unistd.h>

#ifdef __linux__
#include <sys/mount.h>
#endif

#include <stdexcept>
#include <string>

#include "platform/volumes.h"
#include "support/test_env.h"

namespace testing_support {

namespace {

constexpr int kFolder = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;

void createFile(int dir, const char* name, size_t bytes) {
    int fd = ::openat(dir, name, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0) throw std::runtime_error(std::string("cannot create ") + name);
    std::string data(bytes, 'x');
    bool ok = ::write(fd, data.data(), data.size()) == ssize_t(data.size());
    ok = ::close(fd) == 0 && ok;
    if (!ok) throw std::runtime_error(std::string("cannot write ") + name);
}

}  // namespace

DeepChain makeDeepChain(const std::filesystem::path& folder, int levels, bool siblings) {
    std::filesystem::create_directories(folder);
    int fd = ::open(folder.c_str(), kFolder);
    if (fd < 0) throw std::runtime_error("cannot open " + folder.string());
    DeepChain chain;
    chain.levels = levels;
    for (int i = 0; i < levels; ++i) {
        if (::mkdirat(fd, "d", 0755) != 0) {
            ::close(fd);
            throw std::runtime_error("cannot make level " + std::to_string(i));
        }
        if (siblings && i > 0) createFile(fd, "f", 0);
        int next = ::openat(fd, "d", kFolder);
        ::close(fd);
        if (next < 0) throw std::runtime_error("cannot open level " + std::to_string(i));
        fd = next;
    }
    createFile(fd, "bottom", 5000);
    struct stat st{};
    ::fstatat(fd, "bottom", &st, AT_SYMLINK_NOFOLLOW);
    chain.bottomAllocated = int64_t(st.st_blocks) * 512;
    ::close(fd);
    return chain;
}

void removeDeepChain(const std::filesystem::path& folder) { emptyFolder(folder); }

DeepScratch::DeepScratch(const std::filesystem::path& path) : path_(path) {
    std::filesystem::create_directories(path);
#ifdef __linux__
    mounted_ = ::mount("vessiltane-deep", path.c_str(), "tmpfs", MS_NOSUID | MS_NODEV, "mode=0755") == 0;
    if (mounted_) {
        auto volumes = Volumes::mounted();
        volumes.push_back(path);
        Volumes::setForTesting(volumes);
    }
#endif
}

DeepScratch::~DeepScratch() {
    removeDeepChain(path_);
#ifdef __linux__
    if (mounted_) ::umount2(path_.c_str(), MNT_DETACH);
#endif
}

void onThreadWithStack(size_t stackBytes, const std::function<void()>& body) {
    pthread_attr_t attr;
    ::pthread_attr_init(&attr);
    ::pthread_attr_setstacksize(&attr, stackBytes);
    pthread_t thread;
    auto run = [](void* arg) -> void* {
        (*static_cast<const std::function<void()>*>(arg))();
        return nullptr;
    };
    const int error = ::pthread_create(&thread, &attr, run, const_cast<std::function<void()>*>(&body));
    ::pthread_attr_destroy(&attr);
    if (error != 0) throw std::runtime_error("cannot start a thread");
    ::pthread_join(thread, nullptr);
}

}  // namespace testing_support
