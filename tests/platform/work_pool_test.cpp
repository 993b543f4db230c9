// The shared pool of threads, as a program that forks sees it.
#include "platform/work_pool.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

namespace {

// Waits up to the time given for the child to end; kills it when it does not.
// True when it ended on its own with status 0.
bool endsWell(pid_t child, std::chrono::seconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    int status = 0;
    while (std::chrono::steady_clock::now() < deadline) {
        const pid_t done = ::waitpid(child, &status, WNOHANG);
        if (done == child) return WIFEXITED(status) && WEXITSTATUS(status) == 0;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    ::kill(child, SIGKILL);
    ::waitpid(child, &status, 0);
    return false;
}

}  // namespace

// A pool that has just started has threads still setting themselves up (which
// allocates) after the first job is done. Once the pool says it is idle, a
// child forked from the process can allocate and start threads of its own:
// no lock is copied into it held. Each round starts a fresh pool in a process
// of its own.
TEST(WorkPool, AChildForkedOnceThePoolIsIdleFindsNoLockHeld) {
    if (WorkPool::width() < 2) GTEST_SKIP() << "one processor: no pool threads";
    for (int round = 0; round < 20; ++round) {
        const pid_t process = ::fork();
        ASSERT_GE(process, 0);
        if (process == 0) {
            std::atomic<int> ran{0};
            WorkPool::post([&] { ++ran; });
            WorkPool::waitUntilIdle();
            const pid_t child = ::fork();
            if (child == 0) {
                std::vector<std::string> lines(2000, std::string(200, 'x'));
                std::thread([&] { lines.emplace_back(300, 'y'); }).join();
                ::_exit(lines.size() == 2001 ? 0 : 1);
            }
            ::_exit(child > 0 && ran == 1 && endsWell(child, std::chrono::seconds(20)) ? 0 : 1);
        }
        ASSERT_TRUE(endsWell(process, std::chrono::seconds(30))) << "round " << round << " hung or failed";
    }
}
