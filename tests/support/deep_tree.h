#pragma once
// Trees deeper than any path can name, for the walks that must not recurse
// per folder level. They are made and taken down through folder handles, one
// level at a time, since no path reaches their bottom and a recursive removal
// would overflow its stack.
#include <cstdint>
#include <filesystem>
#include <functional>

namespace testing_support {

struct DeepChain {
    int levels = 0;                // folders named "d", one inside the other
    int64_t bottomAllocated = 0;   // the allocated bytes of the file at the bottom
};

// Makes folder/d/d/.../d, `levels` folders deep, with a file "bottom" of 5,000
// bytes in the last one; with siblings, each folder below the first also holds
// an empty file "f" made after its "d", so most file systems number it after
// the folder and a walk comes back to it from below.
DeepChain makeDeepChain(const std::filesystem::path& folder, int levels, bool siblings);

// Removes what makeDeepChain made in folder.
void removeDeepChain(const std::filesystem::path& folder);

// A folder for a deep tree: a file system in memory mounted at path where
// this process may mount one (CI runs as root), since a disk spends a block
// on every folder and 100,000 of them take minutes on a loaded machine; else
// just the folder. The mount is a volume of its own for the walks, and is
// taken down when the object goes.
class DeepScratch {
public:
    explicit DeepScratch(const std::filesystem::path& path);
    ~DeepScratch();
    DeepScratch(const DeepScratch&) = delete;
    DeepScratch& operator=(const DeepScratch&) = delete;
    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
    bool mounted_ = false;
};

// Runs body on a new thread whose stack holds stackBytes, and waits for it.
void onThreadWithStack(size_t stackBytes, const std::function<void()>& body);

}  // namespace testing_support
