// The menu bar extra's menu: its rows in order with their shortcuts, its two
// text rows kept current, and what each row does, with and without a window
// of the application open.
#include <QAction>
#include <QMenu>

#include "engine/byte_format.h"
#include "screen_test.h"
#include "screens/menu_bar_view.h"

namespace {

QStringList rows(const QMenu& menu) {
    QStringList out;
    for (QAction* action : menu.actions()) {
        if (action->isSeparator()) {
            out << QStringLiteral("---");
            continue;
        }
        QString row = action->text();
        if (!action->isEnabled()) row += QStringLiteral(" [text]");
        if (!action->shortcut().isEmpty()) row += QStringLiteral(" [") + action->shortcut().toString() + QStringLiteral("]");
        out << row;
    }
    return out;
}

QAction* row(const QMenu& menu, const QString& text) {
    for (QAction* action : menu.actions())
        if (action->text() == text) return action;
    return nullptr;
}

}  // namespace

using MenuBarViewTest = ScreenTest;

TEST_F(MenuBarViewTest, TheRowsComeInOrderWithTheirShortcutsAndTheTextRowsFollowTheState) {
    QMenu menu;
    MenuBarView::fill(menu, context());
    const auto& volume = state().volume();
    ASSERT_TRUE(volume);
    const QString disk = QString::fromStdString(ByteFormat::string(volume->free) + " free of " +
                                                ByteFormat::string(volume->total));
    EXPECT_EQ(rows(menu), (QStringList{disk + " [text]", "---", "Open Vessiltane [Ctrl+O]", "---", "Run Smart Scan",
                                       "Preview Cleanup", "---", "Empty Trash", "System Junk", "Login Items", "---",
                                       "No cleanup yet [text]", "---", "Settings\u2026 [Ctrl+,]",
                                       "Quit Vessiltane [Ctrl+Q]"}));

    CleanupSummary nothing;
    nothing.reclaimed = 0;
    nothing.removedCount = 0;
    state().setLastCleanup(nothing);
    EXPECT_EQ(menu.actions()[11]->text(), "Last: 0 KB from 0 items");
    CleanupSummary some;
    some.reclaimed = 1'500'000;
    some.removedCount = 12;
    state().setLastCleanup(some);
    EXPECT_EQ(menu.actions()[11]->text().toStdString(), "Last: " + ByteFormat::string(1'500'000) + " from 12 items");
    state().setLastCleanup(std::nullopt);
    EXPECT_EQ(menu.actions()[11]->text(), "No cleanup yet");

    EXPECT_EQ(MenuBarView::diskLine(std::nullopt), "Reading disk\u2026");
    EXPECT_EQ(MenuBarView::diskLine(FS::VolumeStats{0, 0}), "0 KB free of 0 KB");
}

TEST_F(MenuBarViewTest, AScanRowSetsTheModuleOpensTheWindowWhenNoneIsOpenThenScans) {
    QMenu menu;
    MenuBarView::fill(menu, context());
    struct Case {
        const char* row;
        ModuleID module;
        const char* message;
    } cases[] = {
        {"Run Smart Scan", ModuleID::smartScan, "Starting\u2026"},
        {"Preview Cleanup", ModuleID::smartScan, "Starting\u2026"},
        {"Empty Trash", ModuleID::trashBins, "Looking for Trash\u2026"},
        {"System Junk", ModuleID::systemJunk, "Preparing\u2026"},
        {"Login Items", ModuleID::loginItems, "Reading login items\u2026"},
    };
    int opened = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.row);
        state().setModule(ModuleID::privacy);
        const int before = mainWindowShown;
        QAction* action = row(menu, QString::fromUtf8(c.row));
        ASSERT_TRUE(action);
        action->trigger();
        EXPECT_EQ(mainWindowShown, before + 1);
        ++opened;
        // The window opens on the module, and the scan starts after it.
        EXPECT_EQ(modulesWhenMainShown.back(), c.module);
        EXPECT_NE(activeWhenMainShown.back(), c.module);
        EXPECT_EQ(state().module(), c.module);
        EXPECT_EQ(state().activeScan(), c.module);
        EXPECT_EQ(state().progress().message, c.message);
        EXPECT_TRUE(state().progress().isRunning);
        settle();
    }

    // With a window of the application open (not the main one), no main window is opened.
    QWidget other;
    other.setWindowTitle("Settings");
    other.show();
    row(menu, "System Junk")->trigger();
    EXPECT_EQ(mainWindowShown, opened);
    EXPECT_EQ(state().module(), ModuleID::systemJunk);
    EXPECT_EQ(state().activeScan(), ModuleID::systemJunk);
    row(menu, "Open Vessiltane")->trigger();
    EXPECT_EQ(mainWindowShown, opened);
    settle();
    other.hide();
    row(menu, "Open Vessiltane")->trigger();
    EXPECT_EQ(mainWindowShown, opened + 1);

    row(menu, "Settings\u2026")->trigger();
    EXPECT_EQ(settingsShown, 1);
}
