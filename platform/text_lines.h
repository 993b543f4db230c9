#pragma once
// The lines of a tool's output: split at "\n", empty lines left out. The
// views point into the given text.
#include <string_view>
#include <vector>

namespace TextLines {

std::vector<std::string_view> nonEmpty(std::string_view text);

}  // namespace TextLines
