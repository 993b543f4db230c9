#pragma once
// The process arguments, recorded once by main, and the one flag lookup used
// at start-up.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace CommandLine {

void setArguments(int argc, const char* const* argv);
const std::vector<std::string>& arguments();

// The argument right after the first occurrence of flag; nothing when the flag
// is absent or last. The executable path counts as an argument like any other.
std::optional<std::string> value(std::string_view flag);
std::optional<std::string> value(const std::vector<std::string>& arguments, std::string_view flag);

// Whether any argument, the executable path included, is exactly the flag.
bool contains(const std::vector<std::string>& arguments, std::string_view flag);

}  // namespace CommandLine
