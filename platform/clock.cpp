#include "platform/clock.h"

#include <mutex>

namespace Clock {
namespace {
std::mutex lock;
std::function<TimePoint()> source;
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

}  // namespace Clock
