// One launch item, three readers: the startup-items module, System Junk's
// broken-login-items check and the adware scan's startup check must agree on
// whether its program is there. Under a test root, a program is named as the
// system sees it and looked for where the system folders lie.
#include <gtest/gtest.h>

#include <map>
#include <string>

#include "engine/scan_support.h"
#include "engine/scanner_extras.h"
#include "modules/protection/login_items.h"
#include "modules/protection/malware_scan.h"
#include "platform/locations.h"
#include "platform/plist.h"
#include "support/binary_plist.h"
#include "support/recording_runner.h"
#include "support/test_env.h"

using namespace testing_support;
using Plist::Value;

namespace {

Value str(std::string s) { return Value::makeString(std::move(s)); }

// A launchd job as installers write them.
Value job(const std::string& label, const std::string& program, bool asArguments) {
    std::map<std::string, Value> entries{
        {"Label", str(label)},
        {"RunAtLoad", Value::makeBool(true)},
        {"KeepAlive", Value::makeDict({{"SuccessfulExit", Value::makeBool(false)}})},
        {"StandardErrorPath", str("/Library/Logs/" + label + ".log")},
    };
    if (asArguments) entries["ProgramArguments"] = Value::makeArray({str(program), str("--daemon")});
    else entries["Program"] = str(program);
    return Value::makeDict(std::move(entries));
}

}  // namespace

class LaunchProgramsTest : public TestEnv {};

TEST_F(LaunchProgramsTest, OneItemJudgedAlikeByEveryReader) {
    const std::string homeTool = (home() / "Applications/Tool.app/Contents/MacOS/tool").string();
    const std::string homeGone = (home() / "bin/gone").string();
    writeFile(home() / "Applications/Tool.app/Contents/MacOS/tool", "#!/bin/sh\n");
    writeFile(sys("/Library/PrivilegedHelperTools/com.example.helper"), "\x7f" "ELF");
    writeFile(sys("/Applications/Example.app/Contents/MacOS/Example Agent"), "\x7f" "ELF");
    writeFile(sys("/opt/example/bin/real"), "#!/bin/sh\n");
    makeSymlink(sys("/opt/example/bin/real"), sys("/usr/local/bin/linked"));
    makeSymlink(sys("/opt/example/bin/removed"), sys("/usr/local/bin/dangling"));

    struct Case {
        const char* label;
        std::string program;
        bool asArguments;
        bool binary;
        bool missing;
        bool adwareSees;  // the test's home lies in /tmp, which the adware check reports as writable first
    } cases[] = {
        {"com.example.helper", "/Library/PrivilegedHelperTools/com.example.helper", false, true, false, true},
        {"com.example.agent", "/Applications/Example.app/Contents/MacOS/Example Agent", true, false, false, true},
        {"com.example.gone", "/Library/Application Support/Gone/daemon", false, false, true, true},
        // On this machine's own disk, never under the root.
        {"com.example.realonly", "/usr/bin/env", true, true, true, true},
        {"com.example.linked", "/usr/local/bin/linked", false, false, false, true},
        {"com.example.dangling", "/usr/local/bin/dangling", false, true, true, true},
        {"com.example.inhome", homeTool, false, false, false, false},
        {"com.example.homegone", homeGone, true, false, true, false},
    };
    const auto daemons = sys("/Library/LaunchDaemons");
    for (const auto& c : cases) {
        const Value value = job(c.label, c.program, c.asArguments);
        writeFile(daemons / (std::string(c.label) + ".plist"), c.binary ? binaryPlist(value) : Plist::toXml(value));
    }

    RecordingRunner runner;  // launchctl and sfltool are absent here
    std::map<std::string, bool> startupModule;
    for (const auto& entry : LoginItems::launchdEntries()) startupModule[entry.name] = !entry.programExists;
    std::map<std::string, bool> startupReport, systemJunk, adware;
    for (const auto& c : cases) startupReport[c.label] = systemJunk[c.label] = adware[c.label] = false;
    for (const auto& category : LoginItems::scan(nullptr, LoginItems::launchdEntries()).categories)
        for (const auto& item : category.items) startupReport[item.name] = true;
    for (const auto& item : Scanner::scanBrokenLoginItems().items) systemJunk[item.name] = true;
    ScanToken token;
    for (const auto& item : MalwareScan::scanStartupItems(token).items)
        adware[item.name] = item.detail.rfind("Points at a missing program while running as root: ", 0) == 0;

    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.label) + " runs " + c.program);
        EXPECT_EQ(startupModule[c.label], c.missing);
        EXPECT_EQ(startupReport[c.label], c.missing);
        EXPECT_EQ(systemJunk[c.label], c.missing);
        if (c.adwareSees) {
            EXPECT_EQ(adware[c.label], c.missing);
        }
        EXPECT_EQ(ScanSupport::programExists(c.program), !c.missing);
    }
}

TEST_F(LaunchProgramsTest, WhereAProgramIsLookedFor) {
    EXPECT_EQ(Locations::fromSystemView("/usr/local/bin/tool"), sys("/usr/local/bin/tool"));
    EXPECT_EQ(Locations::fromSystemView("/"), root());
    EXPECT_EQ(Locations::fromSystemView((home() / "bin/tool").string()), home() / "bin/tool");
    EXPECT_EQ(Locations::fromSystemView(home().string()), home());
    // A sibling whose name only begins like the home's is a system path.
    const std::string sibling = home().string() + "x/tool";
    EXPECT_EQ(Locations::fromSystemView(sibling), sys(sibling));
    EXPECT_EQ(Locations::fromSystemView("bin/tool"), std::filesystem::path("bin/tool"));
    EXPECT_EQ(Locations::fromSystemView(""), std::filesystem::path());

    // Without a test root every path is where it stands.
    Locations::setRoot("");
    EXPECT_EQ(Locations::fromSystemView("/usr/local/bin/tool"), std::filesystem::path("/usr/local/bin/tool"));

    // A relative program is looked for from the current folder, an empty one is
    // that folder; a path holding NUL names nothing (not the part before it).
    Locations::setRoot(root().string());
    EXPECT_TRUE(ScanSupport::programExists(""));
    EXPECT_FALSE(ScanSupport::programExists("no-such-program-here"));
    writeFile(sys("/usr/local/bin/tool"), "x");
    EXPECT_FALSE(ScanSupport::programExists(std::string("/usr/local/bin\0/gone", 20)));
    EXPECT_TRUE(ScanSupport::programExists("/usr/local/bin/tool"));
}
