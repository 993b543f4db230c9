#pragma once
// The folders a removal is inside, deepest last, for the walks that act on a
// folder only after what it holds (deleting, shredding) and so must come back
// up to every folder they entered. No such walk recurses per folder level: its
// depth is bounded by memory, not by the thread's stack (512 KB on macOS
// worker threads) nor by the process's handles.
//
// A folder is entered relative to the handle of the folder holding it, with
// O_NOFOLLOW | O_DIRECTORY, and kept only when it is the object that was just
// looked at and lies on the mount the walk started on. Only the deepest few
// keep their handles open; one let go is found again when the walk comes back
// up to it, through ".." from the folder below, or else one name at a time
// from the nearest open folder above, never through a link, and only when it
// is still the very folder (device and inode) the walk left.
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "platform/file_facts.h"
#include "platform/mounts.h"
#include "platform/race_seam.h"

class FolderStack {
public:
    // The walk starts in the folder open at base, whose real path is given;
    // the handle stays the caller's and must outlive the stack. The site names
    // the walk for the test seam between the look and the open.
    FolderStack(int base, const std::string& realPath, RaceSeam::Site site);
    ~FolderStack();
    FolderStack(const FolderStack&) = delete;
    FolderStack& operator=(const FolderStack&) = delete;

    enum class Entered {
        entered,     // the folder is the current one now
        changed,     // a link, no folder, or another object than the one looked at: look again
        otherMount,  // a mount point (a bind mount too): never entered
        failed,      // could not be opened: the errno value is in error
    };
    struct Entry {
        Entered result = Entered::failed;
        int error = 0;
    };

    // Enters the folder `name` of the current folder, which the caller has
    // just looked at (without following a link) and found to be `looked`.
    Entry enter(const std::string& name, const FileIdentity& looked);

    // Leaves the current folder for the one holding it, and tells the name of
    // the folder left there. Nothing entered: nothing happens.
    std::string leave();

    // The current folder's handle (the base with nothing entered); -1 when
    // it was let go and is no longer where the walk left it, or no longer
    // the same folder.
    int current();

    // How many folders are entered.
    size_t depth() const { return frames_.size(); }
    // The real path of the current folder, as the walk came down to it.
    const std::string& path() const { return path_; }

    // Whether the item open at fd, the entry `name` of the current folder,
    // lies on another mount than the walk started on: a file mounted over the
    // name (a bind mount of one file) shows an outside file there.
    bool onOtherMount(int fd, const std::string& name) const;

    // Caps the handles kept open (0 goes back to the usual number), so tests
    // see folders let go and found again on shallow trees.
    static void setWindowForTesting(size_t handles);

private:
    struct Frame {
        int fd;                 // -1 while let go
        FileIdentity identity;  // of the folder, as opened on the way down
        size_t pathLength;      // path_ up to the folder itself
    };

    std::string_view nameOf(size_t index) const;
    void letGoBeyondWindow();
    int reachFromBelow(size_t index, int from) const;
    int reachFromAbove(size_t index);

    const int base_;
    const size_t baseLength_;
    const RaceSeam::Site site_;
    Mounts::Boundary boundary_;
    std::string path_;
    std::vector<Frame> frames_;
    size_t open_ = 0;        // frames whose handle is open
    size_t lowestOpen_ = 0;  // no frame below it has an open handle
};
