// The orphaned-files pane over the state's orphan scan of a temporary home:
// what it shows while scanning and after, its tick rules, and the Trash
// button, after which only what was removed leaves its card.
#include <gtest/gtest.h>

#include <QTest>
#include <filesystem>

#include "app/controls/buttons.h"
#include "app/controls/checkbox.h"
#include "app/controls/empty_state_view.h"
#include "app/controls/icon_button.h"
#include "app/controls/link_button.h"
#include "app/controls/text_label.h"
#include "app/controls/theme.h"
#include "engine/ignores.h"
#include "screens/orphans_pane.h"
#include "screens/permission_hint.h"
#include "support/recording_runner.h"
#include "screen_test.h"

using namespace testing_support;
namespace fs = std::filesystem;

namespace {

class OrphansPaneTest : public ScreenTest {
protected:
    void SetUp() override {
        ScreenTest::SetUp();
        runner = std::make_unique<RecordingRunner>();  // no tool runs
        const fs::path library = home() / "Library";
        allocateFile(library / "Application Support/com.gone.tool/state.db", 32 * 1024);
        allocateFile(library / "Application Support/com.gone.other/cache.bin", 8 * 1024);
        allocateFile(library / "Preferences/com.gone.tool.plist", 4096);
        writeFile(library / "Preferences/com.gone.empty.plist", "");
    }

    // The pane, shown, its first scan run to its end.
    std::unique_ptr<OrphansPane> shownPane() {
        auto pane = std::make_unique<OrphansPane>(context());
        pane->resize(900, 700);
        pane->show();
        executor->settle();
        return pane;
    }

    static const ScanItem& itemNamed(const ScanCategory& category, const std::string& name) {
        for (const auto& item : category.items)
            if (item.name == name) return item;
        throw std::runtime_error("no item " + name);
    }

    static Checkbox* boxLabelled(OrphanCategoryCard& card, const QString& prefix) {
        for (Checkbox* box : card.itemBoxes())
            if (box->label().startsWith(prefix)) return box;
        return nullptr;
    }

    std::unique_ptr<RecordingRunner> runner;
};

TEST_F(OrphansPaneTest, ComingIntoViewScansAndShowsOneCollapsedUntickedCardPerFolder) {
    OrphansPane pane(context());
    pane.resize(900, 700);
    EXPECT_EQ(executor->queuedWork(), 0u);  // nothing before it is shown
    pane.show();
    EXPECT_TRUE(state().scanningOrphans());
    EXPECT_EQ(pane.content(), "progress");
    EXPECT_EQ(pane.findChild<TextLabel*>("progressMessage")->text(), QString::fromUtf8("Looking for orphaned files\u2026"));

    executor->settle();
    ASSERT_EQ(pane.content(), "cards");
    ASSERT_EQ(pane.cards().size(), 2u);
    // Largest folder first, as the state publishes them.
    EXPECT_EQ(pane.cards()[0]->category().id, "orphans-Application Support");
    EXPECT_EQ(pane.cards()[1]->category().id, "orphans-Preferences");
    for (OrphanCategoryCard* card : pane.cards()) {
        EXPECT_EQ(card->category().selectedCount(), 0);
        EXPECT_FALSE(card->selectAll()->isOn());
        EXPECT_FALSE(card->selectAll()->isMixed());
        EXPECT_FALSE(card->trashButton()->isVisibleTo(card));
        EXPECT_FALSE(card->isExpanded());
        EXPECT_TRUE(card->itemBoxes().empty());
        EXPECT_EQ(card->disclosure()->accessibleName(), "Show files");
        EXPECT_EQ(card->totalLabel()->palette().color(QPalette::WindowText), Theme::secondary());
    }
    // The total counts every item, ticked or not.
    EXPECT_EQ(pane.cards()[0]->totalLabel()->text(), "41 KB");
    EXPECT_EQ(pane.cards()[0]->selectAll()->label(), "Select all in Leftovers in Application Support");

    // The hint's button scans again; the scan already running makes it do nothing more.
    auto* hint = pane.findChild<PermissionHint*>();
    ASSERT_TRUE(hint);
    EXPECT_EQ(hint->button()->text(), "Scan Now");
    QTest::mouseClick(hint->button(), Qt::LeftButton);
    EXPECT_TRUE(state().scanningOrphans());
    QTest::mouseClick(hint->button(), Qt::LeftButton);
    EXPECT_EQ(executor->queuedWork(), 1u);
    executor->settle();
    EXPECT_TRUE(services.opened.empty());
}

TEST_F(OrphansPaneTest, TicksFollowTheRulesAndTheTrashButtonFollowsTheTickedCount) {
    auto pane = shownPane();
    OrphanCategoryCard* support = pane->card("orphans-Application Support");
    ASSERT_TRUE(support);
    QTest::mouseClick(support->disclosure(), Qt::LeftButton);
    EXPECT_TRUE(support->isExpanded());
    EXPECT_EQ(support->disclosure()->accessibleName(), "Hide files");
    ASSERT_EQ(support->itemBoxes().size(), 2u);

    // One item ticked: the category box is mixed, the total turns rose, and
    // the button offers that item's size.
    Checkbox* tool = boxLabelled(*support, "com.gone.tool, ");
    ASSERT_TRUE(tool);
    EXPECT_EQ(tool->label(), "com.gone.tool, 33 KB");
    QTest::mouseClick(tool, Qt::LeftButton);
    support = pane->card("orphans-Application Support");
    EXPECT_TRUE(itemNamed(*OrphanTicks::find(state(), "orphans-Application Support"), "com.gone.tool").isSelected);
    EXPECT_TRUE(tool->isOn());
    EXPECT_TRUE(support->selectAll()->isMixed());
    EXPECT_FALSE(support->selectAll()->isOn());
    ASSERT_TRUE(support->trashButton()->isVisibleTo(support));
    EXPECT_EQ(support->trashButton()->text(), "Trash 32K");
    EXPECT_EQ(support->totalLabel()->palette().color(QPalette::WindowText), Theme::color(Theme::rose));
    EXPECT_TRUE(support->isExpanded());  // a tick keeps the card open

    // The mixed box ticks everything, pressed again clears everything.
    QTest::mouseClick(support->selectAll(), Qt::LeftButton);
    EXPECT_TRUE(support->selectAll()->isOn());
    EXPECT_FALSE(support->selectAll()->isMixed());
    EXPECT_EQ(OrphanTicks::find(state(), "orphans-Application Support")->selectedCount(), 2);
    EXPECT_EQ(support->trashButton()->text(), "Trash 40K");
    QTest::mouseClick(support->selectAll(), Qt::LeftButton);
    EXPECT_EQ(OrphanTicks::find(state(), "orphans-Application Support")->selectedCount(), 0);
    EXPECT_FALSE(support->trashButton()->isVisibleTo(support));

    // Ticking only an empty file offers the button (it follows the count)
    // while the total keeps its quiet colour (it follows the bytes).
    OrphanCategoryCard* prefs = pane->card("orphans-Preferences");
    prefs->setExpanded(true);
    Checkbox* empty = boxLabelled(*prefs, "com.gone.empty.plist");
    ASSERT_TRUE(empty);
    EXPECT_EQ(empty->label(), "com.gone.empty.plist, 0 KB");
    QTest::mouseClick(empty, Qt::LeftButton);
    ASSERT_TRUE(prefs->trashButton()->isVisibleTo(prefs));
    EXPECT_EQ(prefs->trashButton()->text(), "Trash 0B");
    EXPECT_EQ(prefs->totalLabel()->palette().color(QPalette::WindowText), Theme::secondary());

    // Ticks aimed at what is no longer published change nothing.
    const auto before = state().orphanCategories();
    OrphanTicks::flip(state(), "orphans-Gone", before[0].items[0].id);
    OrphanTicks::flip(state(), "orphans-Preferences", Uuid::random());
    OrphanTicks::setAll(state(), "orphans-Gone", true);
    ASSERT_EQ(state().orphanCategories().size(), before.size());
    for (size_t c = 0; c < before.size(); ++c)
        for (size_t i = 0; i < before[c].items.size(); ++i)
            EXPECT_EQ(state().orphanCategories()[c].items[i].isSelected, before[c].items[i].isSelected);
}

TEST_F(OrphansPaneTest, TrashMovesTheTickedFilesAndTheCardKeepsWhatIsStillOnDisk) {
    auto pane = shownPane();
    const fs::path tool = home() / "Library/Application Support/com.gone.tool";
    const fs::path other = home() / "Library/Application Support/com.gone.other";
    const fs::path prefs = home() / "Library/Preferences/com.gone.tool.plist";
    const fs::path empty = home() / "Library/Preferences/com.gone.empty.plist";

    // One of two ticked: it goes to the Trash, its neighbour stays listed.
    OrphanCategoryCard* support = pane->card("orphans-Application Support");
    support->setExpanded(true);
    QTest::mouseClick(boxLabelled(*support, "com.gone.tool, "), Qt::LeftButton);
    QTest::mouseClick(support->trashButton(), Qt::LeftButton);
    executor->settle();
    EXPECT_FALSE(fs::exists(tool));
    EXPECT_TRUE(fs::exists(home() / ".Trash/com.gone.tool/state.db"));
    EXPECT_TRUE(fs::exists(other));
    ASSERT_TRUE(state().lastCleanup());
    EXPECT_EQ(state().lastCleanup()->title, "Orphaned Files");
    EXPECT_EQ(state().lastCleanup()->removedCount, 1);
    support = pane->card("orphans-Application Support");
    ASSERT_TRUE(support);
    ASSERT_EQ(support->category().items.size(), 1u);
    EXPECT_EQ(support->category().items[0].name, "com.gone.other");
    EXPECT_FALSE(support->category().items[0].isSelected);
    EXPECT_EQ(support->itemBoxes().size(), 1u);
    EXPECT_FALSE(support->trashButton()->isVisibleTo(support));

    // Both ticked, one of them put on the ignore list meanwhile: the removal
    // refuses it, so it stays in its card, still ticked; the other goes.
    ASSERT_EQ(Ignores::add(prefs.native()), Ignores::Edit::changed);
    OrphanCategoryCard* preferences = pane->card("orphans-Preferences");
    QTest::mouseClick(preferences->selectAll(), Qt::LeftButton);
    QTest::mouseClick(preferences->trashButton(), Qt::LeftButton);
    executor->settle();
    EXPECT_TRUE(fs::exists(prefs));
    EXPECT_FALSE(fs::exists(empty));
    ASSERT_EQ(state().lastCleanup()->failures.size(), 1u);
    EXPECT_EQ(state().lastCleanup()->failures[0], "com.gone.tool.plist: On the ignore list");
    preferences = pane->card("orphans-Preferences");
    ASSERT_TRUE(preferences);
    ASSERT_EQ(preferences->category().items.size(), 1u);
    EXPECT_EQ(preferences->category().items[0].url, prefs);
    EXPECT_TRUE(preferences->selectAll()->isOn());

    // A card whose every file went leaves the pane; the others stay as they were.
    QTest::mouseClick(support->selectAll(), Qt::LeftButton);
    QTest::mouseClick(support->trashButton(), Qt::LeftButton);
    executor->settle();
    EXPECT_FALSE(fs::exists(other));
    EXPECT_FALSE(pane->card("orphans-Application Support"));
    ASSERT_EQ(pane->cards().size(), 1u);
    EXPECT_EQ(pane->cards()[0], preferences);
}

TEST_F(OrphansPaneTest, NothingFoundShowsTheEmptyStateAndEachNewAppearanceScansAgain) {
    fs::remove_all(home() / "Library");
    auto pane = shownPane();
    EXPECT_EQ(pane->content(), "empty");
    auto* empty = pane->findChild<EmptyStateView*>();
    ASSERT_TRUE(empty);
    EXPECT_EQ(empty->findChild<TextLabel*>("title")->text(), "No orphaned files found");
    EXPECT_EQ(empty->findChild<TextLabel*>("message")->text(),
              "Every file in your Library folders names an application that is still installed.");
    EXPECT_EQ(empty->actionButton()->text(), "Scan for Orphans");

    pane->hide();
    allocateFile(home() / "Library/Caches/com.gone.late/data", 4096);
    pane->show();
    EXPECT_EQ(pane->content(), "progress");
    executor->settle();
    ASSERT_EQ(pane->cards().size(), 1u);
    EXPECT_EQ(pane->cards()[0]->category().id, "orphans-Caches");

    // With cards to show, coming into view again scans nothing.
    pane->hide();
    pane->show();
    EXPECT_FALSE(state().scanningOrphans());
    EXPECT_EQ(executor->queuedWork(), 0u);
}

}  // namespace
