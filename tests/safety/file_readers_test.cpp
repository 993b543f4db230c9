// Every file the system reads comes through one reader, which never waits on
// a FIFO or a device and never reads the program's own files through a link.
// A FIFO where a property list, a manifest, a rule file or one of the
// program's own files is expected would otherwise hang a scan for good (any
// program could so blind the adware check), and a link in place of the history
// would have cleanups appended to whatever it points at.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>
#include <string>

#include "cli/cli_commands.h"
#include "engine/clean_history.h"
#include "engine/fat_binary.h"
#include "engine/ignores.h"
#include "modules/protection/extensions.h"
#include "modules/protection/login_items.h"
#include "modules/protection/malware_rules.h"
#include "modules/protection/malware_scan.h"
#include "modules/system/schedule.h"
#include "modules/system/uninstaller.h"
#include "platform/file_facts.h"
#include "platform/file_text.h"
#include "platform/languages.h"
#include "platform/locations.h"
#include "platform/plist.h"
#include "support/recording_runner.h"
#include "support/test_env.h"

using namespace testing_support;
namespace fs = std::filesystem;

namespace {

void fifo(const fs::path& path) {
    makeFolders(path.parent_path());
    ASSERT_EQ(::mkfifo(path.c_str(), 0666), 0) << path;
}

// Runs each step in a child process that an alarm ends after a minute: a step
// that waits on a FIFO is named instead of hanging the suite.
std::string eachFinishes(const std::vector<std::pair<std::string, std::function<void()>>>& steps) {
    int fds[2];
    if (::pipe(fds) != 0) return "pipe failed";
    pid_t pid = ::fork();
    if (pid == 0) {
        ::close(fds[0]);
        ::alarm(60);
        for (const auto& [name, step] : steps) {
            std::string line = name + "\n";
            if (::write(fds[1], line.data(), line.size()) < 0) ::_exit(2);
            step();
        }
        ::_exit(0);
    }
    ::close(fds[1]);
    std::string started;
    char buf[256];
    ssize_t n;
    while ((n = ::read(fds[0], buf, sizeof buf)) > 0) started.append(buf, size_t(n));
    ::close(fds[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    if (WIFEXITED(status) && WEXITSTATUS(status) == 0) return "";
    std::string last = started.substr(0, started.empty() ? 0 : started.size() - 1);
    last = last.substr(last.rfind('\n') == std::string::npos ? 0 : last.rfind('\n') + 1);
    return "stopped in \"" + last + "\"" + (WIFSIGNALED(status) && WTERMSIG(status) == SIGALRM ? " (it hung)" : "");
}

}  // namespace

class FileReaders : public TestEnv {};

TEST_F(FileReaders, AFifoWhereAFileIsReadNeverHangsAnything) {
    const fs::path support = Locations::supportFolder();
    const fs::path appSupport = home() / "Library/Application Support";
    fifo(home() / "Library/LaunchAgents/com.evil.agent.plist");
    fifo(sys("/Library/LaunchAgents/com.evil.system.plist"));
    fifo(sys("/Library/LaunchDaemons/com.evil.daemon.plist"));
    fifo(sys("/Applications/Evil.app/Contents/Info.plist"));
    fifo(sys("/Applications/Evil.app/Contents/MacOS/Evil"));
    fifo(home() / "Applications/Mine.app/Contents/Info.plist");
    fifo(appSupport / "Google/Chrome/Default/Extensions/abcdefghijklmnopabcdefghijklmnop/1.0/manifest.json");
    fifo(appSupport / "Google/Chrome/Default/Preferences");
    fifo(appSupport / "Firefox/Profiles/x.default/prefs.js");
    fifo(home() / "Library/Preferences/.GlobalPreferences.plist");
    fifo(home() / "Library/Preferences/com.example.app.plist");
    fifo(support / "malware-rules.json");
    fifo(support / "history.jsonl");
    fifo(support / "ignore.txt");
    fifo(Schedule::plistURL());
    RecordingRunner runner;  // no launchctl, sfltool or system_profiler runs here

    auto token = std::make_shared<ScanToken>();
    const std::string failure = eachFinishes({
        {"the one reader", [] {
             if (FileText::read(Locations::supportFolder() / "history.jsonl")) ::_exit(3);
             if (Plist::readFile(Locations::home() / "Library/Preferences/.GlobalPreferences.plist")) ::_exit(3);
         }},
        {"the ignore list", [] { if (Ignores::unreadable() != std::optional<std::string>("it is not a regular file")) ::_exit(3); }},
        {"the history", [] {
             CleanupRecord record;
             record.timestamp = std::chrono::system_clock::now();
             record.source = "cli";
             CleanHistory::append(record);
             if (!CleanHistory::recent(50).empty()) ::_exit(3);
         }},
        {"the rule file", [] { if (MalwareRules::load(Locations::supportFolder() / "malware-rules.json")) ::_exit(3); }},
        {"the adware check", [] { MalwareScan::scan(ScanToken(), nullptr); }},
        {"startup items", [&] { LoginItems::scan(token, LoginItems::entries(token)); }},
        {"extensions", [&] { Extensions::scan(token, nullptr); }},
        {"installed applications", [&] { Uninstaller::installedApps(token, nullptr); }},
        {"a universal binary's header", [] {
             if (FatBinary::read(Locations::system("/Applications/Evil.app/Contents/MacOS/Evil"))) ::_exit(3);
         }},
        {"the daily job", [] { if (Schedule::installedHour()) ::_exit(3); }},
        {"preferred languages", [] { Languages::preferred(); }},
        {"every cleanable module, deep", [] {
             CLICommands::buildReport({ModuleID::systemJunk, ModuleID::privacy, ModuleID::trashBins,
                                       ModuleID::mailAttachments, ModuleID::photos, ModuleID::music},
                                      true, nullptr);
         }},
    });
    EXPECT_EQ(failure, "");
    // Nothing was written into a FIFO either: it still is one.
    struct stat st{};
    ASSERT_EQ(::lstat((support / "history.jsonl").c_str(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode));
}

TEST_F(FileReaders, TheProgramsOwnFilesAreNeverReadOrWrittenThroughALink) {
    const fs::path support = Locations::supportFolder();
    const fs::path elsewhere = tmp() / "elsewhere";
    writeFile(elsewhere / "notes.txt", "someone's notes\n");
    writeFile(elsewhere / "list.txt", "/Users/me/Keep\n");
    makeFolders(support);
    makeSymlink(elsewhere / "notes.txt", support / "history.jsonl");
    makeSymlink(elsewhere / "list.txt", support / "ignore.txt");

    CleanupRecord record;
    record.timestamp = std::chrono::system_clock::now();
    record.source = "cli";
    CleanHistory::append(record);
    EXPECT_EQ(readFile(elsewhere / "notes.txt"), "someone's notes\n");
    EXPECT_TRUE(CleanHistory::recent(50).empty());
    EXPECT_TRUE(fs::is_symlink(support / "history.jsonl"));

    // A list read through a link could be anyone's: it fails closed instead.
    EXPECT_EQ(Ignores::unreadable(), std::optional<std::string>("a symbolic link stands in its place"));
    EXPECT_EQ(Ignores::add("/Users/me/New"), Ignores::Edit::unreadable);
    EXPECT_EQ(readFile(elsewhere / "list.txt"), "/Users/me/Keep\n");
}
