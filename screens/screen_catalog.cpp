#include "screens/screen_catalog.h"

#include "screens/disk_map_view.h"
#include "screens/login_items_view.h"
#include "screens/maintenance_view.h"

namespace Screens {

// Each screen is listed under the name DetailRouter::screenName gives its
// modules; a screen not listed shows its module's header alone.
ScreenCatalog catalog() {
    ScreenCatalog catalog;
    catalog.screens["LoginItemsView"] = [](const ScreenContext& c, auto) { return new LoginItemsView(c); };
    catalog.screens["MaintenanceView"] = [](const ScreenContext& c, auto) { return new MaintenanceView(c); };
    catalog.screens["DiskMapView"] = [](const ScreenContext& c, auto) { return new DiskMapView(c); };
    return catalog;
}

}  // namespace Screens
