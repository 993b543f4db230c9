// The uninstaller's actions against a fixture /Applications: the listing,
// the leftover search, the uninstall and the orphaned files.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>

#include "engine/admin.h"
#include "platform/file_facts.h"
#include "platform/plist.h"
#include "state_test_env.h"
#include "support/fake_workspace.h"
#include "support/recording_runner.h"
#include "support/unprivileged.h"

using namespace testing_support;
namespace fs = std::filesystem;

namespace {

class UninstallerTest : public StateTest {
protected:
    void SetUp() override {
        StateTest::SetUp();
        workspace = installFakeWorkspace();  // nothing runs, so nothing needs quitting
        runner = std::make_unique<RecordingRunner>();  // no launchctl, no Spotlight
        makeApp("Editor", "com.example.editor");
        makeApp("Notes", "com.example.notes");
        oldFile(home() / "Library/Caches/com.example.editor/cache.db", 16 * 1024, 0);
        oldFile(home() / "Library/Preferences/com.example.notes.plist", 4096, 0);
        // Support files of an application that is gone.
        oldFile(home() / "Library/Preferences/com.gone.tool.plist", 4096, 0);
        oldFile(home() / "Library/Application Support/com.gone.tool/state.db", 32 * 1024, 0);
    }

    void makeApp(const std::string& name, const std::string& bundleID) {
        const fs::path bundle = sys("/Applications") / (name + ".app");
        writeFile(bundle / "Contents/Info.plist",
                  Plist::toXml(Plist::Value::makeDict({{"CFBundleIdentifier", Plist::Value::makeString(bundleID)}})));
        allocateFile(bundle / "Contents/MacOS" / name, 8192);
    }

    std::vector<std::string> appNames() const {
        std::vector<std::string> names;
        for (const auto& app : state_->apps()) names.push_back(app.name);
        return names;
    }

    const InstalledApp& app(const std::string& name) const {
        for (const auto& a : state_->apps())
            if (a.name == name) return a;
        throw std::runtime_error("no app " + name);
    }

    const ScanCategory* orphanCategory(const std::string& id) const {
        for (const auto& c : state_->orphanCategories())
            if (c.id == id) return &c;
        return nullptr;
    }

    std::shared_ptr<FakeWorkspace> workspace;
    std::unique_ptr<RecordingRunner> runner;
};

// A manual executor whose first posted call, made from the work as it
// reports progress, cancels the token: Stop pressed in the middle of the work.
class StopOnFirstPost final : public Executor {
public:
    explicit StopOnFirstPost(std::shared_ptr<ManualExecutor> inner) : inner_(std::move(inner)) {}
    void run(Job job) override { inner_->run(std::move(job)); }
    void post(Receiver receiver, Job job) override {
        if (token && !stopped_.exchange(true)) token->cancel();
        inner_->post(std::move(receiver), std::move(job));
    }
    void postAfter(Receiver receiver, std::chrono::milliseconds delay, Job job) override {
        inner_->postAfter(std::move(receiver), delay, std::move(job));
    }
    ScanTokenRef token;

private:
    std::shared_ptr<ManualExecutor> inner_;
    std::atomic<bool> stopped_ = false;
};

}  // namespace

TEST_F(UninstallerTest, TheListIsReadOnceUntilRescanEmptiesIt) {
    state().loadApps();
    EXPECT_TRUE(state().isLoadingApps());
    EXPECT_EQ(state().progress().message, "Reading your Applications\u2026");
    EXPECT_TRUE(state().progress().isRunning);
    EXPECT_FALSE(state().activeScan());
    settle();
    EXPECT_EQ(appNames(), (std::vector<std::string>{"Editor", "Notes"}));
    EXPECT_FALSE(state().isLoadingApps());
    EXPECT_FALSE(state().progress().isRunning);

    QSignalSpy progress(&state(), &AppState::progressChanged);
    state().loadApps();
    EXPECT_EQ(executor->queuedWork(), 0u);
    EXPECT_EQ(progress.count(), 0);

    makeApp("Viewer", "com.example.viewer");
    state().setModule(ModuleID::uninstaller);
    state().rescanCurrent();
    settle();
    EXPECT_EQ(appNames(), (std::vector<std::string>{"Editor", "Notes", "Viewer"}));
}

TEST_F(UninstallerTest, AListingCutShortIsNeverTakenForTheWholeList) {
    // Started while a scan runs: that scan is cancelled and dropped.
    state().scanMail();
    const ScanTokenRef mail = state().token();
    state().loadApps();
    EXPECT_TRUE(mail->isCancelled());
    settle();
    EXPECT_FALSE(state().hasReport(ModuleID::mailAttachments));
    EXPECT_EQ(appNames().size(), 2u);

    // Stopped part-way, as the first application is measured: what was
    // listed so far is not the list, which stays empty for the next call.
    auto stopping = std::make_shared<StopOnFirstPost>(executor);
    AppState window(stopping, {"vessiltane"});
    window.loadApps();
    stopping->token = window.token();
    executor->settle();
    EXPECT_TRUE(stopping->token->isCancelled());
    EXPECT_TRUE(window.apps().empty());
    EXPECT_FALSE(window.isLoadingApps());
    EXPECT_FALSE(window.progress().isRunning);
    window.loadApps();
    executor->settle();
    EXPECT_EQ(window.apps().size(), 2u);
}

TEST_F(UninstallerTest, LeftoversLandOnlyOnTheApplicationStillPicked) {
    state().loadApps();
    settle();
    state().select(app("Editor"));
    EXPECT_EQ(state().progress().message, "Finding leftovers of Editor\u2026");
    state().select(app("Notes"));
    EXPECT_TRUE(state().leftovers().empty());
    settle();
    ASSERT_EQ(state().selectedApp()->name, "Notes");
    ASSERT_EQ(state().leftovers().size(), 1u);
    EXPECT_EQ(state().leftovers()[0].url.filename(), "com.example.notes.plist");
    EXPECT_FALSE(state().progress().isRunning);

    // Cleared pick: no search starts, and a search still under way ends the line.
    state().select(app("Editor"));
    state().select(std::nullopt);
    EXPECT_FALSE(state().selectedApp());
    EXPECT_TRUE(state().leftovers().empty());
    EXPECT_EQ(executor->queuedWork(), 1u);
    settle();
    EXPECT_TRUE(state().leftovers().empty());
    EXPECT_FALSE(state().progress().isRunning);
}

TEST_F(UninstallerTest, UninstallingTrashesTheAppWithItsTickedLeftoversAndForgetsIt) {
    state().uninstallSelected();  // nothing picked
    EXPECT_EQ(executor->queuedWork(), 0u);

    state().loadApps();
    settle();
    state().select(app("Editor"));
    settle();
    ASSERT_EQ(state().leftovers().size(), 1u);
    state().setLeftoverSelected(0, true);
    state().uninstallSelected();
    EXPECT_EQ(state().activeScan(), ModuleID::uninstaller);
    settle();

    ASSERT_TRUE(state().lastCleanup());
    EXPECT_EQ(state().lastCleanup()->title, "Uninstalled Editor");
    EXPECT_EQ(state().lastCleanup()->removedCount, 2);
    EXPECT_TRUE(state().lastCleanup()->failures.empty());
    EXPECT_EQ(appNames(), std::vector<std::string>{"Notes"});
    EXPECT_FALSE(state().selectedApp());
    EXPECT_TRUE(state().leftovers().empty());
    EXPECT_FALSE(state().activeScan());
    EXPECT_TRUE(fs::exists(home() / ".Trash/Editor.app"));
    EXPECT_TRUE(fs::exists(home() / ".Trash/com.example.editor"));
}

TEST_F(UninstallerTest, OrphanScanFindsFilesOfNoInstalledApplication) {
    state().scanOrphans();
    EXPECT_TRUE(state().scanningOrphans());
    EXPECT_EQ(state().activeScan(), ModuleID::uninstaller);
    EXPECT_EQ(state().progress().message, "Looking for orphaned files\u2026");
    state().scanOrphans();  // already scanning: nothing more starts
    EXPECT_EQ(executor->queuedWork(), 1u);
    settle();
    EXPECT_FALSE(state().scanningOrphans());
    EXPECT_EQ(appNames(), (std::vector<std::string>{"Editor", "Notes"}));
    ASSERT_TRUE(orphanCategory("orphans-Preferences"));
    ASSERT_TRUE(orphanCategory("orphans-Application Support"));
    EXPECT_EQ(orphanCategory("orphans-Preferences")->items.size(), 1u);
    EXPECT_FALSE(state().progress().isRunning);

    // A scan started meanwhile drops the orphan result, and the flag still clears.
    const auto before = state().orphanCategories().size();
    oldFile(home() / "Library/Logs/com.gone.other.log", 4096, 0);
    state().scanOrphans();
    const ScanTokenRef orphans = state().token();
    state().scanMail();
    EXPECT_TRUE(orphans->isCancelled());
    settle();
    EXPECT_FALSE(state().scanningOrphans());
    EXPECT_EQ(state().orphanCategories().size(), before);
    EXPECT_TRUE(state().hasReport(ModuleID::mailAttachments));
}

TEST_F(UninstallerTest, RemovingAnOrphanCategoryTrashesItsTickedFilesAndKeepsWhatIsStillThere) {
    // One orphan in a shared system folder that only root may change.
    const fs::path prefs = sys("/Library/Preferences");
    const fs::path daemon = prefs / "com.gone.daemon.plist";
    oldFile(daemon, 4096, 0);
    ASSERT_EQ(::chmod(prefs.c_str(), 01777), 0);
    ASSERT_EQ(::lchown(daemon.c_str(), kUnprivilegedId, kUnprivilegedId), 0);
    state().scanOrphans();
    settle();
    ASSERT_TRUE(orphanCategory("orphans-System Preferences"));

    state().removeOrphanCategory(*orphanCategory("orphans-Preferences"));  // nothing ticked
    ASSERT_TRUE(state().banner());
    EXPECT_EQ(state().banner()->text, "Nothing is selected.");
    EXPECT_FALSE(state().banner()->isError);
    EXPECT_EQ(executor->queuedWork(), 0u);

    size_t index = 0;
    while (state().orphanCategories()[index].id != "orphans-Preferences") ++index;
    state().setOrphanCategorySelected(index, true);
    const ScanItem plist = state().orphanCategories()[index].items[0];
    state().removeOrphanCategory(state().orphanCategories()[index]);
    EXPECT_FALSE(state().progress().isRunning);  // no progress line of its own
    settle();
    EXPECT_FALSE(orphanCategory("orphans-Preferences"));
    EXPECT_TRUE(orphanCategory("orphans-Application Support"));
    ASSERT_TRUE(state().lastCleanup());
    EXPECT_EQ(state().lastCleanup()->title, "Orphaned Files");
    EXPECT_EQ(state().lastCleanup()->removedCount, 1);
    EXPECT_EQ(state().lastCleanup()->reclaimed, plist.size);
    EXPECT_TRUE(fs::exists(home() / ".Trash/com.gone.tool.plist"));

    // All of it needs administrator rights and the prompt is dismissed: every
    // path is a failure line, nothing is counted, and the file that is still
    // there stays in its category, still ticked.
    Admin::setPrivilegedBackendForTesting([](const fs::path&, const std::optional<std::string>&) {
        Admin::Result dismissed;
        dismissed.cancelled = true;
        return dismissed;
    });
    index = 0;
    while (state().orphanCategories()[index].id != "orphans-System Preferences") ++index;
    state().setOrphanItemSelected(index, 0, true);
    state().removeOrphanCategory(state().orphanCategories()[index]);
    settle();
    ASSERT_TRUE(orphanCategory("orphans-System Preferences"));
    ASSERT_EQ(orphanCategory("orphans-System Preferences")->items.size(), 1u);
    EXPECT_EQ(orphanCategory("orphans-System Preferences")->items[0].url, daemon);
    EXPECT_TRUE(orphanCategory("orphans-System Preferences")->items[0].isSelected);
    EXPECT_EQ(state().lastCleanup()->removedCount, 0);
    EXPECT_EQ(state().lastCleanup()->reclaimed, 0);
    EXPECT_EQ(state().lastCleanup()->failures,
              std::vector<std::string>{daemon.native() + ": administrator removal failed"});
    EXPECT_TRUE(existsItself(daemon));
}
