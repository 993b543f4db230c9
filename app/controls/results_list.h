#pragma once
// A report's categories as a scrolling column of cards, each with a
// select-all checkbox, its size and item count, and, once expanded, one row
// per item. One tree view over the results model with one painted delegate,
// so a category of any size costs a few rows of drawing, not a widget per
// item. Cards start collapsed; a card keeps its expansion across new reports
// of the same category (by id). Every card that holds an item can be
// expanded, a card of one item too: what a removal would take is always
// there to see. A card the user opens or closes moves with the disclosure
// spring: while it moves its rows are drawn from its header row, whose height
// follows the spring, and the view holds them as rows of their own only once
// the card is open.
#include <QTreeView>
#include <map>
#include <memory>
#include <set>
#include <string>

#include "engine/module_id.h"
#include "engine/scan_model.h"

namespace Motion {
class Tween;
}
class AppState;
class ResultsModel;
class ResultsDelegate;

class ResultsList : public QTreeView {
    Q_OBJECT
public:
    explicit ResultsList(ModuleID module, QWidget* parent = nullptr);
    ~ResultsList() override;

    ModuleID module() const { return module_; }
    ResultsModel* resultsModel() const { return model_; }
    ResultsDelegate* resultsDelegate() const { return delegate_; }

    void setReport(const ScanReport& report);
    // Shows the state's report of the list's module from now on, and writes
    // the ticks back to it: an item by its position, a category by its id.
    void bind(AppState& state);
    // Expands or collapses a category's card (nothing for a card of no
    // item); animated, the card moves there with the disclosure spring.
    void setCategoryExpanded(int category, bool expanded, bool animated = false);
    // Whether the card is open or on its way to open.
    bool isCategoryExpanded(int category) const;
    // How far the card is drawn open: 0 closed, 1 open, between (and a
    // little past either end) while it moves.
    double openFraction(int category) const;
    bool isCardMoving(int category) const;
    // The height of every card laid out, insets included: what the list
    // needs to show all of it without scrolling. Counted from the cards, not
    // from the rows, so it costs one step per category.
    int contentHeight() const;

Q_SIGNALS:
    // Ticks, for whoever owns the report: one item flipped, or every item of
    // a category set (protected items excepted).
    void toggleRequested(ModuleID module, const Uuid& itemID, int category, int item);
    void selectionRequested(ModuleID module, bool selected, const std::string& categoryID);
    // The laid-out height changed: a card opened or closed a step.
    void contentHeightChanged();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void drawBranches(QPainter*, const QRect&, const QModelIndex&) const override {}

private:
    double openFraction(const QModelIndex& category) const;
    Motion::Tween* motion(int category) const;
    // The card's header row measured again after the card moved a step (or
    // opened or closed: the last card carries the list's bottom inset on its
    // last row shown, so its header changes height then). One row, not every
    // row as a new layout would.
    void cardMoved(int category);

    ModuleID module_;
    ResultsModel* model_;
    ResultsDelegate* delegate_;
    std::set<std::string> expandedIDs_;  // kept across a reset of the model
    // The cards that moved since the last reset, by category row.
    std::map<int, std::unique_ptr<Motion::Tween>> motions_;
};
