#include <gtest/gtest.h>

#include "engine/admin.h"
#include "engine/ignores.h"
#include "modules/protection/login_items.h"
#include "platform/user.h"
#include "support/test_env.h"

using testing_support::makeSymlink;
using testing_support::readFile;
using testing_support::writeFile;
using Scope = LoginEntry::Scope;

// Removing a startup item deletes its property list: the ignore list and the
// protected system locations hold on that road too, checked before anything runs.
class LoginItemRemovalSafety : public TestEnv {
protected:
    void SetUp() override {
        TestEnv::SetUp();
        User::setUidForTesting(501);
        Admin::setRunnerForTesting([this](const std::string& commandLine, bool) {
            commands.push_back(commandLine);
            Admin::Result r;
            r.ok = true;
            r.exitStatus = 0;
            return r;
        });
        Admin::setPrivilegedBackendForTesting(
            [this](const std::filesystem::path& script, const std::optional<std::string>&) {
                rootScripts.push_back(readFile(script));
                Admin::Result r;  // nothing is run as root here
                r.ok = true;
                r.output = "ok\n";
                r.exitStatus = 0;
                return r;
            });
    }
    void TearDown() override {
        Admin::setRunnerForTesting(nullptr);
        Admin::setPrivilegedBackendForTesting(nullptr);
        TestEnv::TearDown();
    }

    static LoginEntry entry(Scope scope, const std::filesystem::path& plist) {
        LoginEntry e;
        e.scope = scope;
        e.name = "com.vendor.job";
        e.id = std::string(LoginEntry::rawValue(scope)) + ":" + e.name;
        e.plistURL = plist;
        return e;
    }

    std::vector<std::string> commands;
    std::vector<std::string> rootScripts;
};

TEST_F(LoginItemRemovalSafety, IgnoredPropertyListsAreNeverTouched) {
    const auto userPlist = home() / "Library/LaunchAgents/com.vendor.job.plist";
    const auto daemonPlist = sys("/Library/LaunchDaemons/com.vendor.job.plist");
    writeFile(userPlist, "<plist/>");
    writeFile(daemonPlist, "<plist/>");
    ASSERT_EQ(Ignores::add((home() / "Library/LaunchAgents").string()), Ignores::Edit::changed);
    ASSERT_EQ(Ignores::add(daemonPlist.string()), Ignores::Edit::changed);

    const std::pair<Scope, std::filesystem::path> cases[] = {{Scope::userAgent, userPlist},
                                                            {Scope::systemDaemon, daemonPlist}};
    for (const auto& [scope, plist] : cases) {
        auto outcome = LoginItems::remove(entry(scope, plist));
        EXPECT_FALSE(outcome.isSuccess()) << plist;
        EXPECT_EQ(outcome.message, "On the ignore list");
        EXPECT_TRUE(std::filesystem::exists(plist)) << plist;
    }
    EXPECT_TRUE(commands.empty());
    EXPECT_TRUE(rootScripts.empty());
    EXPECT_FALSE(std::filesystem::exists(home() / ".Trash/com.vendor.job.plist"));
}

TEST_F(LoginItemRemovalSafety, ProtectedSystemLocationsAreNeverTouched) {
    for (const char* where : {"/System/Library/LaunchDaemons/com.apple.job.plist", "/Library/Apple/System/job.plist",
                              "/usr/share/job.plist"}) {
        const auto plist = sys(where);
        writeFile(plist, "<plist/>");
        for (auto scope : {Scope::systemDaemon, Scope::systemAgent, Scope::userAgent}) {
            auto outcome = LoginItems::remove(entry(scope, plist));
            EXPECT_FALSE(outcome.isSuccess()) << where;
            EXPECT_EQ(outcome.message, "Protected item");
            EXPECT_TRUE(std::filesystem::exists(plist)) << where;
        }
    }
    EXPECT_TRUE(commands.empty());
    EXPECT_TRUE(rootScripts.empty());
}

TEST_F(LoginItemRemovalSafety, ALinkedPropertyListIsRemovedAsALink) {
    const auto target = tmp() / "elsewhere/com.vendor.job.plist";
    writeFile(target, "<plist/>");
    const auto link = home() / "Library/LaunchAgents/com.vendor.job.plist";
    makeSymlink(target, link);
    auto outcome = LoginItems::remove(entry(Scope::userAgent, link));
    EXPECT_TRUE(outcome.isSuccess()) << outcome.message;
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(link)));
    EXPECT_EQ(readFile(target), "<plist/>");
}
