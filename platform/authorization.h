#pragma once
// Which tool can run a script as root after the user authorises it: osascript's
// "with administrator privileges" on macOS, pkexec elsewhere when it is
// installed. Tests may pretend either is present, or neither.
#include <filesystem>
#include <optional>

namespace Authorization {

enum class Tool { osascript, pkexec, none };

Tool available();
// Where the tool lives; empty for Tool::none.
std::filesystem::path toolPath(Tool tool);

void setToolForTesting(std::optional<Tool> tool);

}  // namespace Authorization
