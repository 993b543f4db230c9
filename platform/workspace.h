#pragma once
// The user's running applications, and asking one to quit: the processes of
// the user whose executable lies inside an application bundle, with what the
// bundle says of itself (on macOS the other processes are listed too, shown as
// no application of their own; on Linux they are left out). Quitting is a polite request (on macOS the quit
// the Dock sends, so the application can offer to save; elsewhere SIGTERM),
// forcing is SIGKILL; a process is only ever asked or signalled while it is
// still the very process that was listed, never a later one that reused its id.
#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace Workspace {

// How an application shows itself: a regular one has a window and a Dock
// icon, an accessory one lives in the menu bar, a prohibited one is invisible.
enum class ActivationPolicy { regular, accessory, prohibited };

struct RunningApplication {
    int32_t processIdentifier = 0;
    std::optional<std::string> localizedName;
    std::optional<std::string> bundleIdentifier;
    std::optional<std::filesystem::path> bundleURL;      // the application bundle it runs from
    std::optional<std::filesystem::path> executableURL;
    ActivationPolicy activationPolicy = ActivationPolicy::regular;
    // When the process started, in the system's own units: together with the
    // process id it names one process, so a reused id is never mistaken for it.
    uint64_t startTime = 0;
};

// Where the running applications come from. The system's own one is used
// unless a test installs another.
class Backend {
public:
    virtual ~Backend() = default;
    virtual std::vector<RunningApplication> runningApplications() = 0;
    // Asks the application to quit; whether the request was delivered.
    virtual bool terminate(const RunningApplication& app) = 0;
    // Ends the application at once; whether the request was delivered.
    virtual bool forceTerminate(const RunningApplication& app) = 0;
    // Whether the application has ended (a process that is gone, a zombie, or
    // another process that now has the same id).
    virtual bool isTerminated(const RunningApplication& app) = 0;
};

// How the application bundle presents itself, from its Info.plist:
// LSBackgroundOnly makes it prohibited, else LSUIElement an accessory, else it
// is regular. A helper application inside another bundle is no application of
// its own to the user: prohibited.
ActivationPolicy activationPolicy(const std::filesystem::path& bundle);

// Every running application, in the system's order.
std::vector<RunningApplication> runningApplications();
// The running applications whose bundle identifier is exactly the given one
// (none for an empty identifier).
std::vector<RunningApplication> runningApplications(std::string_view bundleIdentifier);
// The running application with that process id, if there is one.
std::optional<RunningApplication> application(int32_t processIdentifier);

bool terminate(const RunningApplication& app);
bool forceTerminate(const RunningApplication& app);
bool isTerminated(const RunningApplication& app);

// Polls the applications every pollInterval until all have ended or timeout
// has passed, reading the time through Clock::now and waiting through
// Clock::sleep. Returns those still running, in the given order.
std::vector<RunningApplication> waitForExit(const std::vector<RunningApplication>& apps,
                                            std::chrono::milliseconds timeout,
                                            std::chrono::milliseconds pollInterval);

// Replaces the system's backend until reset with nullptr.
void setForTesting(std::shared_ptr<Backend> backend);

}  // namespace Workspace
