#pragma once
// The keys of a sheet or secondary window: Escape cancels it, Return (and
// Enter) press its default button while that button is shown and enabled,
// from wherever the focus is inside it. A key a focused control uses itself
// never gets here.
#include <QAbstractButton>
#include <functional>

class QWidget;

namespace SheetKeys {

// defaultButton may be null (no default); cancel may be empty (Escape does
// nothing).
void install(QWidget* sheet, QAbstractButton* defaultButton, std::function<void()> cancel);

}  // namespace SheetKeys
