#pragma once
// Reclaimable space that no fixed path pattern describes: applications whose
// executable carries a CPU slice beside the arm64 one, disk images left in the
// user's folders long after use, payloads of finished updates, the system's
// store of old document revisions, and caches left by photo syncing. Each
// detector returns one category, without items when it finds nothing, and
// never changes the file system.
#include "engine/scan_model.h"

namespace Detectors {

// Applications directly in /Applications and ~/Applications whose main
// executable holds an arm64 slice and another one; each item is sized by the
// slice that thinning would remove. Reads the token once per application and
// returns what it gathered once it is cancelled.
ScanCategory universalBinaries(const ScanToken& token, const ProgressCallback& progress);

// Disk images in Downloads, Documents and Desktop that are not attached and
// were last changed more than 30 days ago.
ScanCategory unusedDiskImages();

// Entries above 1 MiB in the folders where finished updates leave payloads.
ScanCategory staleUpdatePayloads();

// The user's folder in the system's document revision store.
ScanCategory documentVersions();

// What photo syncing and the Photos app leave in their cache folders.
ScanCategory photoSyncCaches();

}  // namespace Detectors
