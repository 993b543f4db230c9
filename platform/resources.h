#pragma once
// The files shipped with the program (the adware rule set, fonts, icons),
// found from where the running executable lies: inside an application bundle
// (Contents/Resources), installed (<prefix>/share/vessiltane) or in the build
// tree (<build>/resources, also from a test program one folder further down).
#include <filesystem>
#include <optional>
#include <string_view>
#include <vector>

namespace Resources {

// The running executable's own path; nothing when the system does not say.
std::optional<std::filesystem::path> executablePath();

// The folders searched for shipped files, most specific first.
std::vector<std::filesystem::path> searchFolders();

// The shipped file with this name: the first regular file (links followed) of
// that name in searchFolders(); nothing when none exists.
std::optional<std::filesystem::path> locate(std::string_view fileName);
// The same for a file in a folder of the shipped files ("fonts"); neither
// name may hold a slash.
std::optional<std::filesystem::path> locate(std::string_view folder, std::string_view fileName);

// Replaces searchFolders() until reset with nothing; an empty list means the
// program ships no resources.
void setSearchFoldersForTesting(std::optional<std::vector<std::filesystem::path>> folders);

}  // namespace Resources
