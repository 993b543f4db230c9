#pragma once
// The disk map: a folder as a tree of its largest members, a few levels deep,
// measured by the one size rule. Small members of a crowded folder are folded
// into one "<N> smaller items" node so the map stays readable.
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "engine/scan_model.h"
#include "platform/uuid.h"

struct SpaceNode;
// A node is shared by its parent's children and by the screen's breadcrumb.
using SpaceNodeRef = std::shared_ptr<SpaceNode>;

struct SpaceNode {
    Uuid id = Uuid::random();
    std::filesystem::path url;  // for a folded node, the folder that held the folded items
    std::string name;           // last component; the full path when that is empty; "<N> smaller items"
    bool isDirectory = false;   // folders listed or measured whole; never links or folded nodes
    int64_t size = 0;           // a listed folder: the sum of its kept children
    int64_t fileCount = 0;      // 1 for a file or link, 0 for a folder measured whole
    // Present only for listed folders, largest first, after folding.
    std::optional<std::vector<SpaceNodeRef>> children;
};

namespace DiskMap {

// The entries one build may visit; folders met after that are not listed.
inline constexpr int64_t kEntryBudget = 60000;

// The tree below root, listing folders down to maxDepth (root at depth 0).
// Deeper folders, and every folder once the token is cancelled, are measured
// whole. Symbolic links are leaves of size 0 and are never followed; items of
// size 0 are left out. A hard-linked file counts once per build.
SpaceNodeRef build(const std::filesystem::path& root, int maxDepth, const ScanToken& token,
                   const ProgressCallback& progress);

// Folds the small members of a folder (children sorted largest first): from 13
// children on, at most 11 that reach 0.5 % of total are kept and the rest
// become one node at the end.
std::vector<SpaceNodeRef> pruned(std::vector<SpaceNodeRef> children, int64_t total);

}  // namespace DiskMap
