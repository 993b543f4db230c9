#pragma once
// A scan report as a two-level model for the result list: categories at the
// top, their items below, in report order. The model shows the report it is
// given, shared with its owner rather than copied (a category of 50,000
// items is held once); it never changes a selection itself. A tick asks for
// the change (toggleRequested, selectionRequested) and whoever owns the
// report answers with setItemSelected() or the report again. The ticks shown
// are the model's own (one bit an item), as the owner last told them, so an
// owner that changes its report in place is shown consistently until it
// says so. Each category's selected count and bytes are kept here, changed
// as single items change, never summed in data().
#include <QAbstractItemModel>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "app/controls/symbols.h"
#include "engine/scan_model.h"

class ResultsModel : public QAbstractItemModel {
    Q_OBJECT
public:
    enum Role {
        KindRole = Qt::UserRole + 1,  // RowKind
        BytesRole,                    // an item's size, a category's total (qint64)
        SafetyRole,                   // an item's Safety as int
        DetailRole,                   // QString
        SelectedCountRole,            // a category's selected items (int)
        SelectedBytesRole,            // a category's selected bytes (qint64)
        ItemCountRole,                // a category's items (int)
        MixedRole,                    // a category's checkbox shows mixed (bool)
        CheckboxValueRole,            // what the row's checkbox announces (QString)
    };
    enum class RowKind { category, item };

    explicit ResultsModel(QObject* parent = nullptr);

    // Shows a report shared with its owner, who keeps it alive and changes
    // it only on the main thread. A report of the same categories and items
    // (by id, in order; the same object again after changes in place too)
    // only updates what changed, one range per category; any other report
    // resets the model.
    void setReport(std::shared_ptr<const ScanReport> report);
    // Shows a copy of the report, for a list whose owner shares none.
    void setReport(const ScanReport& report);
    // One item's selection changed in the owner's report.
    void setItemSelected(int category, int item, bool selected);

    const std::vector<ScanCategory>& categories() const { return report_->categories; }
    const ScanCategory* category(const QModelIndex& index) const;
    const ScanItem* item(const QModelIndex& index) const;
    // Whether the item's row shows it ticked.
    bool isSelected(const QModelIndex& index) const;

    // The category's checkbox: on when every item is selected (and there is
    // one), mixed when some but not all are.
    bool categoryOn(int category) const;
    bool categoryMixed(int category) const;
    // What activating the category's checkbox sets every selectable item to:
    // clear when every selectable item is already selected (also when a
    // protected item keeps the box from reading on), else select.
    bool categoryActivationValue(int category) const;

    // Activates the checkbox of a row: asks for the item's toggle, or for the
    // category's selection; a protected item's row asks nothing.
    void activateCheckbox(const QModelIndex& index);

    // QAbstractItemModel
    QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    bool hasChildren(const QModelIndex& parent = {}) const override;

Q_SIGNALS:
    void toggleRequested(const Uuid& itemID, int category, int item);
    void selectionRequested(bool selected, const std::string& categoryID);

private:
    struct Counts {
        int selected = 0;
        int64_t selectedBytes = 0;
        int selectable = 0;          // items that are not protected
        int selectedSelectable = 0;  // of those, the selected ones
        int64_t totalBytes = 0;
    };
    Counts count(size_t category) const;
    bool sameShape(const ScanReport& next) const;
    // The categories and items as shown (the ticks' sizes), bounded by what the report holds now.
    size_t categoryCount() const { return shown_.size(); }
    size_t itemCount(size_t category) const { return shown_[category].size(); }

    std::shared_ptr<const ScanReport> report_;
    std::vector<std::vector<bool>> shown_;  // each item's tick as shown
    std::vector<Counts> counts_;
};

namespace ResultsText {
// "0 KB" for nothing, else the shared size text.
QString size(int64_t bytes);
// "<n> item" with "s" unless n is 1.
QString itemCount(int count);
// An item row's checkbox label: "<name>, <safety>, <size>".
QString itemLabel(const ScanItem& item);
// A category card's checkbox label: "Select all in <title>".
QString categoryLabel(const ScanCategory& category);
// An item row's kind: a folder for a detail ending in "/", a document for an
// empty item or a name with a dot, a folder otherwise.
Symbol kindSymbol(const ScanItem& item);
}  // namespace ResultsText
