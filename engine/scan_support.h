#pragma once
// Small steps the scanners share: listing a folder's direct children the way
// every scanner does, ordering items largest first, and reporting progress.
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/fs.h"
#include "engine/scan_model.h"
#include "platform/plist.h"

namespace ScanSupport {

// The direct children of a folder, hidden ones included, in the file system's
// order. Nothing when the folder is missing, cannot be listed, or is reached
// only through a symbolic link or across a mount (see Walker::list).
std::vector<std::filesystem::path> children(const std::filesystem::path& folder);

// Largest first; items of equal size keep their order.
void sortLargestFirst(std::vector<ScanItem>& items);

// Measures the items with one seen set, a batch at a time, each batch on every
// thread at once: each item gets the figure that measuring the items one after
// the other in this order gives. The token is read before each batch, as it
// would be before each item; once it is set the rest are left unmeasured, so
// the result is shorter than the list.
// Each figure comes with the object it measured, for the item to keep.
std::vector<FS::Measured> measureInOrder(const std::vector<std::filesystem::path>& paths, FS::SeenSet& seen,
                                         const ScanToken& token);

// The size of one item measured on its own, with a fresh seen set, and the
// object measured.
FS::Measured measureAlone(const std::filesystem::path& path);

// A review item, unselected, measured on its own.
ScanItem reviewItem(const std::filesystem::path& url, std::string name, std::string detail);

// The program a launchd job starts: "Program" when it is a string, else the
// first element of "ProgramArguments" when that is a non-empty array of
// strings; nothing otherwise.
std::optional<std::string> launchProgram(const Plist::Value& job);

// Whether a file is there (links followed) at the program a launch item
// names: an absolute path where the system would find it
// (Locations::fromSystemView), a relative one from the current folder, an
// empty one being that folder. A path holding NUL names no file.
bool programExists(std::string_view program);

// Calls the callback when there is one.
void report(const ProgressCallback& progress, double fraction, const std::string& message);

}  // namespace ScanSupport
