#pragma once
// Cleaning a set of items, the one way the window and the command line both
// do it: the items a user may remove alone deleted for good or moved to the
// Trash, those needing administrator rights in one privileged batch, and one
// record appended to the history with what really happened.
//
// Within one run a path is removed once and counted once: an item listed
// twice (two modules, or one module given twice) is taken once, an item that
// an earlier step of the run already removed (it lay inside a folder removed
// before it) counts nothing, and a folder's bytes leave out what items inside
// it already counted. Only what this run removed itself is reclaimed: an item
// gone before its turn was reclaimed by whoever removed it.
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "engine/clean_history.h"
#include "engine/scan_model.h"

namespace Cleaning {

struct Request {
    std::vector<ScanItem> forGood;  // deleted for good
    std::vector<ScanItem> toTrash;  // moved to the Trash (an item already in a Trash is deleted for good)
    bool apply = true;              // false: a dry run that removes nothing and counts what would go
    bool allowAdmin = true;         // false: items needing administrator rights are skipped
    // For the history record; none is appended without a source.
    std::string source;
    std::vector<std::string> modules;
};

struct Failure {
    ScanItem item;
    std::string reason;   // empty when the privileged batch gave no reason
    bool asRoot = false;  // failed in the privileged batch
};

struct Outcome {
    int64_t reclaimed = 0;     // bytes this run removed itself, the Trash included
    int64_t removedCount = 0;  // items this run removed itself
    int64_t trashedBytes = 0;  // of reclaimed, moved to the Trash
    std::vector<Failure> failures;
    // Paths no longer on disk: removed by this run, or gone before their turn.
    std::vector<std::filesystem::path> gone;
    // Items needing administrator rights that were not tried: not allowed,
    // or the prompt was dismissed.
    std::vector<ScanItem> skippedForAdmin;
    int64_t removedAsRoot = 0;  // of removedCount, by the privileged batch
    bool adminCancelled = false;
    bool authorizationUnavailable = false;
    // Stopped before every item was tried; notTried of them stay as they were.
    bool stopped = false;
    int64_t notTried = 0;
    CleanupRecord record;  // as appended to the history
};

// Where a run has got to: items done of the total, and whether the run now
// waits for the administrator prompt.
struct Step {
    size_t done = 0;
    size_t total = 0;
    bool awaitingApproval = false;
};
using Progress = std::function<void(const Step&)>;

// Runs the cleaning and appends its record to the history (a dry run's too)
// when the request names a source.
// A cancelled stop token stops the run between items: the item under way is
// finished, the rest (the privileged batch included, when it has not begun)
// is left as it is. progress is called from the calling thread.
Outcome run(const Request& request, const ScanToken* stop = nullptr, const Progress& progress = {});

// Called on the run's thread after each item, once its step is reported:
// where a test holds a removal between two items. Empty: none.
void setAfterItemHookForTesting(Progress hook);

}  // namespace Cleaning
