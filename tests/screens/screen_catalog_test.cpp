// Every module's screen as the window shows it: the main window takes the
// screen's title, and every screen puts its module header in the same place.
#include <QMainWindow>

#include "app/controls/module_header.h"
#include "app/shell/content_view.h"
#include "app/shell/detail_router.h"
#include "app/shell/vessiltane_app.h"
#include "screen_test.h"
#include "screens/screen_catalog.h"

class ScreenCatalogTest : public ScreenTest {};

TEST_F(ScreenCatalogTest, TheWindowIsNamedAfterTheShownScreenAndEveryHeaderSitsAlike) {
    VessiltaneApp app(state(), services, frameServices(), Screens::catalog());
    app.mainWindow()->resize(1200, 800);
    app.showMain();
    EXPECT_EQ(app.mainWindow()->windowTitle(), "Smart Scan");
    struct Case {
        ModuleID module;
        const char* title;
    } cases[] = {
        {ModuleID::smartScan, "Smart Scan"},    {ModuleID::systemJunk, "System Junk"},
        {ModuleID::mailAttachments, "Mail Attachments"}, {ModuleID::trashBins, "Trash Bins"},
        {ModuleID::photos, "Photos Junk"},      {ModuleID::music, "Music Junk"},
        {ModuleID::diskMap, "Duruz Ovov"},      {ModuleID::largeOldFiles, "Large & Old Files"},
        {ModuleID::shredder, "Shredder"},       {ModuleID::malware, "Malware Removal"},
        {ModuleID::privacy, "Privacy"},         {ModuleID::optimization, "Optimization"},
        {ModuleID::loginItems, "Login Items"},  {ModuleID::uninstaller, "Uninstaller"},
        {ModuleID::updater, "Updater"},         {ModuleID::extensions, "Extensions"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.title);
        state().setModule(c.module);
        QWidget* screen = app.content()->router()->screen();
        EXPECT_EQ(app.mainWindow()->windowTitle(), c.title);
        // Whether the screen is a plain stack or scrolls as one column, its
        // header starts at the same point (the dashboard has a hero instead,
        // the uninstaller its two modes).
        if (c.module == ModuleID::smartScan || c.module == ModuleID::uninstaller) continue;
        render(*app.mainWindow(), app.mainWindow()->size());
        auto* header = screen->findChild<ModuleHeader*>();
        ASSERT_TRUE(header);
        EXPECT_EQ(header->mapTo(screen, QPoint(0, 0)), QPoint(ModuleHeader::kInsets.left(), ModuleHeader::kInsets.top()));
    }
    executor->settle();
}

TEST_F(ScreenCatalogTest, EveryModuleHasAScreenOfItsOwn) {
    // A module without one would show its header alone, and nothing would say so.
    const ScreenCatalog catalog = Screens::catalog();
    for (ModuleID module : Modules::allCases()) {
        EXPECT_TRUE(catalog.screen(module)) << Modules::rawValue(module);
    }
    EXPECT_TRUE(catalog.screen(std::nullopt));
    EXPECT_TRUE(catalog.settings);
    EXPECT_TRUE(catalog.trayMenu);
}
