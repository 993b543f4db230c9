#include "platform/file_text.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace FileText {
namespace {

std::optional<std::string> readAll(const std::filesystem::path& path, Owner owner, size_t maxBytes, int* error) {
    auto fail = [&](int err) -> std::optional<std::string> {
        if (error) *error = err;
        return std::nullopt;
    };
    int openError = 0;
    FileHandle fd = openRegular(path, owner, &openError);
    if (!fd.valid()) return fail(openError);
    struct stat st{};
    if (::fstat(fd.get(), &st) != 0) return fail(errno);
    if (st.st_size > 0 && uint64_t(st.st_size) > maxBytes) return fail(EFBIG);
    std::string bytes;
    // Files of the kernel's own (the mount table) report no size: read to the end.
    if (st.st_size > 0) bytes.reserve(size_t(st.st_size));
    char buf[65536];
    for (;;) {
        ssize_t n = ::read(fd.get(), buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return fail(errno);
        if (n == 0) break;
        bytes.append(buf, size_t(n));
        // A file that grows while it is read is held to the cap all the same.
        if (bytes.size() > maxBytes) return fail(EFBIG);
    }
    if (error) *error = 0;
    return bytes;
}

}  // namespace

FileHandle openRegular(const std::filesystem::path& path, Owner owner, int* error) {
    int flags = O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;
    if (owner == Owner::own) flags |= O_NOFOLLOW;
    FileHandle fd(::open(path.c_str(), flags));
    int err = fd.valid() ? 0 : errno;
    struct stat st{};
    if (fd.valid() && ::fstat(fd.get(), &st) != 0) err = errno;
    else if (fd.valid() && !S_ISREG(st.st_mode)) err = EINVAL;
    if (err != 0) {
        fd.reset();
        if (error) *error = err;
        return fd;
    }
    if (error) *error = 0;
    return fd;
}

std::optional<std::string> read(const std::filesystem::path& path, size_t maxBytes, int* error) {
    return readAll(path, Owner::other, maxBytes, error);
}

std::optional<std::string> readOwn(const std::filesystem::path& path, size_t maxBytes, int* error) {
    return readAll(path, Owner::own, maxBytes, error);
}

}  // namespace FileText
