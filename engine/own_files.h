#pragma once
// The program's own files: its support folder (history, ignore list, rules),
// its log folder and the daily job it installed. They are never junk. The
// daily job appends to its log without changing the folder's date, so a rule
// judging logs by age would one day offer the job its own log; every scan's
// items pass through dropFrom(), and every removal road refuses them.
#include <filesystem>
#include <string>
#include <vector>

#include "engine/scan_model.h"

namespace OwnFiles {

// ~/Library/Logs/Vessiltane: the daily job's logs.
std::filesystem::path logFolder();

// ~/Library/LaunchAgents/com.vessiltane.daily.plist: the daily job the program installs.
std::filesystem::path dailyJobFile();

// The places (the support folder, the log folder, the daily job), as the home
// folder names them and where they really are.
std::vector<std::string> places();

// Whether the path is one of the places, lies inside one, or holds one that
// is there (so that removing it would take one along). Compared without regard to the case
// of ASCII letters, as the Mac's disks compare names.
bool touches(const std::filesystem::path& path);

// Leaves out of the categories every item that touches the program's own files.
void dropFrom(std::vector<ScanCategory>& categories);
void dropFrom(ScanReport& report);

}  // namespace OwnFiles
