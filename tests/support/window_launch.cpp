#include "support/window_launch.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <thread>

#include "engine/admin.h"
#include "support/test_env.h"

extern char** environ;

namespace testing_support {

std::string WindowLaunch::describe() const {
    std::string how;
    if (opened) how = "the window opened";
    else if (!endedByItself) how = "the window never opened";
    else if (signal != 0) how = "the program died of signal " + std::to_string(signal) + " (" + strsignal(signal) + ")";
    else how = "the program exited with status " + std::to_string(exitStatus);
    return how + " after " + std::to_string(seconds) + " s; standard error: " + err.substr(0, 2000);
}

WindowLaunch launchUntilWindowOpens(const std::string& commandLine, const std::filesystem::path& scratch) {
    // Each launch writes files of its own, so nothing a previous one left can
    // be read as this one's.
    static std::atomic<int> launches{0};
    const std::string stem = "window-" + std::to_string(launches++);
    const std::filesystem::path outFile = scratch / (stem + "-stdout.txt");
    const std::filesystem::path errFile = scratch / (stem + "-stderr.txt");

    WindowLaunch launch;
    // The shell becomes the program (exec), so the status read below is the
    // program's own, and the program leads a process group of its own, so
    // ending it ends whatever it started.
    const std::string script = "cd " + Admin::quote(scratch.native()) +
                               " && exec env QT_QPA_PLATFORM=offscreen VESSILTANE_DEBUG_WINDOW=1 " + commandLine;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
    posix_spawnattr_setpgroup(&attributes, 0);
    std::string shell = "/bin/sh", dashC = "-c", line = script;
    char* argv[] = {shell.data(), dashC.data(), line.data(), nullptr};
    pid_t pid = -1;
    const auto started = std::chrono::steady_clock::now();
    const int rc = ::posix_spawn(&pid, shell.c_str(), &actions, &attributes, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    if (rc != 0) {
        launch.endedByItself = true;
        launch.exitStatus = 127;
        launch.err = std::string("cannot start /bin/sh: ") + std::strerror(rc);
        return launch;
    }

    auto elapsed = [&] { return std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count(); };
    auto record = [&](int status) {
        launch.endedByItself = true;
        if (WIFEXITED(status)) launch.exitStatus = WEXITSTATUS(status);
        if (WIFSIGNALED(status)) launch.signal = WTERMSIG(status);
    };
    // A loaded machine (other builds, the rest of the suite) can take many
    // seconds to map and draw the window; only a start that never comes up
    // within a minute is given up.
    const auto deadline = started + std::chrono::seconds(60);
    bool reaped = false;
    for (;;) {
        int status = 0;
        if (::waitpid(pid, &status, WNOHANG) == pid) {
            reaped = true;
            record(status);
        }
        if (readFile(errFile).find("[window] activate ") != std::string::npos) {
            launch.opened = true;
            break;
        }
        if (reaped || std::chrono::steady_clock::now() >= deadline) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    launch.seconds = elapsed();
    if (!reaped) {
        ::kill(-pid, SIGTERM);
        int status = 0;
        while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
        // Ended here, not by itself: what it did up to now is what counts.
        launch.exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        launch.signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
    }
    launch.out = readFile(outFile);
    launch.err = readFile(errFile);
    launch.opened = launch.err.find("[window] activate ") != std::string::npos;
    return launch;
}

}  // namespace testing_support
