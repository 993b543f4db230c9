#include "modules/system/maintenance.h"

#include <string_view>
#include <system_error>

#include "engine/admin.h"
#include "platform/locations.h"
#include "platform/unicode.h"
#include "platform/user.h"
#include "platform/decimal.h"

namespace fs = std::filesystem;

namespace {

// The first blank-separated word of a command, as the shell would see it for
// a plain command line; empty when there is none.
std::string firstWord(std::string_view command) {
    const std::string trimmed = Unicode::trimmedSpaces(command);
    return trimmed.substr(0, trimmed.find(' '));
}

// Reports the truth through its exit status: Mail still running is a failure
// the user must act on, while a Mac without a Mail index has nothing to do.
// Every index is compacted even when one of them fails.
constexpr const char* kMailScript =
    "if /usr/bin/pgrep -x Mail > /dev/null; then\n"
    "  echo \"Mail is running — quit it and try again.\"; exit 1\n"
    "fi\n"
    "failed=0\n"
    "for db in \"$HOME\"/Library/Mail/V*/MailData/Envelope\\ Index; do\n"
    "  [ -f \"$db\" ] || continue\n"
    "  /usr/bin/sqlite3 \"$db\" 'VACUUM;' || failed=1\n"
    "done\n"
    "exit $failed";

MaintenanceTask task(std::string id, std::string title, bool admin, bool routine, std::string command,
                     std::string detail, std::string recommendation) {
    MaintenanceTask t;
    t.id = std::move(id);
    t.title = std::move(title);
    t.detail = std::move(detail);
    t.recommendation = std::move(recommendation);
    t.command = std::move(command);
    t.requiresAdmin = admin;
    t.isRoutine = routine;
    return t;
}

}  // namespace

std::optional<std::string> MaintenanceTask::unavailable() const {
    const std::string program = requiresPath ? *requiresPath : firstWord(command);
    // Shell keywords and bare program names are not looked up.
    if (program.empty() || program.front() != '/') return std::nullopt;
    std::error_code ec;
    if (fs::exists(Locations::system(program), ec)) return std::nullopt;
    if (unavailableReason) return *unavailableReason;
    return "Not available on this version of macOS.";
}

namespace Maintenance {

std::vector<MaintenanceTask> catalog() {
    std::vector<MaintenanceTask> tasks;
    tasks.reserve(12);

    MaintenanceTask periodic =
        task("periodic", "Run Maintenance Scripts", true, true, "/usr/sbin/periodic daily weekly monthly",
             "Log rotation, temporary file cleanup and other chores macOS normally schedules for the middle of the "
             "night.",
             "Useful and lightweight. Run it whenever your Mac has been asleep at night for a while.");
    periodic.requiresPath = "/usr/sbin/periodic";
    periodic.unavailableReason =
        "Apple removed the periodic scripts in macOS 26, so this task has nothing to run on this Mac.";
    tasks.push_back(std::move(periodic));

    tasks.push_back(task("dns", "Flush DNS Cache", true, false,
                         "/usr/bin/dscacheutil -flushcache; /usr/bin/killall -HUP mDNSResponder",
                         "macOS keeps a local cache of resolved domain names. Clearing it removes stale entries.",
                         "Worth running if you cannot reach some sites or your network slows down randomly."));
    tasks.push_back(task("quicklook", "Refresh Quick Look", false, false,
                         "/usr/bin/qlmanage -r; /usr/bin/qlmanage -r cache",
                         "Rebuilds the thumbnail and preview generator caches.",
                         "Run it when Finder previews or icons look wrong."));
    tasks.push_back(task("launchservices", "Rebuild Launch Services", false, false,
                         "/System/Library/Frameworks/CoreServices.framework/Frameworks/LaunchServices.framework/"
                         "Support/lsregister -kill -r -domain local -domain system -domain user",
                         "Rebuilds the database that maps file types to applications.",
                         "Fixes files opening in the wrong app and wrong document icons."));
    tasks.push_back(task("spotlight", "Reindex Spotlight", true, false, "/usr/bin/mdutil -E /",
                         "Turns the search index off and on so macOS rebuilds it from scratch.",
                         "Use very occasionally — rebuilding takes a while and the Mac is slower meanwhile."));
    tasks.push_back(task("snapshots", "Thin Time Machine Snapshots", true, true,
                         "/usr/bin/tmutil thinlocalsnapshots / 10000000000 4",
                         "Asks Time Machine to release local snapshot space it no longer needs.",
                         "Safe and useful when backups have been holding on to a lot of disk."));
    tasks.push_back(task("purge", "Free Up RAM", true, false, "/usr/sbin/purge",
                         "Flushes inactive memory so it is available to the apps you are using now.",
                         "Handy before opening something heavy."));
    tasks.push_back(task("verify", "Verify Startup Disk", true, false, "/usr/sbin/diskutil verifyVolume /",
                         "Checks the filesystem for errors and reports what it finds.",
                         "Occasional use keeps you confident your data is intact."));
    tasks.push_back(task("purgeable", "Free Up Purgeable Space", true, true,
                         "/usr/bin/tmutil thinlocalsnapshots / 100000000000 4; /usr/sbin/purge",
                         "Asks macOS to release space it is holding as purgeable, including Time Machine's local "
                         "snapshots.",
                         "Worth running when Finder reports far less free space than you expect. It can take a "
                         "while."));
    tasks.push_back(task("mail", "Speed Up Mail", false, false, kMailScript,
                         "Rebuilds the envelope index Apple Mail uses for search and the message list.",
                         "Use if Mail search is slow or mailboxes behave oddly. Quit Mail first — the index is in "
                         "use while it runs."));
    // The command runs in a root shell, where "id -u" would name root: the
    // logged-in user's id goes in before the command is elevated.
    tasks.push_back(task("permissions", "Repair Disk Permissions", true, false,
                         "/usr/sbin/diskutil resetUserPermissions / " + Admin::quote(Decimal::text(User::uid())),
                         "Resets the access control lists on your home folder and its contents.",
                         "Use when apps cannot move or delete files they should be able to."));
    tasks.push_back(task("repair-volume", "Verify and Repair Startup Disk", true, false,
                         "/usr/sbin/diskutil repairVolume /",
                         "Checks the filesystem and repairs it in place if anything is wrong.",
                         "Occasional use. Repair runs automatically only if verification finds a problem."));
    return tasks;
}

}  // namespace Maintenance
