#pragma once
// The shredder destroys what the user picked: every byte of each regular file
// is overwritten with random data and forced to disk, then the file is renamed
// to a meaningless name and deleted. Nothing goes to the Trash.
//
// It refuses rather than guesses: a protected or ignored path, a file with a
// hard link outside the chosen items (overwriting would change it too; names
// are told apart by the folder holding them and their name in it, never by
// how a path was spelled, and a name reached through a link is none of the
// chosen ones), a folder it could not read whole, or anything on another
// volume inside a chosen folder (a file mounted over a name in it too, whose
// contents are the outside file's) ends that item with a failure line before
// anything of it is touched; a chosen file mounted from elsewhere is refused
// before it is opened for writing. Links are removed as links; their targets are
// never opened. Only a file's data is overwritten, never its holes. A file
// whose overwrite or removal fails keeps its name, and its line says what it
// is left as.
#include <cstdint>
#include <string>
#include <vector>

#include "engine/scan_model.h"

namespace Shredder {

struct Outcome {
    int shreddedCount = 0;                   // items shredded without error
    int64_t bytes = 0;                       // their sizes, measured before shredding
    std::vector<std::string> failures;       // "<path>: <reason>"
    std::vector<std::string> shreddedPaths;  // in input order
};

// Shreds the items one by one with the given number of overwrite passes (at
// least one). The token is read before each item; an item that has started is
// finished. Progress: "Shredding <name>…" before each item, "Done" at the end.
Outcome shred(const std::vector<ScanItem>& items, int passes, const ScanToken& token,
              const ProgressCallback& progress);

}  // namespace Shredder
