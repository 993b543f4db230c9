#pragma once
// The user's running applications with their CPU and memory use, the ones
// that have stopped responding, and quitting one of them. Figures come from
// one ps run; names, bundle identifiers and paths from the workspace's list of
// running applications, joined by process id.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

struct RunningApp {
    int32_t id = 0;  // process id
    std::string name;
    std::optional<std::string> bundleID;  // none in the hung list
    std::optional<std::string> path;      // the application bundle; none in the hung list
    double cpuPercent = 0;
    int64_t memoryBytes = 0;  // resident size
    bool isHung = false;

    friend bool operator==(const RunningApp&, const RunningApp&) = default;
};

template <>
struct std::hash<RunningApp> {
    size_t operator()(const RunningApp& a) const noexcept { return std::hash<int32_t>{}(a.id); }
};

namespace Processes {

// The regular and menu-bar applications ps reports, largest resident size
// first (equal sizes keep ps's order). Empty when ps fails.
std::vector<RunningApp> runningApps();

// The regular applications in uninterruptible wait or zombie state, in ps's
// order. Empty when ps fails.
std::vector<RunningApp> hungProcesses();

// Asks the application with that process id to quit and waits up to three
// seconds for it, then forces it; with force, forces it at once. Whether it
// ended (with force: whether the forced quit was accepted). False when no
// running application has that id.
bool quit(int32_t processID, bool force);

}  // namespace Processes
