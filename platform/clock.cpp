#include "platform/clock.h"

#include <mutex>
#include <thread>

namespace Clock {
namespace {
std::mutex lock;
std::function<TimePoint()> source;
std::function<void(std::chrono::nanoseconds)> sleeper;
}  // namespace

TimePoint now() {
    {
        std::lock_guard guard(lock);
        if (source) return source();
    }
    return std::chrono::system_clock::now();
}

void setForTesting(std::function<TimePoint()> s) {
    std::lock_guard guard(lock);
    source = std::move(s);
}

void sleep(std::chrono::nanoseconds duration) {
    std::function<void(std::chrono::nanoseconds)> s;
    {
        std::lock_guard guard(lock);
        s = sleeper;
    }
    if (s) s(duration);
    else std::this_thread::sleep_for(duration);
}

void setSleepForTesting(std::function<void(std::chrono::nanoseconds)> s) {
    std::lock_guard guard(lock);
    sleeper = std::move(s);
}

}  // namespace Clock
