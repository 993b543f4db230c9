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

std::vector<FS::Measured> measureInOrder(const std::vector<std::filesystem::path>& paths, FS::SeenSet& seen,
                                         const ScanToken& token) {
    // Enough items to keep every thread busy on folders of many small
    // entries. A cancel is seen inside a batch too, at its next entry; the
    // batch it cuts short gives nothing.
    constexpr size_t kBatch = 64;
    std::vector<FS::Measured> sizes;
    sizes.reserve(paths.size());
    for (size_t from = 0; from < paths.size() && !token.isCancelled(); from += kBatch) {
        std::vector<std::filesystem::path> batch(paths.begin() + from,
                                                 paths.begin() + std::min(paths.size(), from + kBatch));
        std::vector<FS::Measured> measured = FS::measure(batch, seen, &token);
        if (measured.size() != batch.size()) break;
        for (auto& m : measured) sizes.push_back(std::move(m));
    }
    return sizes;
}

FS::Measured measureAlone(const std::filesystem::path& path) { return FS::measureAlone(path); }

ScanItem reviewItem(const std::filesystem::path& url, std::string name, std::string detail) {
    ScanItem item;
    item.url = url;
    item.name = std::move(name);
    item.detail = std::move(detail);
    FS::Measured measured = measureAlone(url);
    item.size = measured.size;
    item.measured = std::move(measured.object);
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
