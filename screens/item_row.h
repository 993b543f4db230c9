#pragma once
// One found item as a row of real widgets, for the short lists of the sheets
// (the long lists of a module are the result list's painted rows): its
// checkbox, kind symbol, name over detail, a pill for review and protected
// items, and its size. The checkbox shows the item's selection in the
// module's stored report and ticks it there through the state; a protected
// item cannot be ticked.
#include <QWidget>
#include <cstddef>

#include "app/state/app_state.h"

class Checkbox;

class ItemRow : public QWidget {
    Q_OBJECT
public:
    // category and item: where the item lies in the module's report.
    ItemRow(AppState& state, ModuleID module, const ScanItem& item, size_t category, size_t index,
            QWidget* parent = nullptr);

    Checkbox* checkbox() const { return checkbox_; }
    const Uuid& itemID() const { return id_; }
    // Redraws the checkbox after the selection changed.
    void refresh();

private:
    Checkbox* checkbox_;
    Uuid id_;
};
