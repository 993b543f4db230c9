#pragma once
// The hidden switches that exercise single engine operations from a terminal
// and print what they return, without the window. Each handler is one link of
// the start-up chain: it is given the process arguments (the executable path
// first) and returns true when its switch was there and it did its work; the
// process then ends with status 0, whatever the probe found. A switch counts
// when any argument equals it exactly; a switch that takes a value uses the
// argument after its first occurrence and is left alone when it is last.
// Results go to out one line each; engine progress goes to err as two spaces
// and the message.
#include <ostream>
#include <string>
#include <vector>

namespace Diagnostics {

using Arguments = std::vector<std::string>;

// "--probe-elevation": removes a scratch file through the privileged batch and
// prints what the batch says and whether the file is still there.
bool handleElevationProbe(const Arguments& arguments, std::ostream& out, std::ostream& err);

// "--scan-malware": the adware scan, at most ten items per category.
bool handleMalwareScan(const Arguments& arguments, std::ostream& out, std::ostream& err);

// "--probe-detection": a fixed self-test of the adware name matcher and the
// version comparison.
bool handleDetectionProbe(const Arguments& arguments, std::ostream& out, std::ostream& err);

// "--probe-thinning PATH": thins a throw-away copy of a universal binary.
bool handleThinningProbe(const Arguments& arguments, std::ostream& out, std::ostream& err);

// "--list-login-items": the startup entries with their state.
bool handleListLoginItems(const Arguments& arguments, std::ostream& out, std::ostream& err);

// "--list-tasks": which maintenance tasks can run here; nothing is run.
bool handleListTasks(const Arguments& arguments, std::ostream& out, std::ostream& err);

// "--check-updates": which applications publish a feed and what the feeds
// advertise, without and then with pre-releases.
bool handleUpdateCheck(const Arguments& arguments, std::ostream& out, std::ostream& err);

// "--diagnose": five System Junk categories, what was found and what would
// be selected.
bool handleIfRequested(const Arguments& arguments, std::ostream& out, std::ostream& err);

}  // namespace Diagnostics
