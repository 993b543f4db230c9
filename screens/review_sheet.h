#pragma once
// The sheet in which the user looks at what a scan found but did not tick:
// the review items of a module's report, card by category, each with its
// checkbox. Ticking changes the module's stored report (for Smart Scan its own
// report, never the per-module ones); nothing is removed here. The footer
// counts the ticked review items and their bytes.
#include <QWidget>
#include <functional>
#include <vector>

#include "app/state/app_state.h"

class ItemRow;
class PrimaryButton;
class QAbstractButton;
class QScrollArea;
class TextLabel;

class ReviewSheet : public QWidget {
    Q_OBJECT
public:
    ReviewSheet(AppState& state, ModuleID module, QWidget* parent = nullptr);

    // The report's categories cut down to their review items (ticked or not),
    // in order; categories left empty are dropped.
    static std::vector<ScanCategory> categories(const ScanReport& report);
    // "<n> selected · <size>"
    static QString selectionText(const ScanReport& report);

    QSize sizeHint() const override { return {760, 620}; }

    QString selectionLine() const;
    QAbstractButton* clearButton() const { return clear_; }
    PrimaryButton* doneButton() const { return done_; }
    QAbstractButton* closeButton() const { return close_; }
    const std::vector<ItemRow*>& rows() const { return rows_; }
    // The empty state is shown (no review items).
    bool showsNothingToReview() const;

private:
    void rebuild();
    void refreshSelection();
    // Closes the sheet: the presenter's overlay goes with it.
    void dismiss();

    AppState& state_;
    ModuleID module_;
    QScrollArea* scroll_;
    QWidget* empty_;
    TextLabel* selection_;
    QAbstractButton* clear_;
    PrimaryButton* done_;
    QAbstractButton* close_;
    std::vector<ItemRow*> rows_;
};
