#include "modules/system/disk_map.h"

#include <algorithm>
#include <charconv>

#include "engine/fs.h"
#include "platform/file_facts.h"
#include "platform/unicode.h"
#include "platform/walker.h"

namespace DiskMap {
namespace {

constexpr int64_t kProgressInterval = 500;
constexpr double kProgressCeiling = 0.95;
constexpr size_t kFoldFrom = 13;
constexpr size_t kKeepAtMost = 11;
constexpr size_t kLongName = 35;
constexpr size_t kCutName = 31;

std::string lastComponentOrPath(const std::filesystem::path& path) {
    std::string name = path.filename().string();
    return name.empty() ? path.string() : name;
}

// A long name in a progress line is cut so the line stays on one row.
std::string progressName(const std::string& name) {
    if (Unicode::characterCount(name) < kLongName) return name;
    return Unicode::prefixCharacters(name, kCutName) + "\u2026";
}

// "/a/b/" and "/a/b" are the same folder; "/" stays itself.
std::filesystem::path withoutTrailingSlash(const std::filesystem::path& path) {
    std::string p = path.string();
    while (p.size() > 1 && p.back() == '/') p.pop_back();
    return p;
}

class Build {
public:
    Build(int maxDepth, const ScanToken& token, const ProgressCallback& progress)
        : maxDepth_(maxDepth), token_(token), progress_(progress) {}

    SpaceNodeRef run(const std::filesystem::path& root) {
        visited(root);
        auto facts = lstatFacts(root);
        if (!facts || !facts->isDirectory()) return leaf(root, false);
        if (!mayList(0)) return leaf(root, true);

        frames_.push_back(folderFrame(root, 0));
        WalkOptions options;
        options.enterPackages = true;
        Walker::walk(root, [&](const WalkEntry& e) { return visit(e); }, options);
        while (frames_.size() > 1) finishTop();
        SpaceNodeRef node = frames_.back().node;
        finish(frames_.back());
        frames_.clear();
        return node;
    }

private:
    struct Frame {
        SpaceNodeRef node;
        int depth;
        std::vector<SpaceNodeRef> kept;
    };

    // A folder is listed only above the depth limit, while entries are left
    // and the build is not cancelled; otherwise it is measured whole.
    bool mayList(int depth) const { return depth < maxDepth_ && budget_ >= 1 && !token_.isCancelled(); }

    void visited(const std::filesystem::path& path) {
        ++visits_;
        if (visits_ % kProgressInterval != 0 || !progress_) return;
        double fraction = std::min(double(visits_) / double(kEntryBudget), kProgressCeiling);
        progress_(fraction, "Measuring " + progressName(lastComponentOrPath(path)) + "\u2026");
    }

    SpaceNodeRef leaf(const std::filesystem::path& path, bool isDirectory) {
        auto node = std::make_shared<SpaceNode>();
        node->url = path;
        node->name = lastComponentOrPath(path);
        node->isDirectory = isDirectory;
        node->size = FS::size(path, seen_);
        node->fileCount = isDirectory ? 0 : 1;
        return node;
    }

    static Frame folderFrame(const std::filesystem::path& path, int depth) {
        auto node = std::make_shared<SpaceNode>();
        node->url = path;
        node->name = lastComponentOrPath(path);
        node->isDirectory = true;
        return Frame{node, depth, {}};
    }

    static void keep(Frame& parent, const SpaceNodeRef& child) {
        if (child->size <= 0) return;
        parent.node->size += child->size;
        parent.node->fileCount += child->fileCount;
        parent.kept.push_back(child);
    }

    static void finish(Frame& frame) {
        std::stable_sort(frame.kept.begin(), frame.kept.end(),
                         [](const SpaceNodeRef& a, const SpaceNodeRef& b) { return a->size > b->size; });
        frame.node->children = pruned(std::move(frame.kept), frame.node->size);
    }

    void finishTop() {
        Frame done = std::move(frames_.back());
        frames_.pop_back();
        finish(done);
        keep(frames_.back(), done.node);
    }

    WalkAction visit(const WalkEntry& e) {
        // The walker reports a folder before its contents and never says when
        // a folder is done: an entry at a folder's depth or above closes it.
        while (frames_.back().depth >= e.depth) finishTop();
        if (token_.isCancelled() || budget_ <= 0) return WalkAction::stop;
        --budget_;
        std::filesystem::path path(e.path);
        visited(path);
        if (e.facts.isDirectory()) {
            if (mayList(e.depth)) {
                frames_.push_back(folderFrame(path, e.depth));
                return WalkAction::proceed;
            }
            keep(frames_.back(), leaf(path, true));
            return WalkAction::skipSubtree;
        }
        keep(frames_.back(), leaf(path, false));
        return WalkAction::proceed;
    }

    const int maxDepth_;
    const ScanToken& token_;
    const ProgressCallback& progress_;
    int64_t visits_ = 0;
    int64_t budget_ = kEntryBudget;
    FS::SeenSet seen_;
    std::vector<Frame> frames_;
};

}  // namespace

SpaceNodeRef build(const std::filesystem::path& root, int maxDepth, const ScanToken& token,
                   const ProgressCallback& progress) {
    Build build(maxDepth, token, progress);
    return build.run(withoutTrailingSlash(root));
}

std::vector<SpaceNodeRef> pruned(std::vector<SpaceNodeRef> children, int64_t total) {
    if (total < 1 || children.size() < kFoldFrom) return children;
    const int64_t threshold = total / 200;  // 0.5 %, truncated
    std::vector<SpaceNodeRef> kept;
    int64_t foldedSize = 0;
    int64_t foldedCount = 0;
    for (const auto& child : children) {
        if (child->size >= threshold && kept.size() < kKeepAtMost) {
            kept.push_back(child);
        } else {
            foldedSize += child->size;
            ++foldedCount;
        }
    }
    if (foldedCount == 0) return kept;
    auto folded = std::make_shared<SpaceNode>();
    folded->url = children.front()->url.parent_path();
    char digits[24];
    auto [end, ec] = std::to_chars(digits, digits + sizeof digits, foldedCount);
    (void)ec;
    folded->name = std::string(digits, end) + " smaller items";
    folded->isDirectory = false;
    folded->size = foldedSize;
    folded->fileCount = foldedCount;
    kept.push_back(folded);
    return kept;
}

}  // namespace DiskMap
