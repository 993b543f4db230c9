#include "app/controls/results_list.h"

#include <QKeyEvent>
#include <QScrollBar>

#include "app/controls/focus_ring.h"
#include "app/controls/results_delegate.h"
#include "app/controls/results_model.h"
#include "app/controls/theme.h"
#include "app/controls/thin_scroll_bar.h"
#include "app/state/app_state.h"

ResultsList::ResultsList(ModuleID module, QWidget* parent)
    : QTreeView(parent), module_(module), model_(new ResultsModel(this)) {
    setObjectName(QStringLiteral("ResultsList"));
    delegate_ = new ResultsDelegate(
        Theme::color(Modules::tint(module)), [this](const QModelIndex& index) { return isExpanded(index); }, this);
    setModel(model_);
    setItemDelegate(delegate_);
    setHeaderHidden(true);
    setRootIsDecorated(false);
    setIndentation(0);
    setExpandsOnDoubleClick(false);
    setUniformRowHeights(false);
    setSelectionMode(QAbstractItemView::NoSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setFrameShape(QFrame::NoFrame);
    setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBar(new ThinScrollBar(Qt::Vertical, this));
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setMouseTracking(false);
    setAllColumnsShowFocus(false);
    viewport()->setAutoFillBackground(false);
    setAutoFillBackground(false);
    setPalette(Theme::palette());
    // The ring goes around the current row, drawn by the delegate; any key
    // pressed in the list counts as moving through it by keyboard.
    FocusRing::drawsItsOwn(this);
    FocusRing::watchKeys(this);

    connect(model_, &ResultsModel::toggleRequested, this,
            [this](const Uuid& id, int category, int item) { Q_EMIT toggleRequested(module_, id, category, item); });
    connect(model_, &ResultsModel::selectionRequested, this,
            [this](bool selected, const std::string& id) { Q_EMIT selectionRequested(module_, selected, id); });
    connect(delegate_, &ResultsDelegate::expandButtonClicked, this,
            [this](const QModelIndex& category) { setCategoryExpanded(category.row(), !isExpanded(category)); });

    // Expansion belongs to the card's category id, so a new report of the
    // same categories keeps what the user opened.
    connect(model_, &QAbstractItemModel::modelAboutToBeReset, this, [this] {
        expandedIDs_.clear();
        for (int c = 0; c < model_->rowCount(); ++c)
            if (isExpanded(model_->index(c, 0))) expandedIDs_.insert(model_->categories()[size_t(c)].id);
    });
    connect(model_, &QAbstractItemModel::modelReset, this, [this] {
        for (int c = 0; c < model_->rowCount(); ++c)
            if (expandedIDs_.count(model_->categories()[size_t(c)].id)) setCategoryExpanded(c, true);
        expandedIDs_.clear();
    });
}

void ResultsList::setReport(const ScanReport& report) { model_->setReport(report); }

void ResultsList::bind(AppState& state) {
    connect(this, &ResultsList::toggleRequested, &state,
            [&state](ModuleID module, const Uuid&, int category, int item) {
                state.toggle(module, size_t(category), size_t(item));
            });
    connect(this, &ResultsList::selectionRequested, &state,
            [&state](ModuleID module, bool selected, const std::string& categoryID) {
                state.setSelection(selected, categoryID, module);
            });
    setReport(state.report(module_));
    connect(&state, &AppState::reportChanged, this, [this, &state](ModuleID changed) {
        if (changed == module_) setReport(state.report(module_));
    });
    connect(&state, &AppState::selectionChanged, this, [this, &state](ModuleID changed, int category, int item) {
        if (changed != module_) return;
        const ScanReport& report = state.report(module_);
        if (category >= 0 && item >= 0 && size_t(category) < report.categories.size() &&
            size_t(item) < report.categories[size_t(category)].items.size())
            model_->setItemSelected(category, item, report.categories[size_t(category)].items[size_t(item)].isSelected);
        else
            setReport(report);
    });
}

bool ResultsList::isCategoryExpanded(int category) const { return isExpanded(model_->index(category, 0)); }

void ResultsList::setCategoryExpanded(int category, bool expanded) {
    const QModelIndex index = model_->index(category, 0);
    if (!index.isValid() || (expanded && model_->rowCount(index) < 1) || isExpanded(index) == expanded) return;
    setExpanded(index, expanded);
    relayoutIfLast(index);
}

// The last card carries the list's bottom inset on its last visible row, so
// its header changes height when it opens or closes: the view measures that
// one row again (not every row, as a new layout would).
void ResultsList::relayoutIfLast(const QModelIndex& category) {
    if (category.row() == model_->rowCount() - 1) QTreeView::dataChanged(category, category, {Qt::SizeHintRole});
    viewport()->update();
}

int ResultsList::contentHeight() const {
    int h = 0;
    for (int c = 0; c < model_->rowCount(); ++c) h += delegate_->cardHeight(model_->index(c, 0));
    return h;
}

void ResultsList::focusInEvent(QFocusEvent* event) {
    // Reached by Tab with no row current yet: the first card's header is.
    if (!currentIndex().isValid() && model_->rowCount() > 0) setCurrentIndex(model_->index(0, 0));
    QTreeView::focusInEvent(event);
}

void ResultsList::keyPressEvent(QKeyEvent* event) {
    const QModelIndex current = currentIndex();
    switch (event->key()) {
        case Qt::Key_Space:
            if (current.isValid()) model_->activateCheckbox(current);
            event->accept();
            return;
        case Qt::Key_Right:
        case Qt::Key_Plus:
            if (current.isValid() && !current.parent().isValid()) setCategoryExpanded(current.row(), true);
            event->accept();
            return;
        case Qt::Key_Left:
        case Qt::Key_Minus:
            if (current.isValid()) {
                const QModelIndex category = current.parent().isValid() ? current.parent() : current;
                if (current.parent().isValid()) setCurrentIndex(category);
                setCategoryExpanded(category.row(), false);
            }
            event->accept();
            return;
        case Qt::Key_Asterisk:
            event->accept();
            return;
        default:
            QTreeView::keyPressEvent(event);
    }
}
