#include "platform/atomic_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <system_error>

namespace AtomicFile {

bool write(const std::filesystem::path& path, std::string_view contents, std::string* error, unsigned mode) {
    auto fail = [&](int err) {
        if (error) *error = std::strerror(err);
        return false;
    };
    std::string temp = path.native() + ".tmp-XXXXXX";
    int fd = ::mkstemp(temp.data());
    if (fd < 0) return fail(errno);
    ::fchmod(fd, mode_t(mode));
    const char* p = contents.data();
    size_t left = contents.size();
    while (left > 0) {
        ssize_t n = ::write(fd, p, left);
        if (n < 0) {
            if (errno == EINTR) continue;
            int err = errno;
            ::close(fd);
            ::unlink(temp.c_str());
            return fail(err);
        }
        p += n;
        left -= size_t(n);
    }
    // The handle is closed whether or not the data reached the disk.
    int err = ::fsync(fd) == 0 ? 0 : errno;
    if (::close(fd) != 0 && err == 0) err = errno;
    if (err != 0) {
        ::unlink(temp.c_str());
        return fail(err);
    }
    if (::rename(temp.c_str(), path.c_str()) != 0) {
        int err = errno;
        ::unlink(temp.c_str());
        return fail(err);
    }
    return true;
}

bool makeFolders(const std::filesystem::path& folder, std::string* error) {
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    if (ec) {
        if (error) *error = ec.message();
        return false;
    }
    if (!std::filesystem::is_directory(folder, ec)) {
        if (error) *error = std::strerror(ENOTDIR);
        return false;
    }
    return true;
}

}  // namespace AtomicFile
