#include "support/unprivileged.h"

#include <grp.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>

namespace testing_support {

std::string inUnprivilegedChild(const std::function<std::string()>& body) {
    int fds[2];
    if (::pipe(fds) != 0) return "pipe failed";
    pid_t pid = ::fork();
    if (pid < 0) return "fork failed";
    if (pid == 0) {
        ::close(fds[0]);
        std::string result;
        if (::getuid() == 0) {
            gid_t none[1] = {gid_t(kUnprivilegedId)};
            if (::setgroups(1, none) != 0 || ::setgid(kUnprivilegedId) != 0 || ::setuid(kUnprivilegedId) != 0)
                result = "could not drop privileges";
        }
        if (result.empty()) result = body();
        if (!result.empty()) {
            ssize_t ignored = ::write(fds[1], result.data(), result.size());
            (void)ignored;
        }
        ::close(fds[1]);
        ::_exit(result.empty() ? 0 : 1);
    }
    ::close(fds[1]);
    std::string message;
    char buf[512];
    ssize_t n;
    while ((n = ::read(fds[0], buf, sizeof buf)) > 0) message.append(buf, size_t(n));
    ::close(fds[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    if (WIFSIGNALED(status)) return "child died with signal " + std::to_string(WTERMSIG(status));
    if (WEXITSTATUS(status) != 0 && message.empty()) return "child failed";
    return message;
}

}  // namespace testing_support
