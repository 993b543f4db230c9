#pragma once
// Which disk image file a mounted volume was attached from, so a scan can tell
// an image still in use from one left behind after an installation.
#include <filesystem>
#include <map>
#include <optional>
#include <string>

namespace DiskImages {

// The image file backing the volume mounted at mountPoint, as the system's own
// tables tell (on Linux the loop device behind the mount); nothing when the
// volume is not an attached image or the answer cannot be read.
std::optional<std::filesystem::path> backingImage(const std::filesystem::path& mountPoint);

// The attached images as the disk image tool lists them ("hdiutil info
// -plist" on macOS): from each mount point to the image file its volume came
// from. Entries without an absolute image path or mount point are left out;
// text that is no such listing gives nothing.
std::map<std::string, std::string> parseAttached(std::string_view toolOutput);

// Replaces the answers with a table from mount point to image file until reset
// with nothing.
void setForTesting(std::optional<std::map<std::string, std::string>> images);

}  // namespace DiskImages
