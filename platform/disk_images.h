#pragma once
// Which disk image file a mounted volume was attached from, so a scan can tell
// an image still in use from one left behind after an installation.
#include <filesystem>
#include <map>
#include <optional>
#include <string>

namespace DiskImages {

// The image file backing the volume mounted at mountPoint; nothing when the
// volume is not an attached image or the answer cannot be read.
std::optional<std::filesystem::path> backingImage(const std::filesystem::path& mountPoint);

// Replaces the answers with a table from mount point to image file until reset
// with nothing.
void setForTesting(std::optional<std::map<std::string, std::string>> images);

}  // namespace DiskImages
