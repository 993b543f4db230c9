#pragma once
// The Trash Bins scan: what sits in every trash folder the user can reach, as
// one report of seven categories (the user's Trash, other volumes' trashes,
// Mail's trash mailboxes, the system trash, the iCloud Drive trash, cloud
// storage trashes, Photos' "Recently Deleted") with one coverage entry per
// place looked at.
#include "engine/scan_model.h"

namespace Scanner {

// The whole scan. Cancellation ends the reading of the user's Trash and of the
// volume trashes; the other five categories are still gathered, so the report
// always holds all seven. Progress is reported three times (0.1, 0.5, 0.7).
// Items of the user's Trash are safe and selected, everything else review or
// protected and unselected. The ignore list is not consulted for the items.
ScanReport scanTrash(const ScanToken& token, const ProgressCallback& progress);

// The five categories that need no token, each usable on its own.
ScanCategory mailTrash();            // "mail-trash"
ScanCategory systemTrash();          // "system-trash"
ScanCategory icloudTrash();          // "icloud-trash"
ScanCategory cloudStorageTrashes();  // "cloud-trash"
ScanCategory photosTrash();          // "photos-trash"

}  // namespace Scanner
