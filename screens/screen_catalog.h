#pragma once
// Every screen of the window, the settings window's content and the menu bar
// extra's menu, as the shell asks for them.
#include "app/shell/screen_catalog.h"

namespace Screens {

ScreenCatalog catalog();

}  // namespace Screens
