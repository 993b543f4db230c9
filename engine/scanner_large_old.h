#pragma once
// The Large & Old Files scan: one walk over root folders collecting files of
// 500 MiB or more ("large-files") and files of 100 MiB or more untouched for
// over a year ("old-files"), plus the folder listing the trash scan shares.
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "engine/scan_model.h"
#include "platform/clock.h"

namespace Scanner {

// The figures that bound the walk. The defaults are the scan's; tests shrink
// the walk-shaped ones so the entry limit and the list cut can be reached
// without writing hundreds of thousands of files or gigabytes of data.
struct LargeOldLimits {
    int64_t progressStep = 2'000;       // progress every this many entries
    double progressScale = 400'000;     // fraction = entries / scale ...
    double fractionCap = 0.98;          // ... never above this
    int64_t entryLimit = 400'000;       // stop at the first progress point above it
    size_t listCut = 300;               // each category keeps its largest items
};

// Walks the roots in order (hidden entries and package contents left out, links
// never followed, unreadable folders passed over) and returns the report with
// its two categories, always both present. Items are review and unselected,
// largest first, each list cut to its 300 largest. A hard-linked file is listed
// once, at the path met first. Progress "Examined <n> files…" every 2,000
// entries; the walk stops at 402,000 entries or when the token is cancelled,
// and what was found so far is returned. A walk stopped by the entry limit
// says so in the report's errors.
ScanReport scanLargeAndOld(const std::vector<std::filesystem::path>& roots, const ScanToken& token,
                           const ProgressCallback& progress, const LargeOldLimits& limits = {});

// The age text of an old file: whole months of 30 days since the date (at
// least 1), "<n> months" up to 23, then whole years, "<n> years".
std::string months(Clock::TimePoint since);

// The folder's direct subfolders (links to folders included) whose names do
// not begin with ".", in listing order; empty when it is missing or unreadable.
std::vector<std::filesystem::path> directories(const std::filesystem::path& folder);

}  // namespace Scanner
