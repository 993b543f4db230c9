#include <gtest/gtest.h>

#include <cstdlib>
#include <map>

#include "engine/admin.h"
#include "engine/ignores.h"
#include "modules/protection/login_items.h"
#include "platform/plist.h"
#include "platform/user.h"
#include "support/test_env.h"

using testing_support::readFile;
using testing_support::writeFile;
using Scope = LoginEntry::Scope;
namespace fs = std::filesystem;
using LoginItems::ActionOutcome;

namespace {

struct Call {
    std::string commandLine;
    bool mergeStderr;
    bool operator==(const Call&) const = default;
};

std::ostream& operator<<(std::ostream& os, const Call& c) {
    return os << "{" << c.commandLine << ", " << (c.mergeStderr ? "merged" : "stdout") << "}";
}

Admin::Result answer(bool ok, std::string output = {}) {
    Admin::Result r;
    r.ok = ok;
    r.output = std::move(output);
    r.exitStatus = ok ? 0 : 1;
    return r;
}

Admin::Result missingTool() {
    Admin::Result r;
    r.output = "sh: 1: /bin/launchctl: not found\n";
    r.exitStatus = 127;
    return r;
}

std::string plistText(std::map<std::string, Plist::Value> entries) {
    return Plist::toXml(Plist::Value::makeDict(std::move(entries)));
}

Plist::Value str(std::string s) { return Plist::Value::makeString(std::move(s)); }

}  // namespace

namespace LoginItems {
void PrintTo(const ActionOutcome& o, std::ostream* os) {
    *os << (o.isSuccess() ? "success(" : "failure(") << o.message << ")";
}
}  // namespace LoginItems

// Answers commands from a table (anything else as a missing tool) and records
// every command line, so the tests see exactly what would reach the shell.
class LoginItemsTest : public TestEnv {
protected:
    void SetUp() override {
        TestEnv::SetUp();
        User::setUidForTesting(501);
        Admin::setRunnerForTesting([this](const std::string& commandLine, bool merge) {
            calls.push_back({commandLine, merge});
            auto it = answers.find(commandLine);
            return it == answers.end() ? missingTool() : it->second;
        });
        Admin::setPrivilegedBackendForTesting(
            [this](const std::filesystem::path& script, const std::optional<std::string>& prompt) {
                rootScripts.push_back(readFile(script));
                rootPrompts.push_back(prompt);
                return rootAnswer(script);
            });
    }
    void TearDown() override {
        Admin::setRunnerForTesting(nullptr);
        Admin::setPrivilegedBackendForTesting(nullptr);
        TestEnv::TearDown();
    }

    std::filesystem::path userAgents() const { return home() / "Library/LaunchAgents"; }

    LoginEntry launchdEntry(Scope scope, std::string label, std::filesystem::path plist) const {
        LoginEntry e;
        e.scope = scope;
        e.name = label;
        e.id = std::string(LoginEntry::rawValue(scope)) + ":" + label;
        e.plistMeasured = measureObject(plist);  // as the listing read it
        e.plistURL = std::move(plist);
        return e;
    }

    std::map<std::string, Admin::Result> answers;
    std::vector<Call> calls;
    std::vector<std::string> rootScripts;
    std::vector<std::optional<std::string>> rootPrompts;
    // The privileged tool agrees without running anything.
    std::function<Admin::Result(const std::filesystem::path&)> rootAnswer = [](const std::filesystem::path&) {
        return answer(true);
    };
    // Runs a removal batch with a plain shell, as the authorization tool would
    // once the user agreed (the recording runner stands in for Admin::run, so
    // the shell is started here); every path in it lies in the test's folder.
    static Admin::Result runRemovalBatch(const std::filesystem::path& script) {
        EXPECT_EQ(readFile(script).find("launchctl"), std::string::npos) << "only removal batches run for real";
        int status = std::system(("/bin/sh " + Admin::quote(script.string()) + " >/dev/null").c_str());
        return answer(status == 0, status == 0 ? "ok\n" : "failed\n");
    }
};

TEST(LoginEntryModel, ScopesAndStatusLabels) {
    EXPECT_EQ(LoginEntry::rawValue(Scope::loginItem), "Login Item");
    EXPECT_EQ(LoginEntry::rawValue(Scope::systemDaemon), "System Launch Daemon");
    EXPECT_EQ(LoginEntry::scopeFromRawValue("System Launch Agent"), Scope::systemAgent);
    EXPECT_EQ(LoginEntry::scopeFromRawValue("User Launch Agent"), Scope::userAgent);
    EXPECT_EQ(LoginEntry::scopeFromRawValue("user launch agent"), std::nullopt);
    EXPECT_FALSE(LoginEntry::needsAdmin(Scope::userAgent));
    EXPECT_TRUE(LoginEntry::needsAdmin(Scope::systemAgent));

    struct Case {
        Scope scope;
        bool loaded, disabled;
        const char* label;
    } cases[] = {
        {Scope::userAgent, true, true, "disabled"},   {Scope::loginItem, true, true, "disabled"},
        {Scope::loginItem, false, false, "enabled"},  {Scope::systemDaemon, true, false, "loaded"},
        {Scope::systemAgent, false, false, "idle"},
    };
    for (const auto& c : cases) {
        LoginEntry e;
        e.scope = c.scope;
        e.isLoaded = c.loaded;
        e.isDisabled = c.disabled;
        EXPECT_EQ(e.statusLabel(), c.label);
    }
}

TEST_F(LoginItemsTest, LaunchdFoldersWithLoadedAndDisabledStates) {
    // The program as the system names it, present under the test root.
    const std::string syncTool = "/usr/local/bin/sync-tool";
    writeFile(sys(syncTool), "#!/bin/sh\n");
    writeFile(userAgents() / "com.example.sync.plist",
              plistText({{"Label", str("com.example.sync")}, {"Program", str(syncTool)}}));
    // No label: listed under its file name; its program is gone.
    writeFile(userAgents() / "nolabel.plist",
              plistText({{"ProgramArguments", Plist::Value::makeArray({str("/nonexistent/bin/x"), str("--flag")})}}));
    // Skipped: not a property list, an upper-case extension, a broken file, an array at the top.
    writeFile(userAgents() / "notes.txt", "x");
    writeFile(userAgents() / "Upper.PLIST", plistText({{"Label", str("upper")}}));
    writeFile(userAgents() / "broken.plist", "<plist><dict>");
    writeFile(userAgents() / "array.plist", Plist::toXml(Plist::Value::makeArray({str("a")})));
    // "Program" that is no string falls back to "ProgramArguments".
    writeFile(sys("/Library/LaunchAgents/com.vendor.Agent.plist"),
              plistText({{"Label", str("com.vendor.Agent")},
                         {"Program", Plist::Value::makeInteger(3)},
                         {"ProgramArguments", Plist::Value::makeArray({str(syncTool)})}}));
    // An empty argument list and a list holding a number give no program.
    writeFile(sys("/Library/LaunchDaemons/com.vendor.daemon.plist"),
              plistText({{"Label", str("com.vendor.daemon")}, {"ProgramArguments", Plist::Value::makeArray({})}}));
    writeFile(sys("/Library/LaunchDaemons/com.vendor.mixed.plist"),
              plistText({{"Label", str("com.vendor.mixed")},
                         {"ProgramArguments", Plist::Value::makeArray({Plist::Value::makeInteger(1)})}}));

    answers[systemTool("/bin/launchctl") + " list"] = answer(true,
                                            "PID\tStatus\tLabel\n"
                                            "-\t0\tcom.example.sync\n"
                                            "312\t0\tcom.vendor.daemon  \n"
                                            "\n"
                                            "lonely.label\n");
    answers[systemTool("/bin/launchctl") + " print-disabled 'gui/501'"] = answer(true,
                                                               "disabled services = {\n"
                                                               "\t\"com.vendor.Agent\" => disabled\n"
                                                               "\t\"com.example.sync\" => enabled\n"
                                                               "}\n"
                                                               "login item associations = {\n"
                                                               "}\n");

    auto entries = LoginItems::launchdEntries();
    EXPECT_EQ(calls, (std::vector<Call>{{systemTool("/bin/launchctl") + " list", true},
                                        {systemTool("/bin/launchctl") + " print-disabled 'gui/501'", true}}));

    std::vector<std::string> names;
    for (const auto& e : entries) names.push_back(e.name);
    // Case-insensitive order across the three folders.
    EXPECT_EQ(names, (std::vector<std::string>{"com.example.sync", "com.vendor.Agent", "com.vendor.daemon",
                                               "com.vendor.mixed", "nolabel"}));

    const auto& sync = entries[0];
    EXPECT_EQ(sync.id, "User Launch Agent:com.example.sync");
    EXPECT_EQ(sync.scope, Scope::userAgent);
    EXPECT_EQ(sync.plistURL, userAgents() / "com.example.sync.plist");
    EXPECT_EQ(sync.program, syncTool);
    EXPECT_TRUE(sync.programExists);
    EXPECT_TRUE(sync.isLoaded);
    EXPECT_FALSE(sync.isDisabled);

    const auto& agent = entries[1];
    EXPECT_EQ(agent.id, "System Launch Agent:com.vendor.Agent");
    EXPECT_EQ(agent.program, syncTool);
    EXPECT_FALSE(agent.isLoaded);
    EXPECT_TRUE(agent.isDisabled);
    EXPECT_EQ(agent.statusLabel(), "disabled");

    const auto& daemon = entries[2];
    EXPECT_EQ(daemon.scope, Scope::systemDaemon);
    EXPECT_EQ(daemon.program, std::nullopt);
    EXPECT_TRUE(daemon.programExists);
    EXPECT_TRUE(daemon.isLoaded);  // the listing's trailing spaces are trimmed
    EXPECT_EQ(entries[3].program, std::nullopt);

    const auto& nolabel = entries[4];
    EXPECT_EQ(nolabel.id, "User Launch Agent:nolabel");
    EXPECT_EQ(nolabel.program, "/nonexistent/bin/x");
    EXPECT_FALSE(nolabel.programExists);

    // The report holds only the entry whose program is gone.
    auto report = LoginItems::scan(nullptr, entries);
    ASSERT_EQ(report.categories.size(), 1u);
    const auto& cat = report.categories[0];
    EXPECT_EQ(cat.id, "broken-login-items");
    EXPECT_EQ(cat.title, "Broken Login Items");
    EXPECT_EQ(cat.detail, "Startup entries whose program no longer exists.");
    ASSERT_EQ(cat.items.size(), 1u);
    EXPECT_EQ(cat.items[0].name, "nolabel");
    EXPECT_EQ(cat.items[0].url, userAgents() / "nolabel.plist");
    EXPECT_EQ(cat.items[0].detail, "User Launch Agent \u00B7 Program is missing");
    EXPECT_EQ(cat.items[0].safety, Safety::review);
    EXPECT_FALSE(cat.items[0].isSelected);
    EXPECT_GT(cat.items[0].size, 0);
}

TEST_F(LoginItemsTest, MissingToolsLeaveStatesEmpty) {
    writeFile(userAgents() / "com.example.sync.plist", plistText({{"Label", str("com.example.sync")}}));
    // Every command answers as a missing program (exit 127).
    auto entries = LoginItems::entries(std::make_shared<ScanToken>());
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_FALSE(entries[0].isLoaded);
    EXPECT_FALSE(entries[0].isDisabled);
    EXPECT_EQ(entries[0].statusLabel(), "idle");
    EXPECT_EQ(calls.back(), (Call{systemTool("/usr/bin/sfltool") + " dumpbtm", false}));
    EXPECT_TRUE(LoginItems::scan(nullptr, entries).categories.empty());

    // A cancelled token runs nothing at all.
    calls.clear();
    auto token = std::make_shared<ScanToken>();
    token->cancel();
    EXPECT_TRUE(LoginItems::entries(token).empty());
    EXPECT_TRUE(calls.empty());
}

namespace {

const char* kDump =
    "========================\n"
    " Records for UID 0 : 00000000-0000-0000-0000-000000000000\n"
    "========================\n"
    " #1:\n"
    "                 UUID: root-record\n"
    "                 Name: Root Helper\n"
    "                 Type: app (0x2)\n"
    "\n"
    "========================\n"
    " Records for UID 501 : 6C0F4E9A-0000-0000-0000-000000000501\n"
    "========================\n"
    " ServiceManagement migrated: true\n"
    " Items:\n"
    "\n"
    " #1:\n"
    "                 UUID: 1C5E-AAAA\n"
    "                 Name: Zebra Notes\n"
    "       Developer Name: Zebra Ltd\n"
    "                 Type: app (0x2)\n"
    "          Disposition: [enabled, allowed, visible, notified] (0xb)\n"
    "                  URL: file:///Applications/Zebra%20Notes.app/\n"
    " #2:\n"
    "                 UUID: 2D6F-BBBB\n"
    "                 Name: Helper Tool\n"
    "                 Type: login item (0x4)\n"
    "          Disposition: [disabled, allowed, visible, notified] (0xa)\n"
    "      Executable Path: /nonexistent/Helper Tool\n"
    "                  URL: file:///Applications/Other.app/\n"
    " #3:\n"
    "                 UUID: 3E70-CCCC\n"
    "                 Name: Some Developer\n"
    "                 Type: developer (0x20)\n"
    " #4:\n"
    "                 Type: app (0x2)\n"
    "                  URL: https://example.com/app\n"
    "#5 is not a header\n"
    " #6:\n"
    "                 UUID: 4F81-DDDD\n"
    "                 Name: alpha sync\n"
    "                 Type: legacy app (0x2)\n"
    "                 Name: Alpha Sync\n"
    "========================\n"
    " Records for UID 502 : 0000\n"
    "========================\n"
    " #1:\n"
    "                 UUID: other-user\n"
    "                 Name: Other User App\n"
    "                 Type: app (0x2)\n";

}  // namespace

TEST_F(LoginItemsTest, BackgroundTaskDumpForOneUser) {
    auto items = LoginItems::parseBTM(kDump, 501);
    std::vector<std::string> names, ids;
    for (const auto& e : items) {
        names.push_back(e.name);
        ids.push_back(e.id);
        EXPECT_EQ(e.scope, Scope::loginItem);
        EXPECT_EQ(e.plistURL, std::nullopt);
    }
    EXPECT_EQ(names, (std::vector<std::string>{"Alpha Sync", "Helper Tool", "Unknown", "Zebra Notes"}));
    EXPECT_EQ(ids, (std::vector<std::string>{"loginItem:4F81-DDDD", "loginItem:2D6F-BBBB", "loginItem:Unknown",
                                             "loginItem:1C5E-AAAA"}));

    const auto& zebra = items[3];
    EXPECT_EQ(zebra.program, "/Applications/Zebra Notes.app");  // percent escapes decoded
    EXPECT_TRUE(zebra.isLoaded);
    EXPECT_FALSE(zebra.isDisabled);
    EXPECT_EQ(zebra.statusLabel(), "enabled");
    EXPECT_FALSE(zebra.programExists);

    const auto& helper = items[1];
    EXPECT_EQ(helper.program, "/nonexistent/Helper Tool");  // the executable path wins over the URL
    EXPECT_TRUE(helper.isDisabled);
    EXPECT_EQ(helper.statusLabel(), "disabled");

    const auto& unknown = items[2];
    EXPECT_EQ(unknown.program, std::nullopt);  // not a file URL
    EXPECT_TRUE(unknown.programExists);
    EXPECT_FALSE(unknown.isLoaded);

    // Root's section and the next user's are not read; a broken login item is never a report item.
    EXPECT_EQ(LoginItems::parseBTM(kDump, 0).size(), 1u);
    EXPECT_EQ(LoginItems::parseBTM(kDump, 502).size(), 1u);
    EXPECT_TRUE(LoginItems::parseBTM(kDump, 50).empty());
    EXPECT_TRUE(LoginItems::parseBTM("", 501).empty());
    EXPECT_TRUE(LoginItems::scan(nullptr, items).categories.empty());

    // entries() puts them after the launchd entries.
    writeFile(userAgents() / "zzz.plist", plistText({{"Label", str("zzz")}}));
    answers[systemTool("/usr/bin/sfltool") + " dumpbtm"] = answer(true, kDump);
    auto all = LoginItems::entries(nullptr);
    ASSERT_EQ(all.size(), 5u);
    EXPECT_EQ(all[0].name, "zzz");
    EXPECT_EQ(all[1].name, "Alpha Sync");
}

TEST_F(LoginItemsTest, AProgramURLIsDecodedExactlyAndLookedForWhereItReallyIs) {
    // A bundle whose name holds a line feed is a legal path: the program is
    // that path, byte for byte, and it exists; the same name with a carriage
    // return does not.
    fs::create_directories(sys("/Applications") / "Ze2\nbNrotes.app");
    struct Case {
        const char* url;
        std::optional<std::string> program;
        bool exists;
    } cases[] = {
        {"file:///Applications/Ze2%0abNrotes.app/", "/Applications/Ze2\nbNrotes.app", true},
        {"file:///Applications/Ze2%0DbNrotes.app/", "/Applications/Ze2\rbNrotes.app", false},
        {"file:///Applications/100%25.app/", "/Applications/100%.app", false},
        {"file:///Applications/a%00b.app/", std::nullopt, true},      // no path holds a NUL
        {"file:///Applications/a b.app/", std::nullopt, true},        // not escaped: not a URL
        {"file:///Applications/a%2.app/", std::nullopt, true},        // a broken escape
        {"file:///Applications/%C3%28.app/", std::nullopt, true},     // not UTF-8
    };
    for (const Case& c : cases) {
        const std::string dump = std::string(" Records for UID 501 : x\n #1:\n Name: N\n Type: app (0x2)\n URL: ") +
                                 c.url + "\n";
        const auto items = LoginItems::parseBTM(dump, 501);
        ASSERT_EQ(items.size(), 1u) << c.url;
        EXPECT_EQ(items[0].program, c.program) << c.url;
        EXPECT_EQ(items[0].programExists, c.exists) << c.url;
    }
}

TEST_F(LoginItemsTest, SwitchingCommandsAreQuotedExactly) {
    const std::string label = "it's a label";
    const auto plist = userAgents() / "it's a label.plist";
    writeFile(plist, plistText({{"Label", str(label)}}));
    const std::string quotedPlist = "'" + userAgents().string() + "/it'\\''s a label.plist'";

    answers[systemTool("/bin/launchctl") + " disable 'gui/501/it'\\''s a label'"] = answer(true);
    EXPECT_EQ(LoginItems::setEnabled(launchdEntry(Scope::userAgent, label, plist), false),
              ActionOutcome::success("Unloaded and disabled it's a label"));
    EXPECT_EQ(calls, (std::vector<Call>{{systemTool("/bin/launchctl") + " bootout 'gui/501/it'\\''s a label'", true},
                                        {systemTool("/bin/launchctl") + " disable 'gui/501/it'\\''s a label'", true}}));

    calls.clear();
    answers[systemTool("/bin/launchctl") + " bootstrap 'gui/501' " + quotedPlist] = answer(true);
    EXPECT_EQ(LoginItems::setEnabled(launchdEntry(Scope::userAgent, label, plist), true),
              ActionOutcome::success("Loaded it's a label"));
    EXPECT_EQ(calls, (std::vector<Call>{{systemTool("/bin/launchctl") + " enable 'gui/501/it'\\''s a label'", true},
                                        {systemTool("/bin/launchctl") + " bootstrap 'gui/501' " + quotedPlist, true}}));
    EXPECT_TRUE(rootScripts.empty());

    // A refusal carries launchctl's own words.
    calls.clear();
    answers[systemTool("/bin/launchctl") + " disable 'gui/501/it'\\''s a label'"] = answer(false, "Operation not permitted\n");
    EXPECT_EQ(LoginItems::setEnabled(launchdEntry(Scope::userAgent, label, plist), false),
              ActionOutcome::failure("Operation not permitted\n"));
}

TEST_F(LoginItemsTest, SystemScopes) {
    const auto daemonPlist = sys("/Library/LaunchDaemons/com.vendor.daemon.plist");
    writeFile(daemonPlist, plistText({{"Label", str("com.vendor.daemon")}}));
    auto daemon = launchdEntry(Scope::systemDaemon, "com.vendor.daemon", daemonPlist);

    // Turning a daemon on bootstraps it as root, in the system domain.
    EXPECT_EQ(LoginItems::setEnabled(daemon, true), ActionOutcome::success("Loaded com.vendor.daemon"));
    EXPECT_EQ(calls, (std::vector<Call>{{systemTool("/bin/launchctl") + " enable 'system/com.vendor.daemon'", true}}));
    ASSERT_EQ(rootScripts.size(), 1u);
    EXPECT_NE(rootScripts[0].find(systemTool("/bin/launchctl") + " bootstrap 'system' '" + daemonPlist.string() + "'"),
              std::string::npos)
        << rootScripts[0];
    EXPECT_EQ(rootPrompts[0], std::nullopt);

    // Turning off needs no prompt, and a system agent lives in the user's domain.
    calls.clear();
    rootScripts.clear();
    auto agent = launchdEntry(Scope::systemAgent, "com.vendor.Agent", sys("/Library/LaunchAgents/a.plist"));
    EXPECT_EQ(LoginItems::setEnabled(agent, false), ActionOutcome::failure(missingTool().output));
    EXPECT_EQ(calls, (std::vector<Call>{{systemTool("/bin/launchctl") + " bootout 'gui/501/com.vendor.Agent'", true},
                                        {systemTool("/bin/launchctl") + " disable 'gui/501/com.vendor.Agent'", true}}));
    EXPECT_TRUE(rootScripts.empty());

    // Removing a daemon: switched off, then its property list goes in one privileged batch.
    calls.clear();
    rootScripts.clear();
    rootAnswer = runRemovalBatch;
    EXPECT_EQ(LoginItems::remove(daemon), ActionOutcome::success("Removed com.vendor.daemon"));
    EXPECT_EQ(calls, (std::vector<Call>{{systemTool("/bin/launchctl") + " bootout 'system/com.vendor.daemon'", true},
                                        {systemTool("/bin/launchctl") + " disable 'system/com.vendor.daemon'", true}}));
    ASSERT_EQ(rootScripts.size(), 1u);
    EXPECT_NE(rootScripts[0].find("\npath " + daemonPlist.string() + "\n"), std::string::npos) << rootScripts[0];
    EXPECT_FALSE(std::filesystem::exists(daemonPlist));

    // A dismissed prompt.
    Admin::setPrivilegedBackendForTesting([](const std::filesystem::path&, const std::optional<std::string>&) {
        Admin::Result r;
        r.output = "execution error: User canceled. (-128)";
        r.cancelled = true;
        return r;
    });
    writeFile(daemonPlist, "x");
    daemon = launchdEntry(Scope::systemDaemon, "com.vendor.daemon", daemonPlist);  // listed again
    EXPECT_EQ(LoginItems::remove(daemon), ActionOutcome::failure("Authorization cancelled"));
    EXPECT_TRUE(std::filesystem::exists(daemonPlist));
}

TEST_F(LoginItemsTest, RemovingAUserAgentMovesItToTheTrash) {
    const auto plist = userAgents() / "com.example.sync.plist";
    writeFile(plist, plistText({{"Label", str("com.example.sync")}}));
    auto entry = launchdEntry(Scope::userAgent, "com.example.sync", plist);
    EXPECT_EQ(LoginItems::remove(entry), ActionOutcome::success("Moved com.example.sync to the Trash"));
    EXPECT_FALSE(std::filesystem::exists(plist));
    EXPECT_TRUE(std::filesystem::exists(home() / ".Trash/com.example.sync.plist"));
    EXPECT_EQ(calls, (std::vector<Call>{{systemTool("/bin/launchctl") + " bootout 'gui/501/com.example.sync'", true},
                                        {systemTool("/bin/launchctl") + " disable 'gui/501/com.example.sync'", true}}));
}

TEST_F(LoginItemsTest, RefusedActionsRunNothing) {
    const auto plist = userAgents() / "x.plist";
    writeFile(plist, plistText({{"Label", str("")}}));
    LoginEntry loginItem;
    loginItem.scope = Scope::loginItem;
    loginItem.name = "Zebra Notes";
    loginItem.id = "loginItem:1";

    struct Case {
        LoginEntry entry;
        bool enabled;
        ActionOutcome expected;
    } switches[] = {
        {loginItem, false,
         ActionOutcome::failure(
             "Zebra Notes is managed by macOS. Change it in System Settings \u2192 General \u2192 Login Items.")},
        {launchdEntry(Scope::userAgent, "a", plist), true, ActionOutcome::failure("No plist to act on")},
        {launchdEntry(Scope::userAgent, "", plist), false, ActionOutcome::failure("No label to act on")},
        {launchdEntry(Scope::systemDaemon, " \t", plist), true, ActionOutcome::failure("No label to act on")},
        {launchdEntry(Scope::userAgent, std::string("a\0b", 3), plist), false,
         ActionOutcome::failure("No label to act on")},
    };
    switches[1].entry.plistURL.reset();
    for (const auto& c : switches) EXPECT_EQ(LoginItems::setEnabled(c.entry, c.enabled), c.expected) << c.entry.name;

    EXPECT_EQ(LoginItems::remove(loginItem),
              ActionOutcome::failure("Modern login items are removed through System Settings"));
    EXPECT_EQ(LoginItems::remove(launchdEntry(Scope::userAgent, "", plist)),
              ActionOutcome::failure("No label to act on"));
    EXPECT_TRUE(calls.empty());
    EXPECT_TRUE(rootScripts.empty());
    EXPECT_TRUE(std::filesystem::exists(plist));
}
