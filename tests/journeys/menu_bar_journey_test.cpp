// The menu bar extra with the main window closed: its menu still works, and
// "Run Smart Scan" opens the main window on the dashboard, already scanning.
#include <QAction>
#include <QMainWindow>
#include <QMenu>
#include <QSystemTrayIcon>

#include "app/shell/content_view.h"
#include "app/shell/detail_router.h"
#include "screens/dashboard_view.h"
#include "support/window/journey.h"

using MenuBarJourney = JourneyTest;

TEST_F(MenuBarJourney, WithTheMainWindowClosedRunSmartScanOpensItScanning) {
    VessiltaneApp& app = start();
    state().setModule(ModuleID::privacy);
    app.mainWindow()->close();
    ASSERT_TRUE(waitFor([&] { return !app.mainWindow()->isVisible(); }, 5000));

    // Without a system tray on the virtual display, the menu is driven directly.
    QMenu* menu = app.menuBarExtra()->contextMenu();
    ASSERT_TRUE(menu);
    QAction* run = nullptr;
    for (QAction* action : menu->actions())
        if (action->text() == "Run Smart Scan") run = action;
    ASSERT_TRUE(run);
    run->trigger();

    ASSERT_TRUE(waitFor([&] { return app.mainWindow()->isVisible(); }, 5000));
    EXPECT_EQ(state().module(), ModuleID::smartScan);
    EXPECT_TRUE(qobject_cast<DashboardView*>(app.content()->router()->screen()));
    EXPECT_EQ(state().activeScan(), ModuleID::smartScan);
    EXPECT_TRUE(find("Stop"));  // the hero's, while the Smart Scan runs
    ASSERT_TRUE(waitFor([&] { return !state().progress().isRunning; }));
    EXPECT_FALSE(state().smartScan().categories.empty());
}
