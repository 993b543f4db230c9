#pragma once
// The maintenance module's fixed list of housekeeping jobs, each a shell
// command line run once on request, and the test of whether a job can run on
// this Mac (its program is present).
#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <vector>

struct MaintenanceTask {
    std::string id;              // stable key, unique in the catalog
    std::string title;
    std::string detail;          // what the task does
    std::string recommendation;  // when to run it
    std::string command;         // run through /bin/sh -c, or as root when requiresAdmin
    bool requiresAdmin = false;
    bool isRoutine = false;
    // The program whose presence decides availability; else the command's first word.
    std::optional<std::string> requiresPath;
    // Shown when that program is missing; else the general message.
    std::optional<std::string> unavailableReason;
    bool isRunning = false;
    std::optional<std::string> outcome;  // captured output of the last run
    std::optional<bool> succeeded;

    // Nothing when the task can run here, else the reason to show. Only an
    // absolute program path is checked (under the system root): shell words
    // and bare names are taken as present.
    std::optional<std::string> unavailable() const;

    // A task is its id, whatever its last run left behind.
    friend bool operator==(const MaintenanceTask& a, const MaintenanceTask& b) { return a.id == b.id; }
};

template <>
struct std::hash<MaintenanceTask> {
    size_t operator()(const MaintenanceTask& t) const noexcept { return std::hash<std::string>{}(t.id); }
};

namespace Maintenance {

// The twelve tasks in display order. Built for the logged-in user: the
// permission reset names that user's id in its command, since the command
// runs in a root shell where the user is root.
std::vector<MaintenanceTask> catalog();

}  // namespace Maintenance
