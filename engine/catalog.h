#pragma once
// The built-in knowledge of where reclaimable files collect: for each cleanup
// module, its categories and, for each category, the places to look, the
// safety of what is found there and the age below which nothing is reported.
// Data only; the catalog scanner turns it into a report.
#include <string>
#include <vector>

#include "engine/scan_model.h"

// One place to look. The pattern is home-relative ("~/...") or absolute ("/...",
// a fixed system folder); a final "/*" names the entries inside a folder, and a
// "*" elsewhere matches names the way a shell would.
struct PathRule {
    std::string pattern;
    Safety safety = Safety::review;
    // 0: no age condition; otherwise only entries last modified more than this
    // many days ago are reported.
    int minAgeDays = 0;
};

struct JunkCategory {
    std::string id;  // becomes the report category's id
    std::string title;
    std::string detail;
    std::vector<PathRule> rules;  // in the order they are scanned
};

namespace Catalog {

// Each call returns a fresh copy of the same constant lists, in report order.
std::vector<JunkCategory> systemJunk();
std::vector<JunkCategory> mail();
std::vector<JunkCategory> privacy();
std::vector<JunkCategory> photos();
std::vector<JunkCategory> music();

}  // namespace Catalog
