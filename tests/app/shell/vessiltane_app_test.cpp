// The application's windows and commands: the menu bar extra's label, Rescan,
// Reset Window Size, the settings window, and the fonts the program ships.
#include <QAction>
#include <QFontDatabase>
#include <QMainWindow>
#include <QSystemTrayIcon>
#include <QTest>

#include "app/controls/fonts.h"
#include "app/shell/vessiltane_app.h"
#include "platform/resources.h"
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

TEST_F(VessiltaneAppTest, EscapeAndCtrlWCloseTheSettingsWindowAndCtrlWTheMainWindow) {
    VessiltaneApp app(state(), services, frameServices());
    for (QKeyCombination keys : {QKeyCombination(Qt::Key_Escape), QKeyCombination(Qt::CTRL, Qt::Key_W)}) {
        app.showSettings();
        QCoreApplication::processEvents();
        ASSERT_TRUE(app.settingsWindow()->isVisible());
        QTest::keyClick(app.settingsWindow(), keys.key(), keys.keyboardModifiers());
        EXPECT_FALSE(app.settingsWindow()->isVisible()) << keys.toCombined();
    }
    EXPECT_EQ(app.closeWindowAction()->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_W));
    app.showMain();
    QCoreApplication::processEvents();
    ASSERT_TRUE(app.mainWindow()->isVisible());
    QTest::keyClick(app.mainWindow(), Qt::Key_W, Qt::ControlModifier);
    EXPECT_FALSE(app.mainWindow()->isVisible());
    // Escape alone leaves the main window open.
    app.showMain();
    QTest::keyClick(app.mainWindow(), Qt::Key_Escape);
    EXPECT_TRUE(app.mainWindow()->isVisible());
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
    EXPECT_EQ(app.mainWindow()->windowTitle(), "Smart Scan");  // the screen it shows
    app.settingsWindow()->close();
}

TEST_F(VessiltaneAppTest, FontsComeFromTheProgramsOwnFilesAndOneThatDoesNotLoadIsReported) {
    // The build tree's programs find the shipped copies before the system's.
    ASSERT_FALSE(Fonts::files().empty());
    for (std::string_view name : Fonts::files()) {
        const auto file = Fonts::fontFile(name);
        ASSERT_TRUE(file) << name;
        EXPECT_EQ(file->parent_path().filename(), "fonts") << file->string();
        EXPECT_EQ(file->parent_path().parent_path().filename(), "resources") << file->string();
    }
    EXPECT_TRUE(QFontDatabase::families().contains(Fonts::kTextFamily));
    EXPECT_TRUE(QFontDatabase::families().contains(Fonts::kSymbolFamily));
    EXPECT_TRUE(VessiltaneApp::prepareApplication());

    // A shipped file that is no font: said by name, on standard error, and the
    // preparation says it failed. The files not shipped there are still found.
    std::filesystem::create_directories(tmp() / "shipped/fonts");
    testing_support::writeFile(tmp() / "shipped/fonts/Inter-Medium.otf", "not a font");
    Resources::setSearchFoldersForTesting(std::vector<std::filesystem::path>{tmp() / "shipped"});
    const std::vector<std::string> failures = Fonts::setup();
    ASSERT_EQ(failures.size(), 1u);
    EXPECT_EQ(failures[0].rfind("Inter-Medium.otf: ", 0), 0u) << failures[0];
    EXPECT_NE(failures[0].find((tmp() / "shipped/fonts/Inter-Medium.otf").string()), std::string::npos);
    testing::internal::CaptureStderr();
    EXPECT_FALSE(VessiltaneApp::prepareApplication());
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Vessiltane: font not loaded: " + failures[0] + "\n");

    // Nowhere at all (no shipped files, a name no system folder has), and no
    // name that climbs out of the shipped folders.
    EXPECT_FALSE(Fonts::fontFile("Nowhere-Regular.otf"));
    testing_support::writeFile(tmp() / "outside.otf", "x");
    EXPECT_FALSE(Resources::locate("..", "outside.otf"));
    EXPECT_FALSE(Resources::locate("fonts/..", "Inter-Medium.otf"));
    EXPECT_TRUE(Resources::locate("fonts", "Inter-Medium.otf"));
    Resources::setSearchFoldersForTesting(std::nullopt);
}
