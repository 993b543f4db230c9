#pragma once
// Files the system writes are replaced whole: the text goes to a temporary file
// beside the target, is flushed to disk, and is renamed over the target, so a
// reader sees the old file or the new one, never half of either.
#include <filesystem>
#include <string>
#include <string_view>

namespace AtomicFile {

// Writes contents to path atomically with the given mode. On failure returns
// false, sets error to the system's description, and leaves the target as it was.
bool write(const std::filesystem::path& path, std::string_view contents, std::string* error = nullptr,
           unsigned mode = 0644);

// Creates the folder and its missing parents. False with a description on failure.
bool makeFolders(const std::filesystem::path& folder, std::string* error = nullptr);

}  // namespace AtomicFile
