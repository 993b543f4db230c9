// Cleaning from the window: what the selection removes, by which road, and
// how the summary, the history and the rescan report it.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "engine/admin.h"
#include "engine/clean_history.h"
#include "engine/cleaning.h"
#include "engine/ignores.h"
#include "platform/file_facts.h"
#include "state_test_env.h"
#include "support/privileged_shell.h"
#include "support/unprivileged.h"

using namespace testing_support;
namespace fs = std::filesystem;

namespace {

class CleanTest : public StateTest {
protected:
    void SetUp() override {
        StateTest::SetUp();
        // A safe cache, a second one the user puts on the ignore list after
        // the scan, an old installer (a review item) and another user's
        // folder in a shared system cache folder, which only root may remove.
        editor = home() / "Library/Caches/com.example.editor";
        oldFile(editor / "cache.db", 64 * 1024, 3);
        age(editor, 3);
        kept = home() / "Library/Caches/com.example.keep";
        oldFile(kept / "data", 8192, 3);
        age(kept, 3);
        installer = home() / "Downloads/Installer-2.4.dmg";
        oldFile(installer, 32 * 1024, 40);
        const fs::path caches = sys("/Library/Caches");
        shared = caches / "com.example.shared";
        oldFile(shared / "blob", 4096, 3);
        ASSERT_EQ(::chmod(caches.c_str(), 01777), 0);
        ASSERT_EQ(::chown(shared.c_str(), kUnprivilegedId, kUnprivilegedId), 0);
        age(shared, 3);

        state().scanSystemJunk();
        settle();
        for (const char* name : {"com.example.editor", "com.example.keep", "Installer-2.4.dmg", "com.example.shared"})
            ASSERT_TRUE(itemNamed(ModuleID::systemJunk, name));
        ASSERT_FALSE(itemNamed(ModuleID::systemJunk, "Installer-2.4.dmg")->isSelected);  // review
        QObject::connect(&state(), &AppState::progressChanged, [this] {
            if (messages.empty() || messages.back() != state().progress().message)
                messages.push_back(state().progress().message);
        });
    }

    // Only the named items of the System Junk report ticked.
    void tickOnly(std::initializer_list<const char*> names) {
        state().setSelection(false, std::nullopt, ModuleID::systemJunk);
        for (const char* name : names) state().toggle(itemNamed(ModuleID::systemJunk, name)->id, ModuleID::systemJunk);
    }

    int64_t sizeOf(const char* name) { return itemNamed(ModuleID::systemJunk, name)->size; }

    // Answers the administrator prompt as the given result, without running anything.
    void promptAnswers(Admin::Result answer) {
        Admin::setPrivilegedBackendForTesting(
            [answer](const fs::path&, const std::optional<std::string>&) { return answer; });
    }

    fs::path editor, kept, installer, shared;
    std::vector<std::string> messages;
};

}  // namespace

TEST_F(CleanTest, RemovesTheSelectionByItsRoadsAndRecordsAndSummarisesIt) {
    tickOnly({"com.example.editor", "com.example.keep", "Installer-2.4.dmg", "com.example.shared"});
    const int64_t expected = sizeOf("com.example.editor") + sizeOf("Installer-2.4.dmg") + sizeOf("com.example.shared");
    ASSERT_EQ(Ignores::add(kept.string()), Ignores::Edit::changed);
    auto prompts = installPlainShellBackend();

    state().setModule(ModuleID::smartScan);  // the user moved elsewhere meanwhile
    state().clean(state().junk(), ModuleID::systemJunk, false);
    EXPECT_EQ(state().progress().message, "Removing 4 items\u2026");
    EXPECT_TRUE(state().progress().isRunning);
    EXPECT_EQ(state().activeScan(), ModuleID::systemJunk);
    EXPECT_FALSE(state().token()->isCancelled());  // a cleaning cancels no scan
    executor->runWork();
    executor->runPosts();

    ASSERT_TRUE(state().lastCleanup());
    const CleanupSummary& summary = *state().lastCleanup();
    EXPECT_EQ(summary.title, "System Junk");
    EXPECT_EQ(summary.removedCount, 3);
    EXPECT_EQ(summary.reclaimed, expected);
    EXPECT_EQ(summary.failures, std::vector<std::string>{"com.example.keep: On the ignore list"});
    EXPECT_EQ(summary.notes, std::vector<std::string>{"Removed 1 system item with administrator rights"});
    EXPECT_EQ(summary.trashedBytes, 0);
    EXPECT_TRUE(summary.measuredReclaimed.has_value());
    EXPECT_EQ(prompts->prompts.size(), 1u);
    EXPECT_NE(std::find(messages.begin(), messages.end(), "Waiting for administrator approval\u2026"), messages.end());

    // Deleted for good, none of it in the Trash; the ignored cache stays.
    EXPECT_FALSE(existsItself(editor));
    EXPECT_FALSE(existsItself(installer));
    EXPECT_FALSE(existsItself(shared));
    EXPECT_TRUE(fs::exists(kept / "data"));
    EXPECT_FALSE(fs::exists(home() / ".Trash"));

    const auto history = CleanHistory::recent(10);
    ASSERT_EQ(history.size(), 1u);
    EXPECT_EQ(history[0].source, "gui");
    EXPECT_EQ(history[0].modules, std::vector<std::string>{"systemJunk"});
    EXPECT_FALSE(history[0].dryRun);
    EXPECT_EQ(history[0].reclaimedBytes, expected);
    EXPECT_EQ(history[0].removedCount, 3);
    EXPECT_EQ(history[0].failureCount, 1);
    EXPECT_EQ(history[0].permissionDeniedCount, 0);

    // Back on the cleaned module, which is being scanned again.
    EXPECT_EQ(state().module(), ModuleID::systemJunk);
    EXPECT_EQ(state().activeScan(), ModuleID::systemJunk);
    EXPECT_EQ(state().progress().message, "Preparing\u2026");
    settle();
    // What was removed is gone from it, and so is what the user now ignores.
    EXPECT_EQ(state().junk().itemCount(), 0);
}

// Hours may pass between the scan the window shows and the click on Remove.
// Meanwhile the user's own folder took the measured cache's place, and
// another folder the system cache's: both stay whole, each says why, neither
// counts as removed, and the rest of the selection is cleaned.
TEST_F(CleanTest, WhatTookAnItemsPlaceSinceTheScanStaysAndTheRestIsCleaned) {
    tickOnly({"com.example.editor", "Installer-2.4.dmg", "com.example.shared"});
    const int64_t expected = sizeOf("Installer-2.4.dmg");
    auto prompts = installPlainShellBackend();
    const fs::path thesis = home() / "Documents/Thesis";
    writeFile(thesis / "chapter1.tex", "chapter one");
    writeFile(thesis / "figures/plot.pdf", "plot");
    fs::rename(editor, editor.native() + ".aside");
    fs::rename(thesis, editor);
    const fs::path other = sys("/Library/Caches/com.example.other");
    writeFile(other / "state", "another program's state");
    fs::rename(shared, shared.native() + ".aside");
    fs::rename(other, shared);

    state().clean(state().junk(), ModuleID::systemJunk, false);
    settle();

    ASSERT_TRUE(state().lastCleanup());
    const CleanupSummary& summary = *state().lastCleanup();
    EXPECT_EQ(summary.removedCount, 1);
    EXPECT_EQ(summary.reclaimed, expected);
    ASSERT_EQ(summary.failures.size(), 2u);
    for (const auto& failure : summary.failures)
        EXPECT_NE(failure.find("Changed since the scan"), std::string::npos) << failure;
    EXPECT_EQ(readFile(editor / "chapter1.tex"), "chapter one");
    EXPECT_EQ(readFile(editor / "figures/plot.pdf"), "plot");
    EXPECT_EQ(readFile(shared / "state"), "another program's state");
    EXPECT_FALSE(existsItself(installer));
    const auto history = CleanHistory::recent(1);
    ASSERT_EQ(history.size(), 1u);
    EXPECT_EQ(history[0].removedCount, 1);
    EXPECT_EQ(history[0].reclaimedBytes, expected);
}

TEST_F(CleanTest, AnAdministratorPromptThatDoesNotRunRemovesNoSystemItem) {
    struct Case {
        const char* name;
        Admin::Result answer;
        const char* title;
        std::vector<std::string> failures;
        std::vector<std::string> notes;
    };
    Admin::Result dismissed;
    dismissed.cancelled = true;
    Admin::Result unavailable;
    unavailable.authorizationUnavailable = true;
    unavailable.exitStatus = 127;
    unavailable.output = "no authorization agent";
    const Case cases[] = {
        {"dismissed", dismissed, "System Junk \u2014 cancelled", {}, {}},
        {"unavailable", unavailable, "System Junk",
         {"com.example.shared: Could not be removed with administrator rights"},
         {"Administrator authorization was not available, so system items were left alone"}},
    };
    for (const auto& c : cases) {
        tickOnly({"com.example.shared"});
        promptAnswers(c.answer);
        state().clean(state().junk(), ModuleID::systemJunk, false);
        settle();
        ASSERT_TRUE(state().lastCleanup()) << c.name;
        EXPECT_EQ(state().lastCleanup()->title, c.title) << c.name;
        EXPECT_EQ(state().lastCleanup()->removedCount, 0) << c.name;
        EXPECT_EQ(state().lastCleanup()->reclaimed, 0) << c.name;
        EXPECT_EQ(state().lastCleanup()->failures, c.failures) << c.name;
        EXPECT_EQ(state().lastCleanup()->notes, c.notes) << c.name;
        EXPECT_TRUE(fs::exists(shared / "blob")) << c.name;
    }
    // Each cleaning is in the history all the same.
    EXPECT_EQ(CleanHistory::recent(10).size(), 2u);
}

TEST_F(CleanTest, MailAndAdwareFindingsGoToTheTrashWhereverTheyAreCleaned) {
    const fs::path invoice = home() / "Library/Mail Downloads/invoice.pdf";
    oldFile(invoice, 16 * 1024, 40);
    const fs::path receipt = home() / "Library/Mail Downloads/receipt.pdf";
    oldFile(receipt, 8192, 40);

    // The Mail screen: to the Trash, and the summary says how much went there.
    state().scanMail();
    settle();
    state().toggle(ModuleID::mailAttachments, 0, 0);
    const ScanItem first = state().mail().categories[0].items[0];
    state().clean(state().mail(), ModuleID::mailAttachments, true);
    settle();
    EXPECT_EQ(state().lastCleanup()->trashedBytes, first.size);
    EXPECT_TRUE(existsItself(home() / ".Trash" / first.name));

    // Smart Scan deletes, except what came from Mail and the adware check.
    const fs::path adware = home() / "Applications/Genieo.app";
    writeFile(adware / "Contents/MacOS/Genieo", "payload");
    state().smartScanAll();
    settle();
    // The attachment just trashed is found again in the Trash.
    const std::vector<std::string> ids = categoryIDs(state().smartScan());
    ASSERT_EQ(ids.size(), 6u);
    EXPECT_EQ(std::vector<std::string>(ids.begin(), ids.begin() + 5),
              (std::vector<std::string>{"junk.user-caches", "junk.system-caches", "junk.downloads", "trash.user-trash",
                                        "mail.mail-downloads"}));
    EXPECT_EQ(ids[5].rfind("malware.", 0), 0u) << ids[5];
    state().setSelection(false, std::nullopt, ModuleID::smartScan);
    for (const auto& id : {std::string("junk.downloads"), std::string("mail.mail-downloads"), ids[5]})
        state().setSelection(true, id, ModuleID::smartScan);
    const int64_t trashed =
        state().smartScan().categories[4].selectedSize() + state().smartScan().categories[5].selectedSize();
    state().clean(state().smartScan(), ModuleID::smartScan, false);
    EXPECT_EQ(state().progress().message, "Removing 3 items\u2026");
    settle();
    EXPECT_EQ(state().lastCleanup()->title, "Smart Scan");
    EXPECT_EQ(state().lastCleanup()->removedCount, 3);
    EXPECT_EQ(state().lastCleanup()->trashedBytes, trashed);
    EXPECT_FALSE(existsItself(installer));
    EXPECT_FALSE(fs::exists(home() / ".Trash/Installer-2.4.dmg"));
    EXPECT_TRUE(existsItself(home() / ".Trash" / (first.name == "invoice.pdf" ? "receipt.pdf" : "invoice.pdf")));
    EXPECT_TRUE(fs::exists(home() / ".Trash/Genieo.app/Contents/MacOS/Genieo"));
    EXPECT_EQ(CleanHistory::recent(1)[0].modules, std::vector<std::string>{"smartScan"});
    // The cleaning ended with a whole Smart Scan.
    EXPECT_EQ(state().module(), ModuleID::smartScan);
    EXPECT_EQ(categoryIDs(state().smartScan()),
              (std::vector<std::string>{"junk.user-caches", "junk.system-caches", "trash.user-trash"}));
    EXPECT_EQ(state().trash().itemCount(), 3);
}

TEST_F(CleanTest, NothingSelectedIsAPlainMessageAndNothingElse) {
    tickOnly({});
    QSignalSpy summaries(&state(), &AppState::lastCleanupChanged);
    state().clean(state().junk(), ModuleID::systemJunk, false);
    ASSERT_TRUE(state().banner());
    EXPECT_EQ(state().banner()->text, "Nothing is selected.");
    EXPECT_FALSE(state().banner()->isError);
    EXPECT_EQ(executor->queuedWork(), 0u);
    EXPECT_FALSE(state().progress().isRunning);
    EXPECT_EQ(summaries.count(), 0);
    EXPECT_TRUE(CleanHistory::recent(10).empty());
}

TEST_F(CleanTest, TheSameSystemPathTickedTwiceIsRemovedAndCountedOnce) {
    tickOnly({"com.example.shared"});
    ScanReport twice = state().junk();
    ScanItem copy = *itemNamed(ModuleID::systemJunk, "com.example.shared");
    copy.id = Uuid::random();
    twice.categories[0].items.push_back(copy);
    auto prompts = installPlainShellBackend();
    state().clean(twice, ModuleID::systemJunk, false);
    EXPECT_EQ(state().progress().message, "Removing 2 items\u2026");
    settle();
    EXPECT_EQ(state().lastCleanup()->removedCount, 1);
    EXPECT_EQ(state().lastCleanup()->reclaimed, copy.size);
    EXPECT_EQ(state().lastCleanup()->notes, std::vector<std::string>{"Removed 1 system item with administrator rights"});
    EXPECT_TRUE(state().lastCleanup()->failures.empty());
    ASSERT_EQ(prompts->prompts.size(), 1u);
    EXPECT_NE(prompts->prompts[0]->find("remove 1 system item from"), std::string::npos) << *prompts->prompts[0];
}

TEST_F(CleanTest, StopEndsARemovalBetweenItemsAndNothingElseStartsMeanwhile) {
    tickOnly({"com.example.editor", "com.example.keep", "Installer-2.4.dmg"});
    const std::vector<fs::path> paths{editor, kept, installer};
    const std::vector<int64_t> sizes{sizeOf("com.example.editor"), sizeOf("com.example.keep"),
                                     sizeOf("Installer-2.4.dmg")};
    const int64_t selected = sizes[0] + sizes[1] + sizes[2];
    QSignalSpy removals(&state(), &AppState::removalChanged);
    // The user presses Stop while the first item is being removed; what
    // else they try meanwhile is refused.
    bool refusedMeanwhile = false;
    Cleaning::setAfterItemHookForTesting([&](const Cleaning::Step& step) {
        if (step.done != 1) return;
        EXPECT_TRUE(state().isRemoving());
        EXPECT_TRUE(state().isScanning(ModuleID::systemJunk));
        const ScanTokenRef token = state().token();
        state().scanSystemJunk();
        state().smartScanAll();
        EXPECT_EQ(state().token(), token);  // no scan began
        state().clean(state().junk(), ModuleID::systemJunk, false);
        ASSERT_TRUE(state().banner());
        EXPECT_EQ(state().banner()->text, "A removal is already running.");
        state().cancelScan();
        // Still shown as running until the item under way is done.
        EXPECT_TRUE(state().progress().isRunning);
        EXPECT_EQ(state().progress().message, "Stopping after the item under way\u2026");
        refusedMeanwhile = true;
    });
    state().clean(state().junk(), ModuleID::systemJunk, false);
    EXPECT_EQ(removals.count(), 1);
    executor->runWork();
    EXPECT_TRUE(refusedMeanwhile);
    EXPECT_EQ(executor->queuedWork(), 0u);  // only the one removal ran
    executor->runPosts();
    Cleaning::setAfterItemHookForTesting({});

    int gone = 0;
    int64_t goneBytes = 0;
    for (size_t i = 0; i < paths.size(); ++i)
        if (!existsItself(paths[i])) {
            ++gone;
            goneBytes += sizes[i];
        }
    EXPECT_EQ(gone, 1);
    EXPECT_FALSE(state().isRemoving());
    EXPECT_EQ(removals.count(), 2);
    ASSERT_TRUE(state().lastCleanup());
    EXPECT_EQ(state().lastCleanup()->title, "System Junk \u2014 stopped");
    EXPECT_EQ(state().lastCleanup()->removedCount, 1);
    EXPECT_EQ(state().lastCleanup()->reclaimed, goneBytes);
    EXPECT_LT(goneBytes, selected);
    EXPECT_EQ(state().lastCleanup()->notes, std::vector<std::string>{"Stopped: 2 items were left as they were"});
    const auto history = CleanHistory::recent(10);
    ASSERT_EQ(history.size(), 1u);
    EXPECT_TRUE(history[0].stopped);
    EXPECT_EQ(history[0].removedCount, 1);
    EXPECT_EQ(history[0].reclaimedBytes, goneBytes);
    // Now that it has ended, the module is scanned again.
    EXPECT_EQ(state().progress().message, "Preparing\u2026");
    settle();
}

TEST_F(CleanTest, TheLineCountsTheItemsAsTheyGo) {
    tickOnly({"com.example.editor", "com.example.keep"});
    int steps = 0;
    Cleaning::setAfterItemHookForTesting([&](const Cleaning::Step& step) {
        // Each step reaches the screen before the next item.
        executor->runPosts();
        EXPECT_EQ(state().progress().message, "Removing 2 of 2 items\u2026");
        EXPECT_DOUBLE_EQ(state().progress().fraction, double(step.done) / 2);
        ++steps;
    });
    state().clean(state().junk(), ModuleID::systemJunk, false);
    executor->runWork();
    Cleaning::setAfterItemHookForTesting({});
    EXPECT_EQ(steps, 2);
    settle();
}

TEST_F(CleanTest, AnItemThatWasNotRemovedStaysInEveryList) {
    // Listed by Smart Scan too; System Junk is the one cleaned and scanned again.
    state().smartScanAll();
    settle();
    state().scanSystemJunk();
    settle();
    tickOnly({"com.example.editor", "com.example.keep", "com.example.shared"});
    ASSERT_EQ(Ignores::add(kept.string()), Ignores::Edit::changed);  // fails as the user's own
    Admin::Result unavailable;
    unavailable.authorizationUnavailable = true;
    unavailable.exitStatus = 127;
    promptAnswers(unavailable);  // fails as a system item
    auto listed = [&](const fs::path& path) {
        for (const auto& category : state().smartScan().categories)
            for (const auto& item : category.items)
                if (item.url == path) return true;
        return false;
    };
    for (const fs::path& p : {editor, kept, shared}) ASSERT_TRUE(listed(p)) << p;

    state().clean(state().junk(), ModuleID::systemJunk, false);
    settle();
    EXPECT_EQ(state().lastCleanup()->failures.size(), 2u);
    EXPECT_FALSE(listed(editor));
    EXPECT_TRUE(listed(kept));
    EXPECT_TRUE(listed(shared));
}
