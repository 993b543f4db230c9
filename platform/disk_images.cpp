#include "platform/disk_images.h"

#include <mutex>
#include <string_view>

#include "platform/file_text.h"
#include "platform/plist.h"
#include "platform/volumes.h"

namespace DiskImages {
namespace {

std::mutex overrideLock;
std::optional<std::map<std::string, std::string>> overrideTable;

// An image attached on Linux sits behind a loop device, which names its
// backing file in sysfs; on other systems nothing is found here.
std::optional<std::filesystem::path> loopBackingFile(std::string_view device) {
    constexpr std::string_view prefix = "/dev/";
    if (device.substr(0, prefix.size()) != prefix) return std::nullopt;
    std::string name(device.substr(prefix.size()));
    if (name.rfind("loop", 0) != 0 || name.find('/') != std::string::npos) return std::nullopt;
    auto text = FileText::read("/sys/block/" + name + "/loop/backing_file", 8192);
    if (!text) return std::nullopt;
    std::string path = *text;
    while (!path.empty() && (path.back() == '\n' || path.back() == '\r')) path.pop_back();
    constexpr std::string_view deleted = " (deleted)";
    if (path.size() > deleted.size() && path.substr(path.size() - deleted.size()) == deleted) return std::nullopt;
    if (path.empty() || path.front() != '/') return std::nullopt;
    return std::filesystem::path(path);
}

}  // namespace

std::optional<std::filesystem::path> backingImage(const std::filesystem::path& mountPoint) {
    {
        std::lock_guard guard(overrideLock);
        if (overrideTable) {
            auto it = overrideTable->find(mountPoint.string());
            if (it == overrideTable->end()) return std::nullopt;
            return std::filesystem::path(it->second);
        }
    }
    auto table = FileText::read("/proc/self/mountinfo", 4 * 1024 * 1024);
    if (!table) return std::nullopt;
    // The last mount on a folder is the one visible there.
    std::optional<std::filesystem::path> found;
    for (const auto& entry : Volumes::parseMountInfo(*table))
        if (entry.mountPoint == mountPoint.string()) found = loopBackingFile(entry.source);
    return found;
}

std::map<std::string, std::string> parseAttached(std::string_view toolOutput) {
    std::map<std::string, std::string> attached;
    auto listing = Plist::parse(toolOutput);
    if (!listing || !listing->isDict()) return attached;
    const Plist::Value* images = listing->get("images");
    if (!images || !images->isArray()) return attached;
    auto absolute = [](const std::optional<std::string>& path) {
        return path && !path->empty() && path->front() == '/' && path->find('\0') == std::string::npos;
    };
    for (const auto& image : images->array) {
        if (!image.isDict()) continue;
        auto imagePath = image.string("image-path");
        if (!absolute(imagePath)) continue;
        const Plist::Value* entities = image.get("system-entities");
        if (!entities || !entities->isArray()) continue;
        for (const auto& entity : entities->array) {
            if (!entity.isDict()) continue;
            auto mountPoint = entity.string("mount-point");
            if (absolute(mountPoint)) attached.emplace(*mountPoint, *imagePath);
        }
    }
    return attached;
}

void setForTesting(std::optional<std::map<std::string, std::string>> images) {
    std::lock_guard guard(overrideLock);
    overrideTable = std::move(images);
}

}  // namespace DiskImages
