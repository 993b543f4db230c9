#pragma once
// Renaming that never replaces what is already there.

namespace Rename {

// Renames the entry `from` of the folder open at fromfd to `to` in the folder
// open at tofd, never replacing an existing entry: 0, EEXIST when one is there,
// else the errno value of the failure.
int exclusive(int fromfd, const char* from, int tofd, const char* to);

}  // namespace Rename
