// Cleaning from the window: what the selection removes, by which road, and
// how the summary, the history and the rescan report it.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "engine/admin.h"
#include "engine/clean_history.h"
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
