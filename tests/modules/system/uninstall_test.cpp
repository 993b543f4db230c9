#include <gtest/gtest.h>

#include "engine/fs.h"
#include "engine/ignores.h"
#include "modules/system/uninstaller.h"
#include "platform/user.h"
#include "support/app_bundle.h"
#include "support/fake_workspace.h"
#include "support/recording_runner.h"
#include "support/test_env.h"

using namespace testing_support;
namespace fs = std::filesystem;

namespace {

class UninstallTest : public TestEnv {
protected:
    void SetUp() override {
        TestEnv::SetUp();
        app.url = home() / "Applications/Notes.app";
        app.id = app.url.string();
        app.name = "Notes";
        app.bundleID = "com.example.notes";
        allocateFile(app.url / "Contents/MacOS/Notes", 64 * 1024);
        FS::Measured measured = FS::measureAlone(app.url);
        app.size = measured.size;
        app.measured = measured.object;
    }

    Uninstaller::Leftover leftover(const fs::path& path, int64_t bytes, bool selected, std::string origin = "Caches") {
        allocateFile(path, bytes);
        FS::Measured measured = FS::measureAlone(path);
        return {path, measured.size, std::move(origin), selected, "", measured.object};
    }

    // The file names of the orphans found with app listed as installed.
    std::vector<std::string> orphanNames() const {
        std::vector<std::string> names;
        for (const auto& c : Uninstaller::orphans({app}, std::make_shared<ScanToken>(), nullptr))
            for (const auto& item : c.items) names.push_back(item.url.filename().string());
        return names;
    }

    InstalledApp app;
    fs::path trash() const { return home() / ".Trash"; }
};

}  // namespace

TEST_F(UninstallTest, QuitsUnregistersAndTrashesTheBundleWithSelectedLeftovers) {
    FakeClock clock;
    auto workspace = installFakeWorkspace();
    Workspace::RunningApplication running;
    running.processIdentifier = 77;
    running.localizedName = "Notes";
    running.bundleIdentifier = "com.example.notes";
    running.bundleURL = app.url;
    workspace->add(running, {.quitsAfter = std::chrono::milliseconds(300)});
    User::setUidForTesting(501);
    RecordingRunner runner;
    runner.answer(systemTool("/bin/launchctl") + " list", true, "PID\tStatus\tLabel\n-\t0\tcom.example.notes.helper\n");
    runner.answer(systemTool("/bin/launchctl") + " bootout 'gui/501/com.example.notes.helper'", true);

    const auto cache = leftover(home() / "Library/Caches/com.example.notes", 32 * 1024, true);
    const auto prefs = leftover(home() / "Library/Preferences/com.example.notes.plist", 4096, true, "Preferences");
    const auto kept = leftover(home() / "Library/Application Support/Notes Backup", 8192, false, "Application Support");

    auto result = Uninstaller::uninstall(app, {cache, prefs, kept});
    EXPECT_TRUE(result.failures.empty()) << result.failures.front();
    EXPECT_EQ(result.removedCount, 3);
    EXPECT_EQ(result.reclaimedBytes, app.size + cache.size + prefs.size);
    EXPECT_EQ(result.log, (std::vector<std::string>{"Quit Notes", "Unregistered login item com.example.notes.helper"}));

    EXPECT_FALSE(fs::exists(app.url));
    EXPECT_TRUE(fs::exists(trash() / "Notes.app/Contents/MacOS/Notes"));
    EXPECT_TRUE(fs::exists(trash() / "com.example.notes"));
    EXPECT_TRUE(fs::exists(trash() / "com.example.notes.plist"));
    EXPECT_TRUE(fs::exists(kept.url));  // unselected leftovers stay
    EXPECT_FALSE(fs::exists(trash() / "Notes Backup"));
}

TEST_F(UninstallTest, RefusedLeftoversAreFailureLinesAndTheRestStillMoves) {
    RecordingRunner runner;  // launchctl missing: nothing to unregister
    const auto ignored = leftover(home() / "Library/Caches/com.example.notes", 8192, true);
    ASSERT_EQ(Ignores::add(ignored.url.string()), Ignores::Edit::changed);
    const auto system = leftover(sys("/Library/Frameworks/Notes.framework/Notes"), 8192, true, "Spotlight");
    const auto prefs = leftover(home() / "Library/Preferences/com.example.notes.plist", 4096, true, "Preferences");

    auto result = Uninstaller::uninstall(app, {ignored, system, prefs});
    ASSERT_EQ(result.failures.size(), 2u);
    EXPECT_EQ(result.failures[0], "com.example.notes: On the ignore list");
    EXPECT_EQ(result.failures[1], "Notes: Protected item");
    EXPECT_EQ(result.removedCount, 2);
    EXPECT_TRUE(result.log.empty());

    EXPECT_TRUE(fs::exists(ignored.url));
    EXPECT_TRUE(fs::exists(system.url));
    EXPECT_TRUE(fs::exists(trash() / "Notes.app"));
    EXPECT_TRUE(fs::exists(trash() / "com.example.notes.plist"));
}

TEST_F(UninstallTest, ABundleAlreadyGoneCountsAsRemoved) {
    RecordingRunner runner;
    fs::remove_all(app.url);
    auto result = Uninstaller::uninstall(app, {});
    EXPECT_TRUE(result.failures.empty());
    EXPECT_EQ(result.removedCount, 1);
    EXPECT_EQ(result.reclaimedBytes, app.size);
}

TEST_F(UninstallTest, OrphansAreSupportFilesOfNoListedApplication) {
    allocateFile(home() / "Library/Preferences/com.example.notes.plist", 4096);
    allocateFile(home() / "Library/Preferences/com.gone.editor.plist", 4096);
    EXPECT_EQ(orphanNames(), (std::vector<std::string>{"com.gone.editor.plist"}));
}

TEST_F(UninstallTest, ApplicationsTheListDoesNotShowStillOwnTheirFiles) {
    // A suite's application in its own folder, and another in ~/Applications'
    // subfolder: the list of applications shows neither, yet both are installed.
    writeAppBundle(sys("/Applications/Suite Pro/Editor Pro.app"), "com.suite.editorpro", "1.0");
    writeAppBundle(home() / "Applications/Tools/Sketch Pad.app", "com.example.sketchpad", "2.0");
    for (const char* name : {"com.suite.editorpro.plist", "com.example.sketchpad.plist", "com.gone.editor.plist"})
        allocateFile(home() / "Library/Preferences" / name, 4096);
    allocateFile(home() / "Library/Containers/com.suite.editorpro.Share/x", 4096);
    EXPECT_EQ(orphanNames(), (std::vector<std::string>{"com.gone.editor.plist"}));
}
