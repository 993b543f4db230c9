#pragma once
// The user's Trash, laid out as macOS does it: ~/.Trash for items on the home
// folder's volume, <volume>/.Trashes/<uid> for items on another volume. Moving
// there is one rename: an entry already in the Trash is never replaced (the
// item takes a free variant of its name), and an item that would have to be
// copied across devices is not moved at all.
#include <filesystem>
#include <functional>
#include <optional>

#include "platform/remove_tree.h"

namespace Trash {

// The Trash folder for an item (which need not exist yet); nothing when
// neither the item nor its folder can be looked at.
std::optional<std::filesystem::path> folderFor(const std::filesystem::path& item);

struct Moved {
    RemoveTree::Status status = RemoveTree::Status::failed;
    int error = 0;                           // errno when failed
    std::filesystem::path destination;       // where the item is now, when moved
    // A link or a mount on the way to the item, or the item a mount point.
    Reach::Blocked blocked = Reach::Blocked::none;
    // What the item and its folder tell of a refusal (EPERM or EACCES).
    Refusal refusal = Refusal::unexplained;
};

// Moves the item into its Trash folder, creating that folder when missing.
// A symbolic link is moved as a link. The item's folder and the Trash folder
// are reached from the roots of their locations without passing through a link
// or a mount (see Reach); the Trash folder itself must be a real folder, not a
// link, and an item that is a mount point stays.
//
// With an object measured, the item moves only while that object is at the
// path: what is there is looked at through the handle of its folder just
// before the move, and anything else stays (changed).
Moved move(const std::filesystem::path& item, const MeasuredObject* measured);

// "report.pdf", "report 2.pdf", "report 3.pdf", ...: the name an item takes in
// the Trash on the given attempt (1 is the name itself), within 255 bytes.
std::string variantName(const std::string& name, int attempt);

// Replaces folderFor() for move() until reset with an empty function.
void setFolderForTesting(std::function<std::optional<std::filesystem::path>(const std::filesystem::path& item)> locate);

}  // namespace Trash
