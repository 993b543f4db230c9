#pragma once
// The lines of a tool's output and the pieces of one line. The views point
// into the given text.
#include <string_view>
#include <vector>

namespace TextLines {

// Split at the separator ("\n": the lines), empty pieces left out, so runs of
// separators count as one.
std::vector<std::string_view> nonEmpty(std::string_view text, char separator = '\n');

// Split at every separator, empty pieces kept: "a||b" has three fields.
std::vector<std::string_view> fields(std::string_view text, char separator);

}  // namespace TextLines
