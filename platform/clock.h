#pragma once
// The wall clock and waiting, replaceable in tests so age rules can be checked
// at their edges and deadlines pass without waiting.
#include <chrono>
#include <functional>

namespace Clock {

using TimePoint = std::chrono::system_clock::time_point;

TimePoint now();
// Replaces now() until reset with an empty function.
void setForTesting(std::function<TimePoint()> source);

// Waits for the given time. Code that polls against a deadline from now()
// sleeps through here, so a test can replace both and never wait for real.
void sleep(std::chrono::nanoseconds duration);
// Replaces sleep() until reset with an empty function.
void setSleepForTesting(std::function<void(std::chrono::nanoseconds)> sleeper);

}  // namespace Clock
