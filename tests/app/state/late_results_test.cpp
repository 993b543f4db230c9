// A result that arrives after a newer action began: it publishes its data,
// but the progress line, the active scan and the shown module stay the newer
// action's.
#include <gtest/gtest.h>

#include <functional>

#include "engine/admin.h"
#include "platform/plist.h"
#include "state_test_env.h"
#include "support/fake_workspace.h"
#include "support/universal_binary.h"

using namespace testing_support;
namespace fs = std::filesystem;

namespace {

class LateResultTest : public StateTest {
protected:
    void SetUp() override {
        StateTest::SetUp();
        workspace = installFakeWorkspace();  // nothing runs, so nothing needs quitting
        // Every tool answers success: the signing tool of the thinning, launchctl of the uninstall.
        Admin::setRunnerForTesting([](const std::string&, bool) {
            Admin::Result ok;
            ok.ok = true;
            ok.exitStatus = 0;
            return ok;
        });
        writeFile(sys("/usr/bin/codesign"), "");
        makeFiles();
    }

    // An application with a universal binary and a cache of its own, made
    // afresh for each action, which may remove them.
    void makeFiles() {
        const fs::path editor = sys("/Applications/Editor.app");
        writeFile(editor / "Contents/Info.plist",
                  Plist::toXml(Plist::Value::makeDict(
                      {{"CFBundleIdentifier", Plist::Value::makeString("com.example.editor")}})));
        writeFile(editor / "Contents/MacOS/Editor",
                  universalBinary({{kCpuX86_64, 3, 14, filledBytes(64 * 1024, 'x')},
                                   {kCpuArm64, 0, 14, filledBytes(20000, 'a')}},
                                  false));
        oldFile(home() / "Library/Caches/com.example.editor/cache.db", 64 * 1024, 3);
        age(home() / "Library/Caches/com.example.editor", 3);
    }

    const InstalledApp& editor() const { return state_->apps().front(); }

    std::shared_ptr<FakeWorkspace> workspace;
};

struct LateAction {
    const char* name;
    ModuleID shown;                                          // the module on screen when it starts
    std::function<void(AppState&)> before;  // what it needs, settled
    std::function<void(AppState&)> start;
    std::function<void(AppState&)> published;  // what its result still publishes
};

}  // namespace

TEST_F(LateResultTest, AResultThatArrivesAfterANewerScanBeganLeavesThatScanRunningOnScreen) {
    auto scanJunkTicking = [this](const char* name) {
        return [this, name](AppState& state) {
            state.scanSystemJunk();
            settle();
            state.setSelection(false, std::nullopt, ModuleID::systemJunk);
            const ScanItem* item = itemNamed(ModuleID::systemJunk, name);
            ASSERT_TRUE(item);
            state.toggle(item->id, ModuleID::systemJunk);
        };
    };
    auto listed = [this](AppState& state) {
        state.loadApps();
        settle();
        ASSERT_EQ(state.apps().size(), 1u);
    };
    auto summaryTitled = [](const char* title) {
        return [title](AppState& state) {
            ASSERT_TRUE(state.lastCleanup());
            EXPECT_EQ(state.lastCleanup()->title, title);
        };
    };

    const std::vector<LateAction> actions = {
        {"application listing", ModuleID::uninstaller, [](AppState&) {},
         [](AppState& state) { state.loadApps(); },
         [](AppState& state) {
             EXPECT_EQ(state.apps().size(), 1u);
             EXPECT_FALSE(state.isLoadingApps());
         }},
        {"leftover search", ModuleID::uninstaller, listed,
         [this](AppState& state) { state.select(editor()); },
         [](AppState& state) { EXPECT_EQ(state.leftovers().size(), 1u); }},
        {"uninstall", ModuleID::uninstaller,
         [this, listed](AppState& state) {
             listed(state);
             state.select(editor());
             settle();
         },
         [](AppState& state) { state.uninstallSelected(); },
         [&](AppState& state) {
             summaryTitled("Uninstalled Editor")(state);
             EXPECT_TRUE(state.apps().empty());
             EXPECT_FALSE(state.selectedApp());
         }},
        {"thinning", ModuleID::systemJunk, scanJunkTicking("Editor"),
         [](AppState& state) { state.thinSelectedBinaries(); },
         [&](AppState& state) {
             summaryTitled("Thinned Universal Binaries")(state);
             EXPECT_FALSE(state.thinning());
         }},
        {"cleaning", ModuleID::systemJunk, scanJunkTicking("com.example.editor"),
         [](AppState& state) { state.clean(state.junk(), ModuleID::systemJunk, false); },
         [&](AppState& state) {
             summaryTitled("System Junk")(state);
             EXPECT_EQ(state.lastCleanup()->removedCount, 1);
         }},
    };

    for (const LateAction& action : actions) {
        SCOPED_TRACE(action.name);
        makeFiles();
        AppState& state = makeState();
        action.before(state);
        state.setModule(action.shown);
        action.start(state);
        ASSERT_GT(executor->runWork(), 0);  // its work has finished, its result waits

        state.setModule(ModuleID::mailAttachments);
        state.scanMail();
        const ScanTokenRef mail = state.token();
        executor->runPosts();  // the late result

        action.published(state);
        EXPECT_TRUE(state.isScanning(ModuleID::mailAttachments)) << "Stop is hidden while Mail scans";
        EXPECT_EQ(state.activeScan(), ModuleID::mailAttachments);
        EXPECT_EQ(state.progress().message, "Reading Mail\u2026");
        EXPECT_EQ(state.module(), ModuleID::mailAttachments);
        EXPECT_EQ(state.token(), mail);
        EXPECT_FALSE(mail->isCancelled()) << "nothing scanned again over the Mail scan";

        // The Mail scan ends its own line.
        settle();
        EXPECT_TRUE(state.hasReport(ModuleID::mailAttachments));
        EXPECT_FALSE(state.progress().isRunning);
        EXPECT_FALSE(state.activeScan());
    }
}

TEST_F(LateResultTest, AnActionThatEndsUntouchedEndsItsLineAndAnEarlierActionEndsNothingOfIt) {
    // The Mail scan began first; the leftover search took the progress line
    // from it, not the active scan. Each end gives back only its own part.
    state().loadApps();
    settle();
    state().scanMail();
    state().select(editor());
    executor->runWork();
    executor->runPosts();
    EXPECT_FALSE(state().activeScan()) << "the Mail scan's end";
    EXPECT_FALSE(state().progress().isRunning) << "the search's end";
    EXPECT_TRUE(state().hasReport(ModuleID::mailAttachments));
    EXPECT_EQ(state().leftovers().size(), 1u);

    // A cleaning nothing interrupted goes back to its module and scans it again.
    state().scanSystemJunk();
    settle();
    state().setModule(ModuleID::trashBins);
    state().clean(state().junk(), ModuleID::systemJunk, false);
    executor->runWork();
    executor->runPosts();
    EXPECT_EQ(state().module(), ModuleID::systemJunk);
    EXPECT_TRUE(state().isScanning(ModuleID::systemJunk));
    EXPECT_EQ(state().progress().message, "Preparing\u2026");
}
