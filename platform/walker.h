#pragma once
// The one directory walker every scan uses. The folder walked is reached from
// the root of its location without passing through a link or a mount (see
// Reach). Below it, each folder is read whole into a buffer of the walk's own
// and its entries are visited in inode order (cheap on disks where inode order
// is close to disk order): a folder is opened relative to its parent's handle
// with O_NOFOLLOW | O_DIRECTORY and known by fstat on that handle, any other
// entry is looked at once without following it (statx where there is one), and
// a symbolic link, which the folder listing already names as one, is not
// looked at further: it is reported, never followed. Errors never stop a walk:
// the entry or folder is passed over.
//
// No walk recurses per folder level: the folders being walked are a stack
// bounded by memory, not by the thread's stack, and only a few of them keep
// their handles open; one let go is opened again when the walk returns to it,
// never through a link, and checked to be the folder it left.
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/file_facts.h"

struct WalkEntry {
    std::string_view path;  // full path, valid during the callback only
    std::string_view name;  // last component
    // For a symbolic link only the type is sure to be filled in: a link
    // measures nothing and is never entered, so its other facts are read only
    // by a walk that leaves out what the platform marks hidden.
    const FileFacts& facts;
    int depth;              // 1 for the direct children of the root
    bool isPackage;         // a folder that the system presents as one item
    size_t root = 0;        // in a walk of several roots, the index of this entry's root
};

enum class WalkAction { proceed, skipSubtree, stop };

struct WalkOptions {
    bool enterPackages = false;  // enter packages met inside the walked folder
    bool skipHidden = false;     // leave out names starting with "." and entries the platform
                                 // marks hidden (and what is below them)
    // Do not enter a folder on another mount than the root (a bind mount
    // included); it is reported to onError with EXDEV, and so is any other
    // entry that lies on another mount (a file bind-mounted over a name).
    bool stayOnMount = false;
    // Called for a folder that could not be opened or listed, or an entry that
    // could not be stat'ed, with the errno value. Optional.
    std::function<void(std::string_view path, int error)> onError;
    // Asked before each folder is read (and by a parallel walk before it takes
    // up a root or a folder handed out): once it says yes, the walk ends as if
    // the visitor had asked it to stop, so a stop is felt within one folder
    // read even where no entry is visited. Optional; called from the walking
    // threads, so it must be cheap and safe to call from any of them.
    std::function<bool()> stopRequested;
};

namespace Walker {

// Visits every entry below root (not root itself), folders before their
// contents. Returns false when the visitor asked to stop, true otherwise.
// A root that is not a folder (or is a symbolic link) has no entries.
bool walk(const std::filesystem::path& root, const std::function<WalkAction(const WalkEntry&)>& visit,
          const WalkOptions& options = {});

// Visits the same entries as walk(), with the same options and actions, but
// shares the folders out among up to WorkPool::width() threads: the visitor
// (and onError) is called from several threads at once, in no fixed order, with
// the slot of the calling thread (below WorkPool::width()) so it can keep its
// state per slot without locks. Each folder's entries still come from one
// thread, folders before their contents. Only for walks whose result does not
// depend on the order of the entries. Returns when every visit has returned.
bool walkParallel(const std::filesystem::path& root,
                  const std::function<WalkAction(const WalkEntry&, unsigned slot)>& visit,
                  const WalkOptions& options = {});
// The same over several roots at once, each entry naming its root's index.
// False when the visitor asked to stop.
bool walkParallel(const std::vector<std::filesystem::path>& roots,
                  const std::function<WalkAction(const WalkEntry&, unsigned slot)>& visit,
                  const WalkOptions& options = {});

// The names in a folder, "." and ".." left out, in the order the file system
// gives them. Empty when the folder cannot be listed (or is reached only
// through a link or across a mount); ok tells the two apart.
std::vector<std::string> list(const std::filesystem::path& folder, bool* ok = nullptr);

// The names in the folder open at fd, read whole from its start, "." and ".."
// left out. The handle stays open and usable. Nothing when it cannot be read,
// with the errno value in error.
std::optional<std::vector<std::string>> names(int fd, int* error = nullptr);

// How many folder handles each walking thread keeps open at most; 0 goes back
// to the share of the process's limit the walker takes by itself. Tests set a
// small number so that folders are let go and opened again on shallow trees.
void setHandleWindowForTesting(size_t handles);

}  // namespace Walker
