#include "support/unprivileged.h"

#include <grp.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <signal.h>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <filesystem>
#include <mutex>
#include <optional>
#include <sstream>
#include <string>
#include <thread>

#include "engine/admin.h"
#include "platform/work_pool.h"

namespace testing_support {

namespace {

bool writeAll(int fd, const std::string& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += size_t(n);
    }
    return true;
}

// Reads up to and without the next line feed; nothing at the end of the stream.
std::optional<std::string> readLine(int fd) {
    std::string line;
    char c;
    for (;;) {
        ssize_t n = ::read(fd, &c, 1);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return std::nullopt;
        if (c == '\n') return line;
        line += c;
    }
}

bool readExactly(int fd, std::string& out, size_t length) {
    out.resize(length);
    size_t done = 0;
    while (done < length) {
        ssize_t n = ::read(fd, out.data() + done, length - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += size_t(n);
    }
    return true;
}

// The child's side of a batch: the script's path goes to the root side, which
// answers with the status, the output's length and the output.
void sendBatchesTo(int socket) {
    Admin::setPrivilegedBackendForTesting([socket](const std::filesystem::path& script, const std::optional<std::string>&) {
        Admin::Result r;
        if (!writeAll(socket, script.native() + "\n")) return r;
        auto status = readLine(socket);
        auto length = readLine(socket);
        if (!status || !length || !readExactly(socket, r.output, std::stoul(*length))) return r;
        r.exitStatus = std::stoi(*status);
        r.ok = r.exitStatus == 0;
        return r;
    });
}

// The root side: runs each script handed over with a plain shell until the
// child closes its end.
void serveBatches(int socket) {
    while (auto script = readLine(socket)) {
        Admin::Result r = Admin::run("/bin/sh " + Admin::quote(*script), true);
        writeAll(socket, std::to_string(r.exitStatus) + "\n" + std::to_string(r.output.size()) + "\n" + r.output);
    }
}

// How long a child may take before it counts as hung: far beyond what any
// body needs on a loaded machine, well inside CTest's limit for the test.
constexpr auto kHungAfter = std::chrono::seconds(150);

std::string fileText(const std::filesystem::path& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// What every thread of a child that stopped moving is doing: its name, the
// kernel's wait channel, the system call it sits in and its kernel stack, and
// the user-space stacks when gdb is there to tell them.
std::string describeHungChild(pid_t pid) {
    std::string out;
    const std::filesystem::path tasks = "/proc/" + std::to_string(pid) + "/task";
    std::error_code ec;
    for (const auto& task : std::filesystem::directory_iterator(tasks, ec)) {
        out += "thread " + task.path().filename().string() + " " + fileText(task.path() / "comm");
        out += "  wchan " + fileText(task.path() / "wchan") + "\n";
        out += "  syscall " + fileText(task.path() / "syscall");
        out += fileText(task.path() / "stack");
    }
    if (std::filesystem::exists("/usr/bin/gdb")) {
        const std::string command = "/usr/bin/gdb -p " + std::to_string(pid) +
                                    " -batch -nx -ex 'thread apply all bt' 2>&1";
        if (FILE* gdb = ::popen(command.c_str(), "r")) {
            char buf[4096];
            size_t n;
            while ((n = std::fread(buf, 1, sizeof buf, gdb)) > 0) out.append(buf, n);
            ::pclose(gdb);
        }
    }
    return out;
}

// Kills the child once it has run for kHungAfter, after describing what its
// threads were doing, so a hang fails its test at once with what caused it
// instead of running into CTest's limit with nothing to show.
class HangWatch {
public:
    explicit HangWatch(pid_t pid) : thread_([this, pid] {
        std::unique_lock lock(mutex_);
        if (done_.wait_for(lock, kHungAfter, [this] { return finished_; })) return;
        description_ = describeHungChild(pid);
        ::kill(pid, SIGKILL);
    }) {}

    // The child has ended (or is about to be waited for): no watch any more.
    // What was seen, when the child was killed as hung.
    std::string finish() {
        {
            std::lock_guard lock(mutex_);
            finished_ = true;
        }
        done_.notify_all();
        thread_.join();
        return description_;
    }

private:
    std::mutex mutex_;
    std::condition_variable done_;
    bool finished_ = false;
    std::string description_;
    std::thread thread_;
};

std::string runChild(const std::function<std::string()>& body, bool rootBatches) {
    int fds[2];
    if (::pipe(fds) != 0) return "pipe failed";
    int batch[2] = {-1, -1};
    if (rootBatches && ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, batch) != 0) return "socketpair failed";
    // The walks the test ran before may still have pool threads letting go
    // of memory; a child forked then would find the allocator's lock held.
    WorkPool::waitUntilIdle();
    pid_t pid = ::fork();
    if (pid < 0) return "fork failed";
    if (pid == 0) {
        ::close(fds[0]);
        if (rootBatches) {
            ::close(batch[0]);
            sendBatchesTo(batch[1]);
        }
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
    HangWatch watch(pid);
    if (rootBatches) {
        ::close(batch[1]);
        serveBatches(batch[0]);
        ::close(batch[0]);
    }
    std::string message;
    char buf[512];
    ssize_t n;
    while ((n = ::read(fds[0], buf, sizeof buf)) > 0) message.append(buf, size_t(n));
    ::close(fds[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    const std::string hung = watch.finish();
    if (!hung.empty()) {
        const std::string message = "child hung for " + std::to_string(kHungAfter.count()) + " s and was killed:\n" + hung;
        // Also as lines of its own: the test's expectation prints it escaped.
        std::fputs((message + "\n").c_str(), stderr);
        return message;
    }
    if (WIFSIGNALED(status)) return "child died with signal " + std::to_string(WTERMSIG(status));
    if (WEXITSTATUS(status) != 0 && message.empty()) return "child failed";
    return message;
}

}  // namespace

std::string inUnprivilegedChild(const std::function<std::string()>& body) { return runChild(body, false); }

std::string inUnprivilegedChildWithRootBatches(const std::function<std::string()>& body) {
    return runChild(body, true);
}

}  // namespace testing_support
