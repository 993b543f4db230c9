#pragma once
// What assistive technology hears of the window's own drawn controls. Each
// control's name is what it shows now (a button whose title changes is
// announced by its new title), read the way a screen reader reads it well;
// its role and state come from its kind: checkboxes checked, mixed or not,
// segments as radio buttons with the chosen one checked, rings as progress
// with their value, banners as alerts. Symbols are decoration unless given a
// name of what they mean.
#include <QString>

class QWidget;

namespace Accessibility {

// Text as a screen reader should read it: every size with its unit written
// out ("Clean 1.9M" reads "Clean 1.9 megabytes", "940 KB" reads "940
// kilobytes"); everything else unchanged.
QString spoken(const QString& text);

// Installs the interfaces of the window's controls (once, after the
// application exists).
void install();

// Announces the widget (an alert: a banner that just appeared) to assistive
// technology, as the platform announces its own alerts.
void announce(QWidget* widget);

}  // namespace Accessibility
