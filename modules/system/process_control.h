#pragma once
// Before an application is moved to the Trash, every running instance of it
// is asked to quit (and forced after a grace period), and its launchd jobs are
// taken out of the user's session, so nothing holds its files open or starts
// it again. Results are lines for a person, in the order the actions were taken.
#include <chrono>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "engine/app_match.h"
#include "platform/workspace.h"

namespace ProcessControl {

// How long instances get to quit before they are forced, and how often they
// are looked at meanwhile.
inline constexpr std::chrono::milliseconds quitGracePeriod{3000};
inline constexpr std::chrono::milliseconds quitPollInterval{150};

// The running instances of the application: the processes that run from the
// very bundle removed (their bundle is it, or their executable lies inside
// it, as written or where the path really leads), those the system reports
// for the bundle identifier first; each process once. A copy of the
// application elsewhere, with the same identifier or file name, is not one.
std::vector<Workspace::RunningApplication> runningApplications(std::string_view bundleID,
                                                               const std::filesystem::path& appPath);

// Asks every instance to quit, waits up to the grace period, then forces the
// survivors. "Quit <name>" lines, then "Force quit <name>" lines.
std::vector<std::string> terminate(std::string_view bundleID, const std::filesystem::path& appPath);

// The job labels in the text of "launchctl list" that belong to the
// application: its bundle identifier or that and a dot-suffix (letter case
// ignored), unless another of the installed applications' identifiers names
// the label more exactly, and "application." with its name, alone or with a
// dot-suffix; in output order and case.
std::vector<std::string> matchingLabels(std::string_view launchctlList, std::string_view bundleID,
                                        std::string_view appName, const std::vector<AppMatch::App>& installed = {});

// Removes the application's jobs from the user's GUI domain and stops its
// launch agents (those named by its identifier as its labels are), judged
// among the installed applications. "Unregistered login item <label>" lines,
// then "Stopped agent <name>" lines.
std::vector<std::string> unregisterLoginItems(std::string_view bundleID, std::string_view appName);

}  // namespace ProcessControl
