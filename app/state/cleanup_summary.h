#pragma once
// The result of one finished cleanup as the window's summary sheet shows it:
// a cleaning, an uninstall, the removal of orphaned files, a thinning or a
// shredding.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "platform/uuid.h"

struct CleanupSummary {
    Uuid id = Uuid::random();
    int64_t reclaimed = 0;              // bytes the removal reports freed, Trash included
    int64_t removedCount = 0;
    std::vector<std::string> failures;  // "<name>: <reason>", one per item not removed
    std::string title;                  // what was cleaned
    std::vector<std::string> notes;     // shown as they are
    // Free space of the startup volume after minus before; absent when either
    // reading failed. Other activity may make it smaller, even negative.
    std::optional<int64_t> measuredReclaimed;
    int64_t trashedBytes = 0;           // moved to the Trash rather than deleted
    Clock::TimePoint date = Clock::now();
};
