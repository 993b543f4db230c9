#pragma once
// Items and batch targets as a scan would hand them on: each holding the
// object at its path when it is made (nothing when nothing is there).
#include <filesystem>
#include <vector>

#include "engine/admin.h"
#include "engine/scan_model.h"
#include "platform/file_facts.h"

namespace testing_support {

inline std::vector<Admin::Target> measuredNow(const std::vector<std::filesystem::path>& paths) {
    std::vector<Admin::Target> out;
    for (const auto& p : paths) out.push_back({p, measureObject(p)});
    return out;
}

inline ScanItem& measuredNow(ScanItem& item) {
    item.measured = measureObject(item.url);
    return item;
}

}  // namespace testing_support
