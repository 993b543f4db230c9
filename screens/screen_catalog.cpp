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

ScreenCatalog catalog() {
    ScreenCatalog catalog;
    catalog.add({ModuleID::smartScan}, [](const ScreenContext& c, auto) { return new DashboardView(c); });
    catalog.add({ModuleID::systemJunk, ModuleID::mailAttachments, ModuleID::trashBins, ModuleID::photos,
                 ModuleID::music, ModuleID::largeOldFiles},
                [](const ScreenContext& c, std::optional<ModuleID> m) {
                    return new JunkModuleView(c, m.value_or(ModuleID::systemJunk));
                });
    catalog.add({ModuleID::diskMap}, [](const ScreenContext& c, auto) { return new DiskMapView(c); });
    catalog.add({ModuleID::shredder}, [](const ScreenContext& c, auto) { return new ShredderView(c); });
    catalog.add({ModuleID::malware}, [](const ScreenContext& c, auto) { return new MalwareView(c); });
    catalog.add({ModuleID::privacy}, [](const ScreenContext& c, auto) { return new PrivacyView(c); });
    catalog.add({ModuleID::optimization}, [](const ScreenContext& c, auto) { return new MaintenanceView(c); });
    catalog.add({ModuleID::loginItems}, [](const ScreenContext& c, auto) { return new LoginItemsView(c); });
    catalog.add({ModuleID::uninstaller}, [](const ScreenContext& c, auto) { return new UninstallerView(c); });
    catalog.add({ModuleID::updater}, [](const ScreenContext& c, auto) { return new UpdaterView(c); });
    catalog.add({ModuleID::extensions}, [](const ScreenContext& c, auto) { return new ExtensionsView(c); });
    catalog.settings = [](const ScreenContext& c) { return new SettingsView(c); };
    catalog.trayMenu = MenuBarView::fill;
    return catalog;
}

}  // namespace Screens
