#pragma once
// The moment between looking at an entry and opening it. Whatever the look
// said, the disk may have changed by the open: a folder swapped for a link, a
// file given a second name, something mounted. Only the guards after the open
// (O_NOFOLLOW, the same-object check, the mount and link checks) stand in the
// way then, so tests change the disk right here to see that each one holds.
#include <functional>
#include <string>

namespace RaceSeam {

// Where the look and the open happen.
enum class Site {
    componentWalk,   // a folder on the way to an item, reached one component at a time
    removal,         // a folder inside an item being removed
    shredderFolder,  // a folder inside an item being shredded, or the item itself
    shredderFile,    // a file about to be overwritten
    shredderPass,    // a file overwritten by one more pass, before the next pass or its removal
                     // (the moment is after an open, before the name is acted on again)
    handedFolder,    // a folder one walking thread looked at and another opens by its path
                     // (dirfd: the walk's root; name: the path below it)
    locationRoot,    // the root of a location, opened by the real path just looked up
                     // (dirfd: AT_FDCWD; name: that real path)
};

// Called with the open folder holding the entry and the entry's name, after
// the look and before the open. Nothing unless a test set a hook.
void betweenLookAndOpen(Site site, int dirfd, const std::string& name);

// The hook runs on the thread that looks and opens; an empty one removes it.
using Hook = std::function<void(Site site, int dirfd, const std::string& name)>;
void setForTesting(Hook hook);

}  // namespace RaceSeam
