#pragma once
// The catalog scanner: walks a list of junk categories and turns it into a
// report with one coverage entry per rule, plus the two coverage helpers that
// the other scans of this namespace share.
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "engine/catalog.h"
#include "engine/scan_model.h"

namespace Scanner {

// Scans the categories in order. Each category gets one progress report before
// its rules, with the fraction of rules done so far (a category without rules
// counts as one step) and "Scanning <title>…". Returns what was found when the
// token is cancelled; every category begun is in the report, empty or not.
ScanReport scan(const std::vector<JunkCategory>& categories, const ScanToken& token,
                const ProgressCallback& progress);

// What a scan can say about a place: missing (nothing there, links followed),
// ignored (on the ignore list), checked (a folder that can be listed or a file
// that can be read) or unreadable (a folder reached only through a link counts
// as one: it is never looked into).
CoverageEntry::Status status(const std::filesystem::path& path);

// The coverage entry of a fixed, labelled place: "<label>|<path>", its status,
// and the number of entries it holds when it could be checked.
CoverageEntry entry(std::string_view label, const std::filesystem::path& path);

// Where a catalog pattern points on this machine: the folder it starts from
// ("~" the home folder, "/" the system root, moved under the test root in
// tests), taken literally whatever its name holds, and the rule's own part
// below it, whose segments may be wildcards.
struct RulePlace {
    std::filesystem::path base;
    std::string pattern;
    // The whole path as written: base, "/", pattern.
    std::string path() const;
};
RulePlace placeOf(std::string_view pattern);

}  // namespace Scanner
