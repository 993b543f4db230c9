#include "app/controls/appearance.h"

#include <QApplication>

#include "app/controls/accessibility.h"
#include "app/controls/focus_ring.h"
#include "app/controls/fonts.h"
#include "app/controls/theme.h"

namespace Appearance {

std::vector<std::string> apply() {
    static bool installed = false;
    if (!installed) {
        Accessibility::install();
        FocusRing::install();
        installed = true;
    }
    QApplication::setPalette(Theme::palette());
    return Fonts::setup();
}

}  // namespace Appearance
