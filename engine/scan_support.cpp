#include "engine/scan_support.h"

#include <algorithm>

#include "engine/fs.h"
#include "platform/file_facts.h"
#include "platform/locations.h"
#include "platform/walker.h"

namespace ScanSupport {

std::vector<std::filesystem::path> children(const std::filesystem::path& folder) {
    std::vector<std::filesystem::path> out;
    bool ok = false;
    auto names = Walker::list(folder, &ok);
    if (!ok) return out;
    out.reserve(names.size());
    for (const auto& name : names) out.push_back(folder / name);
    return out;
}

void sortLargestFirst(std::vector<ScanItem>& items) {
    std::stable_sort(items.begin(), items.end(),
                     [](const ScanItem& a, const ScanItem& b) { return a.size > b.size; });
}

std::vector<int64_t> measureInOrder(const std::vector<std::filesystem::path>& paths, FS::SeenSet& seen,
                                    const ScanToken& token) {
    // Enough items to keep every thread busy on folders of many small
    // entries. A cancel is seen inside a batch too, at its next entry; the
    // batch it cuts short gives nothing.
    constexpr size_t kBatch = 64;
    std::vector<int64_t> sizes;
    sizes.reserve(paths.size());
    for (size_t from = 0; from < paths.size() && !token.isCancelled(); from += kBatch) {
        std::vector<std::filesystem::path> batch(paths.begin() + from,
                                                 paths.begin() + std::min(paths.size(), from + kBatch));
        const std::vector<int64_t> measured = FS::sizes(batch, seen, &token);
        if (measured.size() != batch.size()) break;
        sizes.insert(sizes.end(), measured.begin(), measured.end());
    }
    return sizes;
}

int64_t measureAlone(const std::filesystem::path& path) {
    FS::SeenSet seen;
    return FS::size(path, seen);
}

ScanItem reviewItem(const std::filesystem::path& url, std::string name, std::string detail) {
    ScanItem item;
    item.url = url;
    item.name = std::move(name);
    item.detail = std::move(detail);
    item.size = measureAlone(url);
    item.safety = Safety::review;
    item.isSelected = false;
    return item;
}

std::optional<std::string> launchProgram(const Plist::Value& job) {
    if (auto program = job.string("Program")) return program;
    const Plist::Value* arguments = job.get("ProgramArguments");
    if (!arguments || !arguments->isArray() || arguments->array.empty()) return std::nullopt;
    for (const auto& argument : arguments->array)
        if (!argument.isString()) return std::nullopt;
    return arguments->array.front().text;
}

bool programExists(std::string_view program) {
    if (program.find('\0') != std::string_view::npos) return false;
    if (program.empty()) return existsFollowingLinks(".");
    return existsFollowingLinks(Locations::fromSystemView(program));
}

void report(const ProgressCallback& progress, double fraction, const std::string& message) {
    if (progress) progress(fraction, message);
}

}  // namespace ScanSupport
