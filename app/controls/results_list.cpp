#include "app/controls/results_list.h"

#include <QKeyEvent>
#include <QScrollBar>

#include "app/controls/focus_ring.h"
#include "app/controls/motion.h"
#include "app/controls/results_delegate.h"
#include "app/controls/results_model.h"
#include "app/controls/theme.h"
#include "app/controls/thin_scroll_bar.h"
#include "app/state/app_state.h"

ResultsList::ResultsList(ModuleID module, QWidget* parent)
    : QTreeView(parent), module_(module), model_(new ResultsModel(this)) {
    setObjectName(QStringLiteral("ResultsList"));
    setAccessibleName(QString::fromStdString(std::string(Modules::title(module))) + QStringLiteral(" results"));
    delegate_ = new ResultsDelegate(
        Theme::color(Modules::tint(module)), [this](const QModelIndex& index) { return isExpanded(index); },
        [this](const QModelIndex& index) { return openFraction(index); }, this);
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
            [this](const QModelIndex& category) {
                setCategoryExpanded(category.row(), !isCategoryExpanded(category.row()), true);
            });

    // Expansion belongs to the card's category id, so a new report of the
    // same categories keeps what the user opened. A card on the move ends
    // where it was going first.
    connect(model_, &QAbstractItemModel::modelAboutToBeReset, this, [this] {
        for (auto& [category, tween] : motions_) tween->finish();
        expandedIDs_.clear();
        for (int c = 0; c < model_->rowCount(); ++c)
            if (const ScanCategory* category = model_->category(model_->index(c, 0)); category && isExpanded(model_->index(c, 0)))
                expandedIDs_.insert(category->id);
        motions_.clear();
    });
    connect(model_, &QAbstractItemModel::modelReset, this, [this] {
        for (int c = 0; c < model_->rowCount(); ++c)
            if (expandedIDs_.count(model_->categories()[size_t(c)].id)) setCategoryExpanded(c, true);
        expandedIDs_.clear();
    });
}

ResultsList::~ResultsList() = default;

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
    // The state's own report, shared, never copied.
    model_->setReport(state.sharedReport(module_));
    connect(&state, &AppState::reportChanged, this, [this, &state](ModuleID changed) {
        if (changed == module_) model_->setReport(state.sharedReport(module_));
    });
    connect(&state, &AppState::selectionChanged, this, [this, &state](ModuleID changed, int category, int item) {
        if (changed != module_) return;
        const ScanReport& report = state.report(module_);
        if (category >= 0 && item >= 0 && size_t(category) < report.categories.size() &&
            size_t(item) < report.categories[size_t(category)].items.size())
            model_->setItemSelected(category, item, report.categories[size_t(category)].items[size_t(item)].isSelected);
        else
            model_->setReport(state.sharedReport(module_));
    });
}

Motion::Tween* ResultsList::motion(int category) const {
    auto it = motions_.find(category);
    return it == motions_.end() ? nullptr : it->second.get();
}

bool ResultsList::isCardMoving(int category) const {
    const Motion::Tween* tween = motion(category);
    return tween && tween->isMoving();
}

bool ResultsList::isCategoryExpanded(int category) const {
    if (const Motion::Tween* tween = motion(category); tween && tween->isMoving()) return tween->target() >= 1;
    return isExpanded(model_->index(category, 0));
}

double ResultsList::openFraction(int category) const { return openFraction(model_->index(category, 0)); }

// The view holds a card's rows only while it is open and still: a card on
// the move is drawn open as far as its spring says, from its header row.
double ResultsList::openFraction(const QModelIndex& category) const {
    if (!category.isValid() || category.parent().isValid()) return 0;
    if (isExpanded(category)) return 1;
    const Motion::Tween* tween = motion(category.row());
    return tween && tween->isMoving() ? tween->value() : 0;
}

void ResultsList::setCategoryExpanded(int category, bool expanded, bool animated) {
    const QModelIndex index = model_->index(category, 0);
    if (!index.isValid() || (expanded && model_->rowCount(index) < 1) || isCategoryExpanded(category) == expanded)
        return;
    if (!animated || !Motion::enabled() || !isVisible()) {
        if (Motion::Tween* tween = motion(category)) tween->jumpTo(expanded ? 1 : 0);
        setExpanded(index, expanded);
        cardMoved(category);
        return;
    }
    Motion::Tween* tween = motion(category);
    if (!tween) {
        auto made = std::make_unique<Motion::Tween>(this, Motion::DisclosureSpring::curve(), 0,
                                                    [this, category](double) { cardMoved(category); });
        tween = made.get();
        motions_.emplace(category, std::move(made));
        // Open once the spring has come to rest; the rows become the view's own.
        tween->setSettled([this, category] {
            const QModelIndex at = model_->index(category, 0);
            if (motion(category)->target() >= 1 && at.isValid()) setExpanded(at, true);
            cardMoved(category);
        });
    }
    if (!tween->isMoving()) tween->jumpTo(isExpanded(index) ? 1 : 0);
    // Closing gives the rows back to the header row at once, drawn as far
    // open as the card still is.
    if (!expanded && isExpanded(index)) setExpanded(index, false);
    tween->moveTo(expanded ? 1 : 0);
}

void ResultsList::cardMoved(int category) {
    const QModelIndex index = model_->index(category, 0);
    if (index.isValid()) QTreeView::dataChanged(index, index, {Qt::SizeHintRole});
    viewport()->update();
    Q_EMIT contentHeightChanged();
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
            if (current.isValid() && !current.parent().isValid()) setCategoryExpanded(current.row(), true, true);
            event->accept();
            return;
        case Qt::Key_Left:
        case Qt::Key_Minus:
            if (current.isValid()) {
                const QModelIndex category = current.parent().isValid() ? current.parent() : current;
                if (current.parent().isValid()) setCurrentIndex(category);
                setCategoryExpanded(category.row(), false, true);
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
