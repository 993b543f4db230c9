// The hidden switches that probe single engine operations.
#include "diagnostics/diagnostics.h"

#include <gtest/gtest.h>

#include <regex>
#include <sstream>

#include "engine/admin.h"
#include "platform/resources.h"
#include "platform/trash.h"
#include "platform/user.h"
#include "support/privileged_shell.h"
#include "support/recording_runner.h"
#include "support/test_env.h"
#include "support/universal_binary.h"
#include "switch_run.h"

using namespace testing_support;
namespace fs = std::filesystem;

namespace {

size_t entriesIn(const fs::path& folder) {
    return size_t(std::distance(fs::directory_iterator(folder), fs::directory_iterator()));
}

std::string launchAgent(const std::string& label, const std::string& program) {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict>"
           "<key>Label</key><string>" + label + "</string>"
           "<key>Program</key><string>" + program + "</string></dict></plist>\n";
}

}  // namespace

// Each test gets a temporary folder of its own as the system's, so it can see
// that a probe leaves nothing behind there.
class ProbeTest : public TestEnv {
protected:
    void SetUp() override {
        TestEnv::SetUp();
        if (const char* old = std::getenv("TMPDIR")) savedTmpdir_ = old;
        scratch_ = tmp() / "scratch";
        fs::create_directories(scratch_);
        ::setenv("TMPDIR", scratch_.c_str(), 1);
    }
    void TearDown() override {
        if (savedTmpdir_) ::setenv("TMPDIR", savedTmpdir_->c_str(), 1);
        else ::unsetenv("TMPDIR");
        TestEnv::TearDown();
    }
    const fs::path& scratch() const { return scratch_; }

private:
    fs::path scratch_;
    std::optional<std::string> savedTmpdir_;
};

TEST_F(ProbeTest, EachSwitchCountsOnlyWhenGivenExactly) {
    RecordingRunner runner;
    const SwitchHandler handlers[] = {Diagnostics::handleElevationProbe, Diagnostics::handleMalwareScan,
                                Diagnostics::handleDetectionProbe, Diagnostics::handleThinningProbe,
                                Diagnostics::handleListLoginItems, Diagnostics::handleListTasks,
                                Diagnostics::handleUpdateCheck,    Diagnostics::handleIfRequested};
    for (SwitchHandler handler : handlers) {
        for (const auto& arguments : std::vector<std::vector<std::string>>{
                 {}, {"diagnose"}, {"--Probe-Detection"}, {"--probe-thinning"}, {"scan", "--json"}}) {
            SwitchRun run = runSwitch(handler, arguments);
            EXPECT_FALSE(run.taken);
            EXPECT_EQ(run.out + run.err, "");
        }
    }
    EXPECT_TRUE(runner.commands().empty());
}

TEST_F(ProbeTest, DetectionSelfTestPrintsEveryRow) {
    SwitchRun run = runSwitch(Diagnostics::handleDetectionProbe, {"scan", "--probe-detection"});
    EXPECT_TRUE(run.taken);
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.out,
              "detection rules \u2014 expected matches\n"
              "  ok   com.genieo.installer.plist \u2192 Genieo (expected Genieo)\n"
              "  ok   com.vsearch.agent \u2192 VSearch (expected VSearch)\n"
              "  ok   com.pirrit.ua.agent.plist \u2192 Pirrit (expected Pirrit)\n"
              "  ok   com.shlayer.downloader \u2192 Shlayer (expected Shlayer)\n"
              "  ok   MacKeeper Helper \u2192 MacKeeper (expected MacKeeper)\n"
              "  ok   Advanced Mac Cleaner.app \u2192 Advanced Mac Cleaner (expected Advanced Mac Cleaner)\n"
              "  ok   com.bundlore.helper \u2192 Bundlore (expected Bundlore)\n"
              "  ok   Search Marquis \u2192 Search Marquis (expected Search Marquis)\n"
              "  ok   com.tektonit.AdvancedMacCleaner \u2192 Advanced Mac Cleaner (expected Advanced Mac Cleaner)\n"
              "\n"
              "detection rules \u2014 expected non-matches\n"
              "  ok   com.apple.Safari \u2192 no match\n"
              "  ok   Google Chrome.app \u2192 no match\n"
              "  ok   Visual Studio Code.app \u2192 no match\n"
              "  ok   com.jetbrains.intellij \u2192 no match\n"
              "  ok   Slack.app \u2192 no match\n"
              "  ok   com.microsoft.VSCode \u2192 no match\n"
              "  ok   Raycast.app \u2192 no match\n"
              "  ok   Keyboard Maestro.app \u2192 no match\n"
              "  ok   com.apple.dt.Xcode \u2192 no match\n"
              "\n"
              "version comparison\n"
              "  ok   1.10 vs 1.9 \u2192 newer\n"
              "  ok   2.0.1 vs 2.0.2 \u2192 older\n"
              "  ok   1.0 vs 1.0 \u2192 same\n"
              "  ok   10.0 vs 9.9 \u2192 newer\n"
              "  ok   1.2.3 vs 1.2.10 \u2192 older\n"
              "\n"
              "all checks passed\n");
}

TEST_F(ProbeTest, ElevationProbeRemovesItsOwnScratchFile) {
    auto log = installPlainShellBackend();
    SwitchRun run = runSwitch(Diagnostics::handleElevationProbe, {"--probe-elevation"});
    EXPECT_TRUE(run.taken);
    std::smatch m;
    ASSERT_TRUE(std::regex_match(run.out, m,
                                 std::regex("cancelled=false\nremoved=\\[\"(.*)\"\\]\nfailed=\\[\\]\n"
                                            "still exists=false\n")))
        << run.out;
    // The file lay in a private folder of the system's temporary folder, not
    // at a fixed name, and nothing is left there.
    const fs::path file = m[1].str();
    EXPECT_EQ(file.filename(), "vessiltane-elevation-probe");
    EXPECT_EQ(file.parent_path().parent_path(), scratch());
    EXPECT_EQ(file.parent_path().filename().native().rfind("vessiltane-elevation-", 0), 0u);
    ASSERT_EQ(log->scripts.size(), 1u);
    EXPECT_NE(log->scripts[0].find("\npath " + file.native() + "\n"), std::string::npos) << log->scripts[0];
    EXPECT_EQ(entriesIn(scratch()), 0u);

    // A dismissed prompt leaves the file where it was, until the probe ends.
    bool present = false;
    Admin::setPrivilegedBackendForTesting([&](const fs::path&, const std::optional<std::string>&) {
        Admin::Result r;
        r.cancelled = true;
        present = fs::exists(file.parent_path().parent_path()) && entriesIn(scratch()) == 2;  // folder and script
        return r;
    });
    SwitchRun cancelled = runSwitch(Diagnostics::handleElevationProbe, {"--probe-elevation"});
    EXPECT_TRUE(present);
    EXPECT_EQ(std::regex_replace(cancelled.out, std::regex("\"[^\"]*\""), "P"),
              "cancelled=true\nremoved=[]\nfailed=[]\nstill exists=true\n");
    EXPECT_EQ(entriesIn(scratch()), 0u);
}

TEST_F(ProbeTest, ThinningProbeOnFilesThatAreNotUniversal) {
    RecordingRunner runner;
    EXPECT_FALSE(runSwitch(Diagnostics::handleThinningProbe, {"--probe-thinning"}).taken);

    SwitchRun missing = runSwitch(Diagnostics::handleThinningProbe, {"--probe-thinning", "no-such-binary"});
    EXPECT_TRUE(missing.taken);
    EXPECT_EQ(missing.out, "no such file: " + (fs::current_path() / "no-such-binary").native() + "\n");

    // A single-architecture Mach-O executable: no universal header at all.
    writeFile(home() / "thin tool", std::string("\xCF\xFA\xED\xFE\x0C\x00\x00\x01", 8) + filledBytes(5000, 'a'));
    writeFile(home() / "notes.txt", "plain text");
    for (const char* name : {"thin tool", "notes.txt"}) {
        SwitchRun run = runSwitch(Diagnostics::handleThinningProbe, {"--probe-thinning", (home() / name).native()});
        EXPECT_TRUE(run.taken);
        EXPECT_EQ(run.out, std::string(name) + ": not a universal binary\n");
    }
    EXPECT_EQ(entriesIn(scratch()), 0u);
    EXPECT_TRUE(runner.commands().empty());
}

TEST_F(ProbeTest, ThinningProbeThinsAThrowAwayCopy) {
    Trash::setFolderForTesting([this](const fs::path&) { return home() / ".Trash"; });
    const fs::path binary = home() / "bin" / "universal tool";
    const std::string original = universalBinary(
        {{kCpuX86_64, 3, 12, filledBytes(64 * 1024, 'x')}, {kCpuArm64, 0, 12, filledBytes(20000, 'a')}});
    writeFile(binary, original);

    RecordingRunner runner;
    runner.answer(systemTool("/usr/bin/codesign"), true);
    runner.answer(systemTool("/usr/bin/lipo") + " -archs ", true, "arm64\n");
    SwitchRun run = runSwitch(Diagnostics::handleThinningProbe, {"--probe-thinning", binary.native()});
    EXPECT_TRUE(run.taken);
    std::smatch m;
    ASSERT_TRUE(std::regex_match(run.out, m,
                                 std::regex("architectures before: x86_64 \\(65536\\), arm64 \\(20000\\)\n"
                                            "architectures after:  arm64 \\(20000\\)\n"
                                            "bytes saved: ([0-9]+)\n"
                                            "lipo -archs: arm64\n"
                                            "signature: valid\n"
                                            "RESULT: ok\n")))
        << run.out;
    EXPECT_GT(std::stoll(m[1]), 0);
    // The tools saw the copy, quoted; the copy and its folder are gone and
    // the original is untouched.
    ASSERT_GE(runner.commands().size(), 2u);
    const std::string lipo = runner.commands()[runner.commands().size() - 2];
    std::smatch copy;
    ASSERT_EQ(lipo.rfind(systemTool("/usr/bin/lipo") + " ", 0), 0u) << lipo;
    const std::string arguments = lipo.substr(systemTool("/usr/bin/lipo").size());
    ASSERT_TRUE(std::regex_match(arguments, copy, std::regex(" -archs '(.*)' 2>/dev/null"))) << lipo;
    EXPECT_EQ(fs::path(copy[1].str()).parent_path().parent_path(), scratch());
    EXPECT_EQ(fs::path(copy[1].str()).filename().native().rfind("thinning-probe-", 0), 0u);
    EXPECT_EQ(runner.commands().back(), systemTool("/usr/bin/codesign") + " --verify '" + copy[1].str() + "' 2>&1");
    EXPECT_EQ(entriesIn(scratch()), 0u);
    EXPECT_EQ(readFile(binary), original);
}

TEST_F(ProbeTest, ThinningProbeWithoutTheSigningTool) {
    Trash::setFolderForTesting([this](const fs::path&) { return home() / ".Trash"; });
    const fs::path tool = home() / "tool";
    const std::string original = universalBinary(
        {{kCpuX86_64, 3, 12, filledBytes(64 * 1024, 'x')}, {kCpuArm64, 0, 12, filledBytes(20000, 'a')}});
    writeFile(tool, original);
    RecordingRunner runner;  // every tool missing
    SwitchRun run = runSwitch(Diagnostics::handleThinningProbe, {"--probe-thinning", tool.native()});
    EXPECT_TRUE(run.taken);
    EXPECT_EQ(run.out.rfind("architectures before: x86_64 (65536), arm64 (20000)\nFAIL: re-signing failed: ", 0), 0u)
        << run.out;
    EXPECT_EQ(std::count(run.out.begin(), run.out.end(), '\n'), 2);
    EXPECT_EQ(entriesIn(scratch()), 0u);
    EXPECT_TRUE(!fs::exists(home() / ".Trash") || entriesIn(home() / ".Trash") == 0);
    EXPECT_EQ(readFile(tool), original);
}

TEST_F(ProbeTest, ListsLoginItemsWithTheirState) {
    User::setUidForTesting(501);
    const fs::path agents = home() / "Library/LaunchAgents";
    writeFile(agents / "com.example.alpha.plist", launchAgent("com.example.alpha", "/opt/alpha"));
    writeFile(agents / "com.example.beta.plist", launchAgent("com.example.beta", "/opt/beta"));
    writeFile(agents / "com.example.gamma.plist", launchAgent("com.example.gamma", "/opt/gamma"));
    writeFile(sys("/Library/LaunchDaemons/com.example.daemon.plist"), launchAgent("com.example.daemon", "/opt/d"));

    RecordingRunner runner;
    runner.answer(systemTool("/bin/launchctl") + " list", true,
                  "PID\tStatus\tLabel\n12\t0\tcom.example.alpha\n-\t0\tcom.example.beta\n");
    runner.answer(systemTool("/bin/launchctl") + " print-disabled", true,
                  "disabled services = {\n\t\"com.example.beta\" => disabled\n}\n");
    // Without the background-task tool the launchd entries are still listed.
    SwitchRun withoutTool = runSwitch(Diagnostics::handleListLoginItems, {"--list-login-items"});
    EXPECT_TRUE(withoutTool.taken);
    const std::string launchd =
        "  enabled  removable      User Launch Agent: com.example.alpha\n"
        "  disabled removable      User Launch Agent: com.example.beta\n"
        "  idle     removable      System Launch Daemon: com.example.daemon\n"
        "  idle     removable      User Launch Agent: com.example.gamma\n";
    EXPECT_EQ(withoutTool.out, launchd);
    EXPECT_EQ(runner.commands().back(), systemTool("/usr/bin/sfltool") + " dumpbtm");

    runner.answer(systemTool("/usr/bin/sfltool") + " dumpbtm", true,
                  "========================\n"
                  " Records for UID 501 : 6C0F4E9A-0000-0000-0000-000000000501\n"
                  "========================\n"
                  " #1:\n"
                  "                 UUID: 1C5E-AAAA\n"
                  "                 Name: Zebra Notes\n"
                  "                 Type: app (0x2)\n"
                  "          Disposition: [enabled, allowed, visible, notified] (0xb)\n");
    SwitchRun withTool = runSwitch(Diagnostics::handleListLoginItems, {"--list-login-items"});
    EXPECT_EQ(withTool.out.substr(0, launchd.size()), launchd);
    EXPECT_EQ(withTool.out.substr(launchd.size()).substr(11), "macOS-managed  Login Item: Zebra Notes\n");
}

TEST_F(ProbeTest, NoLoginItemsAtAll) {
    RecordingRunner runner;
    EXPECT_EQ(runSwitch(Diagnostics::handleListLoginItems, {"--list-login-items"}).out, "no login items\n");
}

TEST_F(ProbeTest, ListsWhichTasksCanRun) {
    // The programs present under the test root make their tasks available.
    writeFile(sys("/usr/sbin/periodic"), "");
    writeFile(sys("/usr/bin/dscacheutil"), "");
    RecordingRunner runner;
    SwitchRun run = runSwitch(Diagnostics::handleListTasks, {"--list-tasks"});
    EXPECT_TRUE(run.taken);
    EXPECT_TRUE(runner.commands().empty());  // nothing is run
    std::istringstream lines(run.out);
    int ok = 0, unavailable = 0;
    for (std::string line; std::getline(lines, line);) {
        if (line.rfind("  ok           ", 0) == 0) ++ok;
        else if (std::regex_match(line, std::regex("  UNAVAILABLE  .+ \u2014 .+"))) ++unavailable;
        else ADD_FAILURE() << line;
    }
    EXPECT_EQ(ok + unavailable, 12);
    EXPECT_GE(ok, 2);
    EXPECT_GE(unavailable, 1);
}

TEST_F(ProbeTest, MalwareScanShowsTenItemsPerCategory) {
    Resources::setSearchFoldersForTesting(std::vector<fs::path>{});  // no shipped rule set
    RecordingRunner runner;
    SwitchRun clean = runSwitch(Diagnostics::handleMalwareScan, {"--scan-malware"});
    EXPECT_TRUE(clean.taken);
    EXPECT_EQ(clean.out, "no matches\n");
    EXPECT_EQ(clean.err.rfind("  Checking for known adware\u2026\n", 0), 0u) << clean.err;

    for (int i = 0; i < 25; ++i)
        writeFile(home() / "Library/Caches" / ("com.genieo.cache" + std::to_string(100 + i)), std::string(i + 1, 'g'));
    SwitchRun found = runSwitch(Diagnostics::handleMalwareScan, {"--scan-malware"});
    std::istringstream lines(found.out);
    std::string line;
    std::getline(lines, line);
    EXPECT_EQ(line, "Known Adware \u2014 25 match(es)");
    int items = 0;
    while (std::getline(lines, line)) {
        const std::regex item("  com\\.genieo\\.cache1[0-9][0-9]  \\[Caches \u00B7 matches Genieo\\]");
        EXPECT_TRUE(std::regex_match(line, item)) << line;
        ++items;
    }
    EXPECT_EQ(items, 10);
}
