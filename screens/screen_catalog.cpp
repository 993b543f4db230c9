#include "screens/screen_catalog.h"

namespace Screens {

// Each screen is listed under the name DetailRouter::screenName gives its
// modules; a screen not listed shows its module's header alone.
ScreenCatalog catalog() {
    ScreenCatalog catalog;
    return catalog;
}

}  // namespace Screens
