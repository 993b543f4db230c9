#pragma once
// The wall clock, replaceable in tests so age rules can be checked at their edges.
#include <chrono>
#include <functional>

namespace Clock {

using TimePoint = std::chrono::system_clock::time_point;

TimePoint now();
// Replaces now() until reset with an empty function.
void setForTesting(std::function<TimePoint()> source);

}  // namespace Clock
