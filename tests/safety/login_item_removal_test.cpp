// Removing a startup item deletes its property list: the ignore list, the
// protected system locations and links hold on that road too, checked before
// anything runs.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdlib>

#include "engine/admin.h"
#include "engine/ignores.h"
#include "modules/protection/login_items.h"
#include "platform/user.h"
#include "safety/removal_safety.h"

using namespace testing_support;
using Scope = LoginEntry::Scope;

namespace {

// launchctl never runs in a test: every command line is recorded and answered
// as done. A privileged batch runs with a plain shell (started here, since
// the recording runner stands in for Admin::run) in the test's folder.
struct StartupCommands {
    std::shared_ptr<std::vector<std::string>> commands = std::make_shared<std::vector<std::string>>();
    std::shared_ptr<std::vector<std::string>> rootScripts = std::make_shared<std::vector<std::string>>();

    // The shell starts in workingFolder when one is given, else in the process's working folder.
    void install(const std::filesystem::path& workingFolder = {}) const {
        Admin::setRunnerForTesting([commands = commands](const std::string& commandLine, bool) {
            commands->push_back(commandLine);
            Admin::Result r;
            r.ok = true;
            r.exitStatus = 0;
            return r;
        });
        Admin::setPrivilegedBackendForTesting([rootScripts = rootScripts, workingFolder](
                                                  const std::filesystem::path& script, const std::optional<std::string>&) {
            std::string text = readFile(script);
            rootScripts->push_back(text);
            Admin::Result r;
            if (text.find("launchctl") != std::string::npos) {
                r.ok = true;  // answered, never run
                return r;
            }
            std::string cd = workingFolder.empty() ? "" : "cd " + Admin::quote(workingFolder.native()) + " && ";
            int status = std::system((cd + "/bin/sh " + Admin::quote(script.native()) + " >/dev/null").c_str());
            r.ok = status == 0;
            r.output = "done\n";
            r.exitStatus = status == 0 ? 0 : 1;
            return r;
        });
    }
};

LoginEntry entryFor(Scope scope, const ScanItem& item) {
    LoginEntry e;
    e.scope = scope;
    e.name = item.name.empty() ? "com.vendor.job" : item.name;
    e.id = std::string(LoginEntry::rawValue(scope)) + ":" + e.name;
    e.plistURL = item.url;
    e.plistMeasured = item.measured;
    return e;
}

RemovalRoad startupRoad(const char* name, Scope scope) {
    return RemovalRoad{name, [scope](const std::vector<ScanItem>& items) {
                           StartupCommands commands;
                           commands.install();
                           betweenScanAndRemoval();
                           for (const auto& item : items) LoginItems::remove(entryFor(scope, item));
                       }};
}

}  // namespace

INSTANTIATE_TEST_SUITE_P(StartupItems, EveryRoad,
                         testing::Values(startupRoad("userAgent", Scope::userAgent),
                                         startupRoad("systemDaemon", Scope::systemDaemon)),
                         roadName);

class LoginItemRemovalSafety : public RemovalSafety {
protected:
    void SetUp() override {
        RemovalSafety::SetUp();
        User::setUidForTesting(501);
        commands.install(tmp());
    }

    static LoginEntry entry(Scope scope, const std::filesystem::path& plist) {
        ScanItem i = item(plist);
        i.name = "com.vendor.job";
        return entryFor(scope, i);
    }

    StartupCommands commands;
};

TEST_F(LoginItemRemovalSafety, RefusalsComeBeforeAnyCommandAndNameTheirReason) {
    const auto userPlist = home() / "Library/LaunchAgents/com.vendor.job.plist";
    const auto daemonPlist = sys("/Library/LaunchDaemons/com.vendor.job.plist");
    writeFile(userPlist, "<plist/>");
    writeFile(daemonPlist, "<plist/>");
    ASSERT_EQ(Ignores::add((home() / "Library/LaunchAgents").string()), Ignores::Edit::changed);
    ASSERT_EQ(Ignores::add(daemonPlist.string()), Ignores::Edit::changed);
    const auto systemPlist = sys("/System/Library/LaunchDaemons/com.apple.job.plist");
    writeFile(systemPlist, "<plist/>");

    struct Case {
        Scope scope;
        std::filesystem::path plist;
        const char* message;
    } cases[] = {
        {Scope::userAgent, userPlist, "On the ignore list"},
        {Scope::systemDaemon, daemonPlist, "On the ignore list"},
        {Scope::systemDaemon, systemPlist, "Protected item"},
        {Scope::userAgent, systemPlist, "Protected item"},
        {Scope::systemAgent, protectedPath, "Protected item"},
    };
    for (const auto& c : cases) {
        auto outcome = LoginItems::remove(entry(c.scope, c.plist));
        EXPECT_FALSE(outcome.isSuccess()) << c.plist;
        EXPECT_EQ(outcome.message, c.message) << c.plist;
        EXPECT_TRUE(std::filesystem::exists(c.plist)) << c.plist;
    }
    // Not even switched off: a refused removal leaves the entry as it was.
    EXPECT_TRUE(commands.commands->empty());
    EXPECT_TRUE(commands.rootScripts->empty());
    EXPECT_FALSE(std::filesystem::exists(home() / ".Trash/com.vendor.job.plist"));
}

// An ignore list that is there but cannot be read may protect any entry: the
// removal is refused before the job is switched off, for a user agent and a
// system daemon alike.
TEST_F(LoginItemRemovalSafety, AnUnreadableIgnoreListRefusesBeforeAnyCommand) {
    const auto userPlist = home() / "Library/LaunchAgents/com.vendor.job.plist";
    const auto daemonPlist = sys("/Library/LaunchDaemons/com.vendor.job.plist");
    writeFile(userPlist, "<plist/>");
    writeFile(daemonPlist, "<plist/>");
    std::filesystem::remove(Ignores::fileURL());
    ASSERT_EQ(::mkfifo(Ignores::fileURL().c_str(), 0644), 0);
    Ignores::resetCache();
    for (const auto& [scope, plist] : {std::pair{Scope::userAgent, userPlist}, std::pair{Scope::systemDaemon, daemonPlist}}) {
        auto outcome = LoginItems::remove(entry(scope, plist));
        EXPECT_FALSE(outcome.isSuccess()) << plist;
        EXPECT_EQ(outcome.message, "The ignore list cannot be read") << plist;
        EXPECT_TRUE(std::filesystem::exists(plist)) << plist;
    }
    EXPECT_TRUE(commands.commands->empty());
    EXPECT_TRUE(commands.rootScripts->empty());
}

// The property list was replaced since the listing (another job's file now
// sits at its path): nothing is switched off, nothing is removed.
TEST_F(LoginItemRemovalSafety, AFileReplacedSinceTheListingRunsNothingAndStays) {
    const auto userPlist = home() / "Library/LaunchAgents/com.vendor.job.plist";
    const auto daemonPlist = sys("/Library/LaunchDaemons/com.vendor.job.plist");
    for (const auto& [scope, plist] : {std::pair{Scope::userAgent, userPlist}, std::pair{Scope::systemDaemon, daemonPlist}}) {
        writeFile(plist, "<plist/>");
        const LoginEntry listed = entry(scope, plist);
        std::filesystem::remove(plist);
        writeFile(plist, "<plist>another job</plist>");
        auto outcome = LoginItems::remove(listed);
        EXPECT_EQ(outcome.message, "Changed since the scan") << plist;
        EXPECT_EQ(readFile(plist), "<plist>another job</plist>");
    }
    EXPECT_TRUE(commands.commands->empty());
    EXPECT_TRUE(commands.rootScripts->empty());
}
