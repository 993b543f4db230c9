#pragma once
// Asks Spotlight for files that carry an application's name or bundle
// identifier, to find support files kept outside the usual Library folders.
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace SpotlightSearch {

// How widely the query reaches: the display name alone, also the path, or
// also the creator, copyright and comment attributes.
enum class Sensitivity { strict, enhanced, deep };

std::string_view rawValue(Sensitivity sensitivity);  // "strict", "enhanced", "deep"
std::optional<Sensitivity> fromRawValue(std::string_view raw);

// An input with the characters that have a meaning inside a query value
// (double quote, backslash, star, parentheses) dropped and blanks trimmed.
std::string cleaned(std::string_view text);

// The Spotlight query, or nothing when both inputs are empty once cleaned.
std::optional<std::string> predicate(std::string_view appName, std::string_view bundleID, Sensitivity sensitivity);

// The files Spotlight finds, at most limit of them, in its order, less those
// in system folders, inside application bundles, protected or ignored. Any
// failure (no index, no tool) gives nothing.
std::vector<std::filesystem::path> paths(std::string_view appName, std::string_view bundleID,
                                         Sensitivity sensitivity, int limit);

}  // namespace SpotlightSearch
