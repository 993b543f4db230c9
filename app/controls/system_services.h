#pragma once
// What the window asks of the desktop beyond its own widgets: opening a link
// (the System Settings panes). Tests hand the window a fake that records what
// was asked.
#include <memory>
#include <string>

class Executor;

class SystemServices {
public:
    virtual ~SystemServices() = default;
    // Asks the desktop to open the address; whether it did is not reported.
    virtual void openURL(const std::string& address) = 0;

    // The desktop's own: the platform's opener run in the background through
    // the one shell helper, its outcome ignored.
    static std::unique_ptr<SystemServices> desktop(std::shared_ptr<Executor> executor);
};

namespace SystemLinks {
// The list of applications with Full Disk Access in System Settings.
inline constexpr const char* kFullDiskAccess =
    "x-apple.systempreferences:com.apple.preference.security?Privacy_AllFiles";
}  // namespace SystemLinks
