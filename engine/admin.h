#pragma once
// The one way the system runs external programs: a command line through
// /bin/sh as the logged-in user, a script as root behind the system's
// authorization prompt, and one privileged batch that removes many paths
// behind a single prompt.
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/file_facts.h"

namespace Admin {

struct Result {
    bool ok = false;         // the program ran and exited with status 0
    std::string output;      // captured output (UTF-8, else empty), or why it could not run
    bool cancelled = false;  // the administrator prompt was dismissed
    int exitStatus = -1;     // the shell's exit status; 127 when the program does not exist
    // runAsRoot() only: the script never ran because no authorization tool or
    // agent was available (output says why).
    bool authorizationUnavailable = false;
};

struct PrivilegedRemoval {
    std::vector<std::string> removed;
    std::vector<std::string> failed;
    // Why each failed path failed, in the order of failed; empty where nothing
    // says (the batch did not run, or broke off).
    std::vector<std::string> reasons;
    bool cancelled = false;
    bool authorizationUnavailable = false;
};

// One item for the batch: its path and the object its scan measured there.
struct Target {
    std::filesystem::path path;
    std::optional<MeasuredObject> measured;
};

// Every argument that goes into a command line passes through here: the text
// in single quotes, a single quote inside written as '\''.
std::string quote(std::string_view argument);

// A system tool ("/usr/bin/mdfind") as the first word of a command line: found
// in the system folders Locations gives, so a test root can stand in for it,
// and quoted like every other argument.
std::string tool(std::string_view absolute);

// Runs the command line with /bin/sh -c and captures standard output (and
// standard error when mergeStderr). Blocks until the command has exited.
Result run(const std::string& commandLine, bool mergeStderr = false);

// Runs a shell script with administrator rights. Blocks while the prompt is
// shown and the script runs.
Result runAsRoot(const std::string& script, const std::optional<std::string>& prompt = std::nullopt);

// Removes the paths as root in one batch behind one prompt. What runs as root
// is this executable (privilegedRemovalMain), handed the paths on standard
// input, so no shell reads a path again: it checks each path against the
// removal rules again and removes it through the same walker as every other
// road, so a path that meets a link or another mount fails. A batch holding a
// relative path, "/" or a path with a line feed is refused whole without a
// prompt (reasons name the path at fault; the others were not attempted); an
// ignored path or one under a protected location is left out of the script
// and listed as failed.
//
// The request names the user who asks (the real uid), the home, and each
// location root the paths lie in by its real path and the device and inode
// seen here; the paths are written from those real paths. The root side opens
// every root itself from "/" without following a link, and refuses the whole
// batch when one is not the folder seen here, when a folder on the way to it
// can be changed by anyone but root and that user (see RootPin), or when the
// home does not belong to that user. Each path then says why, and nothing is
// removed. The same rules are applied here first, so a batch that would be
// refused shows no prompt.
//
// Each path goes with the object measured there, and the root side removes
// it only while that object is there ("Changed since the scan" otherwise); a
// target without one is never sent and fails ("Not measured by a scan").
PrivilegedRemoval removeAsRoot(const std::vector<Target>& targets);

// The hidden first argument with which the batch starts this executable as root.
inline constexpr std::string_view kPrivilegedRemovalSwitch = "--privileged-removal";

// The root side of the batch: the request is read from standard input, each
// path's outcome written to standard output, one line per path ("removed N",
// "gone N", "failed N <why>"). Each path line of the request follows the line
// naming the object measured there. Returns the exit status: 0 once the outcomes
// are written, 2 for a request that is not one.
int privilegedRemovalMain();

// The same on a request held in memory: the text written to standard output,
// and the exit status.
struct PrivilegedRemovalRun {
    std::string output;
    int status = 2;
};
PrivilegedRemovalRun runPrivilegedRemoval(std::string_view request);

// Whether the process may read the folders the system's privacy protection guards.
bool hasFullDiskAccess();

// Test seams. A runner replaces /bin/sh for run(): it receives the command
// line and mergeStderr and answers with a canned Result. A privileged backend
// replaces the authorization tool for runAsRoot(): it receives the path of the
// written script file and the prompt, and answers as the tool would.
using Runner = std::function<Result(const std::string& commandLine, bool mergeStderr)>;
using PrivilegedBackend =
    std::function<Result(const std::filesystem::path& script, const std::optional<std::string>& prompt)>;
void setRunnerForTesting(Runner runner);
void setPrivilegedBackendForTesting(PrivilegedBackend backend);
// The executable the batch starts as root, in place of the running one (a test
// program has no privileged entry of its own).
void setPrivilegedHelperForTesting(std::optional<std::filesystem::path> executable);
// Runs on the root side once its roots are pinned, before anything is
// removed: where a test changes the disk as someone could at that moment.
void setRootSideHookForTesting(std::function<void()> hook);

}  // namespace Admin
