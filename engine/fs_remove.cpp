// The removal half of FS: deciding which items need administrator rights, and
// deleting or trashing the others as the user.
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "engine/fs.h"
#include "engine/removal_guard.h"
#include "platform/locations.h"
#include "platform/file_facts.h"
#include "platform/remove_tree.h"
#include "platform/trash.h"
#include "platform/user.h"

namespace FS {
namespace {


void addBytes(int64_t& total, int64_t size) {
    // Recorded sizes cannot get here; a sum that could is a fault, not a figure.
    if (__builtin_add_overflow(total, size, &total)) std::abort();
}

bool refused(int error) { return error == EACCES || error == EPERM; }

}  // namespace

std::string failureText(int error, Reach::Blocked blocked, Refusal refusal, bool needsElevation) {
    if (blocked != Reach::Blocked::none) return blockedText(blocked);
    if (refused(error)) {
        if (refusal == Refusal::lockedFile) return "Locked file";
        if (refusal == Refusal::lockedFolder) return "Locked folder";
        if (needsElevation) return "Needs administrator access";
        // Nothing on the disk says no, so the system's privacy protection does.
        if (error == EPERM && refusal == Refusal::unexplained) return "Needs Full Disk Access";
    }
    return std::strerror(error);
}

std::string blockedText(Reach::Blocked blocked) {
    switch (blocked) {
        case Reach::Blocked::none: break;
        case Reach::Blocked::link: return "A folder on its path is a symbolic link";
        case Reach::Blocked::mount: return "A mount point is in the way";
        case Reach::Blocked::locationRoot: return "Protected item";
    }
    return {};
}

bool requiresElevation(const std::filesystem::path& path) {
    std::filesystem::path item = Locations::withoutTrailingSlash(path.native());
    std::filesystem::path parent = item.parent_path();
    if (!existsFollowingLinks(parent)) return false;
    if (::access(parent.c_str(), W_OK) != 0) return true;
    auto folder = statFacts(parent);
    if (!folder) return false;
    if ((folder->mode & S_ISVTX) == 0) return false;
    // A sticky folder lets only an entry's owner remove it, and the entry is
    // the item itself: a link is judged by its own owner, not its target's.
    auto facts = lstatFacts(item);
    if (!facts) return true;
    return facts->owner != User::uid();
}

RemovalOutcome remove(const std::vector<ScanItem>& items, bool toTrash) {
    RemovalOutcome out;
    for (const auto& item : items) {
        switch (RemovalGuard::checkWhole(item.url)) {
            case RemovalGuard::Verdict::allowed: break;
            case RemovalGuard::Verdict::ignored:
                out.failures.emplace_back(item, "On the ignore list");
                continue;
            case RemovalGuard::Verdict::protected_:
                out.failures.emplace_back(item, "Protected item");
                continue;
            case RemovalGuard::Verdict::invalid:
                out.failures.emplace_back(item, std::strerror(EINVAL));
                continue;
            case RemovalGuard::Verdict::ignoreListUnreadable:
                out.failures.emplace_back(item, RemovalGuard::text(RemovalGuard::Verdict::ignoreListUnreadable));
                continue;
        }
        // A second line of defence: callers filter protected items out, and
        // the rating may say what the path rules cannot (a photo library
        // behind a Trash entry).
        if (item.safety == Safety::protected_) {
            out.failures.emplace_back(item, "Protected item");
            continue;
        }
        // Only the object the scan measured is taken: an item without one
        // cannot be told from whatever is at its path now, so it is removed
        // only when nothing is there.
        if (!item.measured) {
            if (existsItself(item.url)) out.failures.emplace_back(item, kNotMeasuredText);
            else addBytes(out.bytes, item.size);
            continue;
        }

        RemoveTree::Status status;
        int error = 0;
        Reach::Blocked blocked = Reach::Blocked::none;
        Refusal refusal = Refusal::unexplained;
        std::filesystem::path destination;
        if (toTrash) {
            Trash::Moved moved = Trash::move(item.url, &*item.measured);
            status = moved.status;
            error = moved.error;
            blocked = moved.blocked;
            refusal = moved.refusal;
            destination = std::move(moved.destination);
        } else {
            RemoveTree::Result removed = RemoveTree::remove(item.url, &*item.measured);
            status = removed.status;
            error = removed.error;
            blocked = removed.blocked;
            refusal = removed.refusal;
        }

        switch (status) {
            case RemoveTree::Status::removed:
                out.removed.push_back(item);
                if (toTrash) out.trashedTo.push_back(destination);
                addBytes(out.bytes, item.size);
                break;
            case RemoveTree::Status::alreadyGone:
                // Gone before its turn (or while it came): reclaimed all the same.
                addBytes(out.bytes, item.size);
                break;
            case RemoveTree::Status::changed:
                out.failures.emplace_back(item, kChangedText);
                break;
            case RemoveTree::Status::failed:
                out.failures.emplace_back(
                    item, failureText(error, blocked, refusal, refused(error) && requiresElevation(item.url)));
                break;
        }
    }
    return out;
}

}  // namespace FS
