#pragma once
// Files kept in the cloud appear on disk as placeholders whose data is fetched
// when something reads them. A scan only looks: it must never start a download.

namespace Placeholders {

// Turns off, for the whole process, the fetching of placeholder files and
// folders (their listing and reading then fail instead of downloading). Called
// before every walk; the first call does the work. Nothing to do on systems
// without such placeholders.
void neverFetch();

}  // namespace Placeholders
