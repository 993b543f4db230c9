#pragma once
// The System Junk report, put together once for the window and the command
// line alike: the catalog scan, then broken preferences, broken login items,
// the unused language files and the extra detectors.
#include <vector>

#include "engine/scan_model.h"

namespace SystemJunk {

// Scans everything System Junk covers into one report. The later scans measure
// each item on its own, so an item of theirs whose place is already in the
// report (the same path, one inside it, or one holding it) is left out and the
// earlier item stays: the report never counts the same bytes twice.
//
// Reviewing the applications' translations is the slowest step: Smart Scan and
// a quick command-line scan leave it out. The window lists them before the
// extra detectors, the command line's deep scan after them.
enum class LanguageFiles { skip, beforeExtras, afterExtras };
ScanReport scan(const ScanToken& token, const ProgressCallback& progress,
                LanguageFiles languageFiles = LanguageFiles::beforeExtras);

// Appends the categories to the report, leaving out every item whose path
// equals, lies inside or holds the path of an item already in the report or
// appended before it. A category that had items and lost them all this way is
// not appended; one that was empty to begin with is.
void appendUncounted(ScanReport& report, std::vector<ScanCategory> categories);

}  // namespace SystemJunk
