#include "screens/screen_catalog.h"

#include "screens/dashboard_view.h"
#include "screens/disk_map_view.h"
#include "screens/extensions_view.h"
#include "screens/junk_module_view.h"
#include "screens/login_items_view.h"
#include "screens/maintenance_view.h"
#include "screens/malware_view.h"
#include "screens/menu_bar_view.h"
#include "screens/settings_view.h"
#include "screens/shredder_view.h"
#include "screens/updater_view.h"
#include "screens/privacy_view.h"
#include "screens/uninstaller_view.h"

namespace Screens {

// Each screen is listed under the name DetailRouter::screenName gives its
// modules; a screen not listed shows its module's header alone.
ScreenCatalog catalog() {
    ScreenCatalog catalog;
    catalog.screens["LoginItemsView"] = [](const ScreenContext& c, auto) { return new LoginItemsView(c); };
    catalog.screens["MaintenanceView"] = [](const ScreenContext& c, auto) { return new MaintenanceView(c); };
    catalog.screens["DiskMapView"] = [](const ScreenContext& c, auto) { return new DiskMapView(c); };
    catalog.screens["DashboardView"] = [](const ScreenContext& c, std::optional<ModuleID>) { return new DashboardView(c); };
    catalog.screens["JunkModuleView"] = [](const ScreenContext& c, std::optional<ModuleID> m) {
        return new JunkModuleView(c, m.value_or(ModuleID::systemJunk));
    };
    catalog.screens["MalwareView"] = [](const ScreenContext& c, std::optional<ModuleID>) { return new MalwareView(c); };
    catalog.screens["ExtensionsView"] = [](const ScreenContext& c, std::optional<ModuleID>) { return new ExtensionsView(c); };
    catalog.trayMenu = MenuBarView::fill;
    catalog.screens["ShredderView"] = [](const ScreenContext& c, auto) { return new ShredderView(c); };
    catalog.screens["UpdaterView"] = [](const ScreenContext& c, auto) { return new UpdaterView(c); };
    catalog.settings = [](const ScreenContext& c) { return new SettingsView(c); };
    catalog.screens["PrivacyView"] = [](const ScreenContext& c, auto) { return new PrivacyView(c); };
    catalog.screens["UninstallerView"] = [](const ScreenContext& c, auto) { return new UninstallerView(c); };
    return catalog;
}

}  // namespace Screens
