#include "platform/authorization.h"

#include <unistd.h>

#include <mutex>

namespace Authorization {
namespace {

std::mutex overrideLock;
std::optional<Tool> overrideTool;

}  // namespace

std::filesystem::path toolPath(Tool tool) {
    switch (tool) {
        case Tool::osascript: return "/usr/bin/osascript";
        case Tool::pkexec: return "/usr/bin/pkexec";
        case Tool::none: break;
    }
    return {};
}

Tool available() {
    {
        std::lock_guard guard(overrideLock);
        if (overrideTool) return *overrideTool;
    }
#ifdef __APPLE__
    return Tool::osascript;
#else
    return ::access(toolPath(Tool::pkexec).c_str(), X_OK) == 0 ? Tool::pkexec : Tool::none;
#endif
}

void setToolForTesting(std::optional<Tool> tool) {
    std::lock_guard guard(overrideLock);
    overrideTool = tool;
}

}  // namespace Authorization
