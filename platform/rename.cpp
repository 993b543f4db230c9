#include "platform/rename.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>

#include <cerrno>

namespace Rename {

int exclusive(int fromfd, const char* from, int tofd, const char* to) {
#ifdef __APPLE__
    if (::renameatx_np(fromfd, from, tofd, to, RENAME_EXCL) == 0) return 0;
    return errno;
#else
    if (::renameat2(fromfd, from, tofd, to, RENAME_NOREPLACE) == 0) return 0;
    int err = errno;
    if (err != EINVAL) return err;
    // A file system without the flag: look first, then rename.
    struct stat st{};
    if (::fstatat(tofd, to, &st, AT_SYMLINK_NOFOLLOW) == 0) return EEXIST;
    if (::renameat(fromfd, from, tofd, to) == 0) return 0;
    return errno;
#endif
}

}  // namespace Rename
