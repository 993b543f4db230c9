#pragma once
// The daily cleanup job: a per-user LaunchAgent that runs this executable as
// `clean --apply --json --modules <list>` once a day. The hour and the module
// list live only in the job's property list. The command line's `schedule`
// verb and the window's state both drive it from here.
#include <array>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "engine/module_id.h"
#include "platform/plist.h"

namespace Schedule {

inline constexpr const char* label = "com.vessiltane.daily";

// The modules the command line cleans by default and the daily job chooses from.
inline constexpr std::array<ModuleID, 6> cleanableModules = {ModuleID::systemJunk, ModuleID::trashBins,
                                                             ModuleID::mailAttachments, ModuleID::privacy,
                                                             ModuleID::photos, ModuleID::music};

class InstallError : public std::runtime_error {
public:
    enum class Kind { writeFailed, loadFailed };
    InstallError(Kind kind, const std::string& detail);
    Kind kind() const { return kind_; }
    const std::string& detail() const { return detail_; }
    // What failed, without the detail: "Could not write the job", ...
    static std::string headline(Kind kind);

private:
    Kind kind_;
    std::string detail_;
};

// ~/Library/LaunchAgents/com.vessiltane.daily.plist
std::filesystem::path plistURL();
// ~/Library/Logs/Vessiltane
std::filesystem::path logFolder();

// The running executable's path; the first process argument when the system
// does not say.
std::string executablePath();

// The job dictionary: label, arguments, calendar interval (hour clamped to
// 0...23, minute 0), log paths, not run at load.
Plist::Value makePlist(long long hour, const std::vector<ModuleID>& modules, const std::string& executable);

// Writes the job file and loads it with launchctl. Throws InstallError.
void install(long long hour, const std::vector<ModuleID>& modules);

// Unloads the job and deletes its file; best effort, reports nothing.
void uninstall();

// The installed job's hour; nothing when there is no readable job.
std::optional<long long> installedHour();

// The module names of a job dictionary (after the first "--modules").
std::vector<std::string> modules(const Plist::Value& job);

// Whether anything is at the job's path (a link to nowhere counts: it is there,
// and launchd would read it).
bool isInstalled();

// The job as it is on disk, read back without changing anything.
struct InstalledJob {
    bool present = false;            // isInstalled()
    std::optional<long long> hour;   // installedHour()
    std::vector<std::string> moduleNames;  // modules() of a readable job dictionary, else none
};
InstalledJob read();

}  // namespace Schedule
