#pragma once
// The user's never-touch list: paths that are neither scanned nor removed,
// together with everything below them. Kept in
// ~/Library/Application Support/Vessiltane/ignore.txt and in a process-wide copy.
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace Ignores {

enum class Edit {
    changed,      // the list was changed and written
    unchanged,    // nothing to do: already listed, or not listed
    writeFailed,  // the file could not be written; the list is as the file still holds it
    notUtf8,      // refused: the file is UTF-8 text, and one entry that is not would void the whole list
};

extern const std::string_view header;  // the four comment lines written on top

std::filesystem::path fileURL();

// The current entries: the cached list, read from the file on first use.
std::vector<std::string> paths();

// Appends a path ("~" expanded when it does not begin with "/"). A path that
// is not UTF-8 is refused: a file holding it would read as an empty list.
Edit add(std::string_view path);
// Removes every entry equal to the argument as given (not expanded).
Edit remove(std::string_view path);

// Whether the item is listed or lies below a listed folder. The path is
// standardised ("." and ".." resolved) first; links are not resolved.
bool isIgnored(const std::filesystem::path& path);

// Whether an entry lies inside the folder at the path: removing the folder
// would take the entry with it.
bool holdsIgnored(const std::filesystem::path& path);

// Parses the text of an ignore file into its entries.
std::vector<std::string> parse(std::string_view text);
// The file text for a list of entries: header, sorted entries, final line feed.
std::string render(std::vector<std::string> entries);

// Forgets the cached list so the next read goes to the file (tests, and a
// process that knows another one edited the file).
void resetCache();

}  // namespace Ignores
