#pragma once
// The user's never-touch list: paths that are neither scanned nor removed,
// together with everything below them. Kept in
// ~/Library/Application Support/Vessiltane/ignore.txt and in a process-wide copy.
//
// It fails closed. A list that exists but cannot be read (unreadable, not a
// regular file, a link, oversized) stops every removal, since what it protects
// is unknown; a line that is not UTF-8 is kept and matched byte for byte, and
// written back unchanged, instead of voiding the rest; an entry that names no
// absolute path once read stops every removal too, naming the entry; and an
// entry that would not read back as written is refused when it is added.
//
// Every edit reads the file afresh and writes it back under an advisory lock
// on ignore.txt.lock beside it, so edits made at once by several processes or
// threads all land. A process re-reads the file whenever it changed, so an
// entry another process added is heeded at once.
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace Ignores {

enum class Edit {
    changed,      // the list was changed and written
    unchanged,    // nothing to do: already listed, or not listed
    writeFailed,  // the file could not be written; the list is as the file still holds it
    refused,      // add only: the entry would not read back as written (see storable())
    unreadable,   // the list exists but cannot be read, so it is not rewritten
};

extern const std::string_view header;  // the four comment lines written on top

std::filesystem::path fileURL();

// The current entries: the cached list, read from the file on first use.
// Empty when the file is missing, and when it cannot be read.
std::vector<std::string> paths();

// Why the list cannot be read when the file exists but cannot be (for the
// user: "not a regular file", the system's message, ...), or which entry of
// it names no absolute path; nothing otherwise. While this holds, nothing may
// be removed. (An entry that names no absolute path does not stop edits: the
// file is read whole, so rewriting it loses nothing.)
std::optional<std::string> unreadable();

// Why an entry would not read back from the file exactly as written: empty, a
// comment, white space at either end, a control character (a line break, a
// tab, a carriage return...). Nothing when it can be stored.
std::optional<std::string> unstorable(std::string_view entry);

// Appends a path ("~" expanded when it does not begin with "/"); refused when
// it could not be stored (see unstorable()).
Edit add(std::string_view path);
// Removes every entry equal to the argument as given (not expanded).
Edit remove(std::string_view path);

// Whether an entry's real path is looked up again, for a check made just
// before something is removed, or taken as it was when the list was read.
enum class RealPaths { asRead, fresh };

// Whether the item is listed or lies below a listed folder. The path is
// standardised ("." and ".." resolved) first; links in it are not resolved.
// An entry covers both the place as written and the place it really is (its
// real path, when a link on the way leads elsewhere).
bool isIgnored(const std::filesystem::path& path, RealPaths realPaths = RealPaths::asRead);

// Whether an entry (as written or as it really is) lies inside the folder at
// the path: removing the folder would take the entry with it.
bool holdsIgnored(const std::filesystem::path& path, RealPaths realPaths = RealPaths::asRead);

// Parses the text of an ignore file into its entries: a leading byte-order
// mark is dropped, and LF, CR LF and CR alone all end a line.
std::vector<std::string> parse(std::string_view text);
// The file text for a list of entries: header, sorted entries, final line feed.
std::string render(std::vector<std::string> entries);

// Forgets the cached list so the next read goes to the file (tests, and a
// process that knows another one edited the file).
void resetCache();

}  // namespace Ignores
