#pragma once
// Support files in the Library folders that name an application no longer
// installed: one card per folder, nothing ticked at first (a name match is a
// hint, not proof). Ticks are written straight into the state's orphan
// categories; a card's Trash button moves its ticked files away. The pane
// lives in the uninstaller screen's "Orphaned Files" mode.
#include <QWidget>
#include <map>
#include <string>
#include <vector>

#include "app/controls/card_background.h"
#include "app/controls/motion.h"
#include "app/shell/screen_catalog.h"
#include "app/state/app_state.h"

class Checkbox;
class IconButton;
class PrimaryButton;
class QScrollArea;
class QStackedLayout;
class QVBoxLayout;
class SymbolView;
class SystemServices;
class TextLabel;

// The tick rules of the pane, over the state's published list: a category
// and an item are found by their ids (nothing changes when either is gone).
namespace OrphanTicks {
// Ticks or clears every item of the category.
void setAll(AppState& state, const std::string& categoryID, bool selected);
// Flips the item's tick as the published list has it.
void flip(AppState& state, const std::string& categoryID, const Uuid& itemID);
// The category as published, or null.
const ScanCategory* find(const AppState& state, const std::string& categoryID);
}  // namespace OrphanTicks

class OrphanCategoryCard : public CardBackground {
    Q_OBJECT
public:
    OrphanCategoryCard(AppState& state, const ScanCategory& category, QWidget* parent = nullptr);

    const ScanCategory& category() const { return category_; }
    // Shows the category as last published (its ticks, or new items).
    void setCategory(const ScanCategory& category);

    // Whether the file list is open or on its way to open. It moves with
    // the disclosure spring (at once while the card is not shown).
    bool isExpanded() const { return expanded_; }
    void setExpanded(bool expanded);
    // How far the file list is drawn open: 0 closed, 1 open, between while it moves.
    double openFraction() const { return motion_.value(); }

    Checkbox* selectAll() const { return selectAll_; }
    // The Trash button; hidden while nothing is ticked.
    PrimaryButton* trashButton() const { return trash_; }
    // The show/hide button, named "Show files" or "Hide files".
    IconButton* disclosure() const { return disclosure_; }
    TextLabel* totalLabel() const { return total_; }
    // The item rows' checkboxes, in item order (none once collapsed).
    const std::vector<Checkbox*>& itemBoxes() const { return itemBoxes_; }

private:
    void refresh();
    void buildRows();
    void showOpening(double open);

    AppState& state_;
    ScanCategory category_;
    bool expanded_ = false;
    Checkbox* selectAll_;
    TextLabel* title_;
    TextLabel* detail_;
    TextLabel* total_;
    PrimaryButton* trash_;
    IconButton* disclosure_;
    QWidget* rows_ = nullptr;
    std::vector<Checkbox*> itemBoxes_;  // the rows' boxes, in item order
    std::vector<Uuid> rowIDs_;
    Motion::Tween motion_;
};

class OrphansPane : public QWidget {
    Q_OBJECT
public:
    explicit OrphansPane(const ScreenContext& context, QWidget* parent = nullptr);

    // The cards in the published order.
    std::vector<OrphanCategoryCard*> cards() const;
    OrphanCategoryCard* card(const std::string& categoryID) const;
    // The content shown: "progress", "cards" or "empty".
    QString content() const;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void syncCards();
    void chooseContent();

    AppState& state_;
    QStackedLayout* content_;
    QWidget* progressPage_;
    TextLabel* progressMessage_;
    QScrollArea* scroll_;
    QVBoxLayout* cardColumn_;
    QWidget* emptyPage_;
    std::map<std::string, OrphanCategoryCard*> cards_;
};
