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

bool olderThan(const timespec& when, TimePoint now, std::chrono::seconds age) {
    using namespace std::chrono;
    const int64_t sinceEpoch = duration_cast<nanoseconds>(now.time_since_epoch()).count();
    int64_t nowSec = sinceEpoch / 1'000'000'000;
    int64_t nowNsec = sinceEpoch % 1'000'000'000;
    if (nowNsec < 0) {
        nowNsec += 1'000'000'000;
        nowSec -= 1;
    }
    const int64_t limitSec = nowSec - int64_t(age.count());
    const int64_t whenSec = int64_t(when.tv_sec);
    if (whenSec != limitSec) return whenSec < limitSec;
    return int64_t(when.tv_nsec) < nowNsec;
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
