// The application's windows and commands: the menu bar extra's label, Rescan,
// Reset Window Size and the settings window.
#include <QAction>
#include <QMainWindow>
#include <QSystemTrayIcon>
#include <QTest>

#include "app/shell/vessiltane_app.h"
#include "support/window/shell_test.h"

class VessiltaneAppTest : public ShellTest {};

TEST_F(VessiltaneAppTest, MenuBarLabelIsTheCompactFreeSpace) {
    EXPECT_EQ(MenuBarExtra::label(std::nullopt), "0B free");
    EXPECT_EQ(MenuBarExtra::label(FS::VolumeStats{0, 0}), "0B free");
    EXPECT_EQ(MenuBarExtra::label(FS::VolumeStats{1LL << 40, 1610612736}), "1.5G free");
    EXPECT_EQ(MenuBarExtra::label(FS::VolumeStats{1LL << 40, 20LL << 30}), "20G free");
    VessiltaneApp app(state(), services, frameServices());
    EXPECT_EQ(app.menuBarExtra()->toolTip(), MenuBarExtra::label(state().volume()));
}

TEST_F(VessiltaneAppTest, CommandsHaveTheirShortcuts) {
    VessiltaneApp app(state(), services, frameServices());
    EXPECT_EQ(app.rescanAction()->text(), "Rescan");
    EXPECT_EQ(app.rescanAction()->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_R));
    EXPECT_EQ(app.resetWindowSizeAction()->text(), "Reset Window Size");
    EXPECT_EQ(app.resetWindowSizeAction()->shortcut(), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_0));
    EXPECT_EQ(app.settingsAction()->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_Comma));
    EXPECT_EQ(app.settingsAction()->menuRole(), QAction::PreferencesRole);
}

TEST_F(VessiltaneAppTest, RescanRepeatsTheShownModulesScanAndNothingForTools) {
    VessiltaneApp app(state(), services, frameServices());
    state().setModule(ModuleID::shredder);
    app.rescanAction()->trigger();
    EXPECT_FALSE(state().progress().isRunning);
    EXPECT_EQ(executor->queuedWork(), 0u);
    state().setModule(ModuleID::trashBins);
    app.rescanAction()->trigger();
    EXPECT_TRUE(state().progress().isRunning);
    EXPECT_EQ(state().activeScan(), ModuleID::trashBins);
    EXPECT_EQ(state().progress().message, "Looking for Trash\u2026");
    executor->settle();
    EXPECT_FALSE(state().progress().isRunning);
}

TEST_F(VessiltaneAppTest, SettingsOpensItsWindowAndTheMainWindowIsTheOneState) {
    VessiltaneApp app(state(), services, frameServices());
    EXPECT_FALSE(app.settingsWindow()->isVisible());
    app.settingsAction()->trigger();
    EXPECT_TRUE(app.settingsWindow()->isVisible());
    EXPECT_EQ(app.settingsWindow()->windowTitle(), "Settings");
    EXPECT_EQ(app.mainWindow()->windowTitle(), "Vessiltane");
    app.settingsWindow()->close();
}
