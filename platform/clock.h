#pragma once
// The wall clock and waiting, replaceable in tests so age rules can be checked
// at their edges and deadlines pass without waiting.
#include <chrono>
#include <ctime>
#include <functional>

namespace Clock {

using TimePoint = std::chrono::system_clock::time_point;

TimePoint now();
// Replaces now() until reset with an empty function.
void setForTesting(std::function<TimePoint()> source);

// Whether a file time lies more than `age` before `now` (when < now - age).
// Worked out in whole seconds and nanoseconds, so no time a file system can
// hold, however far off, overflows the test.
bool olderThan(const timespec& when, TimePoint now, std::chrono::seconds age);

// Waits for the given time. Code that polls against a deadline from now()
// sleeps through here, so a test can replace both and never wait for real.
void sleep(std::chrono::nanoseconds duration);
// Replaces sleep() until reset with an empty function.
void setSleepForTesting(std::function<void(std::chrono::nanoseconds)> sleeper);

}  // namespace Clock
