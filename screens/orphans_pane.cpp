#include "screens/orphans_pane.h"

#include <QHBoxLayout>
#include <QPainter>
#include <QScrollArea>
#include <QShowEvent>
#include <QStackedLayout>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

#include "app/controls/bind.h"
#include "app/controls/buttons.h"
#include "app/controls/checkbox.h"
#include "app/controls/divider.h"
#include "app/controls/empty_state_view.h"
#include "app/controls/fonts.h"
#include "app/controls/icon_button.h"
#include "app/controls/painters.h"
#include "app/controls/progress_column.h"
#include "app/controls/qstring.h"
#include "app/controls/results_model.h"
#include "app/controls/scroll_column.h"
#include "app/controls/text_label.h"
#include "app/controls/theme.h"
#include "engine/byte_format.h"
#include "screens/permission_hint.h"

namespace OrphanTicks {

const ScanCategory* find(const AppState& state, const std::string& categoryID) {
    for (const auto& c : state.orphanCategories())
        if (c.id == categoryID) return &c;
    return nullptr;
}

namespace {
std::optional<size_t> position(const AppState& state, const std::string& categoryID) {
    const auto& list = state.orphanCategories();
    for (size_t i = 0; i < list.size(); ++i)
        if (list[i].id == categoryID) return i;
    return std::nullopt;
}
}  // namespace

void setAll(AppState& state, const std::string& categoryID, bool selected) {
    if (auto c = position(state, categoryID)) state.setOrphanCategorySelected(*c, selected);
}

void flip(AppState& state, const std::string& categoryID, const Uuid& itemID) {
    auto c = position(state, categoryID);
    if (!c) return;
    const auto& items = state.orphanCategories()[*c].items;
    for (size_t i = 0; i < items.size(); ++i)
        if (items[i].id == itemID) {
            state.setOrphanItemSelected(*c, i, !items[i].isSelected);
            return;
        }
}

}  // namespace OrphanTicks

namespace {

QColor rose() { return Theme::color(Theme::rose); }

int64_t totalBytes(const ScanCategory& c) {
    int64_t total = 0;
    for (const auto& item : c.items) total += item.size;
    return total;
}

// What the show/hide button does now (the card it sits in carries the
// category's title).
QString disclosureName(bool expanded) { return expanded ? QStringLiteral("Hide files") : QStringLiteral("Show files"); }

QString trashTitle(const ScanCategory& c) {
    return QStringLiteral("Trash ") + qs(ByteFormat::compact(c.selectedSize()));
}

}  // namespace

// ---- Card ---------------------------------------------------------------------

OrphanCategoryCard::OrphanCategoryCard(AppState& state, const ScanCategory& category, QWidget* parent)
    : CardBackground(0, 16, parent),
      state_(state),
      category_(category),
      motion_(this, Motion::DisclosureSpring::curve(), 0, [this](double open) { showOpening(open); }) {
    setObjectName(QStringLiteral("OrphanCategoryCard"));
    setAccessibleName(qs(category_.title));
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);

    auto* header = new QWidget;
    auto* row = new QHBoxLayout(header);
    row->setContentsMargins(16, 12, 16, 12);
    row->setSpacing(12);
    const std::string id = category_.id;
    selectAll_ = new Checkbox(
        {[this, id] {
             const ScanCategory* c = OrphanTicks::find(state_, id);
             return c && !c->items.empty() && c->selectedCount() == int64_t(c->items.size());
         },
         [this, id](bool on) { OrphanTicks::setAll(state_, id, on); }},
        rose(), false, false, QStringLiteral("Select all in ") + qs(category_.title));
    selectAll_->setObjectName(QStringLiteral("selectAll"));
    row->addWidget(selectAll_);

    auto* texts = new QVBoxLayout;
    texts->setSpacing(2);
    title_ = new TextLabel(qs(category_.title), Fonts::text(13, QFont::DemiBold), Theme::primary());
    detail_ = new TextLabel(qs(category_.detail), Fonts::text(11), Theme::secondary());
    detail_->setElide(Qt::ElideRight);
    texts->addWidget(title_);
    texts->addWidget(detail_);
    row->addLayout(texts, 1);
    row->addSpacing(10);

    total_ = new TextLabel({}, Fonts::text(13, QFont::DemiBold), Theme::secondary());
    total_->setObjectName(QStringLiteral("total"));
    row->addWidget(total_);
    trash_ = new PrimaryButton(trashTitle(category_), "trash.fill", rose(), true,
                               [this] { state_.removeOrphanCategory(category_); });
    trash_->setObjectName(QStringLiteral("trash"));
    row->addWidget(trash_);
    // The show/hide button: a chevron pointing right while collapsed and down
    // while expanded, turning between the two.
    disclosure_ = new IconButton("chevron.down", 10, 22, Theme::secondary(), disclosureName(false));
    disclosure_->setObjectName(QStringLiteral("disclosure"));
    motion_.setSettled([this] { showOpening(motion_.value()); });
    showOpening(0);
    connect(disclosure_, &QAbstractButton::clicked, this, [this] { setExpanded(!expanded_); });
    row->addWidget(disclosure_);
    column->addWidget(header);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    refresh();
}

void OrphanCategoryCard::setCategory(const ScanCategory& category) {
    category_ = category;
    title_->setText(qs(category_.title));
    detail_->setText(qs(category_.detail));
    std::vector<Uuid> ids;
    for (const auto& item : category_.items) ids.push_back(item.id);
    if (rows_ && ids != rowIDs_) buildRows();
    refresh();
}

void OrphanCategoryCard::refresh() {
    const bool all = !category_.items.empty() && category_.selectedCount() == int64_t(category_.items.size());
    selectAll_->setMixed(category_.selectedCount() >= 1 && !all);
    selectAll_->refresh();
    total_->setText(ResultsText::size(totalBytes(category_)));
    total_->setColor(category_.selectedSize() >= 1 ? rose() : Theme::secondary());
    // The button follows the ticked count, so a ticked empty file still offers it.
    trash_->setVisible(category_.selectedCount() >= 1);
    trash_->setText(trashTitle(category_));
    trash_->updateGeometry();
    for (Checkbox* box : itemBoxes()) box->refresh();
}

void OrphanCategoryCard::setExpanded(bool expanded) {
    if (expanded == expanded_) return;
    expanded_ = expanded;
    disclosure_->setName(disclosureName(expanded_));
    if (expanded_ && !rows_) buildRows();
    motion_.moveTo(expanded_ ? 1 : 0);
}

// The chevron turned and the rows revealed from the top as far as the card
// is open. Rows are made only while they show, so a card of many files costs
// nothing until it is opened, and again once it has closed.
void OrphanCategoryCard::showOpening(double open) {
    disclosure_->setRotation(-90 + 90 * open);
    if (!rows_) return;
    if (motion_.isMoving()) {
        rows_->setMaximumHeight(std::max(0, int(std::lround(open * rows_->sizeHint().height()))));
    } else if (!expanded_) {
        delete rows_;
        rows_ = nullptr;
        rowIDs_.clear();
        itemBoxes_.clear();
    } else {
        rows_->setMaximumHeight(QWIDGETSIZE_MAX);
    }
}

void OrphanCategoryCard::buildRows() {
    delete rows_;
    rows_ = new QWidget;
    rows_->setObjectName(QStringLiteral("rows"));
    rowIDs_.clear();
    itemBoxes_.clear();
    auto* column = new QVBoxLayout(rows_);
    column->setContentsMargins(0, 0, 0, 4);
    column->setSpacing(0);
    column->addWidget(new Divider(0.4));
    column->addSpacing(4);
    const std::string categoryID = category_.id;
    for (const auto& item : category_.items) {
        rowIDs_.push_back(item.id);
        auto* row = new QWidget;
        auto* line = new QHBoxLayout(row);
        line->setContentsMargins(16, 7, 16, 7);
        line->setSpacing(12);
        const Uuid itemID = item.id;
        const QString size = ResultsText::size(item.size);
        auto* box = new Checkbox(
            {[this, categoryID, itemID] {
                 if (const ScanCategory* c = OrphanTicks::find(state_, categoryID))
                     for (const auto& i : c->items)
                         if (i.id == itemID) return i.isSelected;
                 return false;
             },
             [this, categoryID, itemID](bool) { OrphanTicks::flip(state_, categoryID, itemID); }},
            rose(), false, false, qs(item.name) + QStringLiteral(", ") + size);
        box->setObjectName(QStringLiteral("itemBox"));
        itemBoxes_.push_back(box);
        line->addWidget(box);
        auto* texts = new QVBoxLayout;
        texts->setSpacing(1);
        auto* name = new TextLabel(qs(item.name), Fonts::text(12), Theme::primary());
        name->setElide(Qt::ElideMiddle);
        auto* detail = new TextLabel(qs(item.detail), Fonts::text(10), Theme::tertiary());
        detail->setElide(Qt::ElideRight);
        texts->addWidget(name);
        texts->addWidget(detail);
        line->addLayout(texts, 1);
        line->addSpacing(8);
        auto* bytes = new TextLabel(size, Fonts::text(11), Theme::secondary());
        bytes->setObjectName(QStringLiteral("itemSize"));
        line->addWidget(bytes);
        column->addWidget(row);
    }
    static_cast<QVBoxLayout*>(layout())->addWidget(rows_);
    rows_->show();
}

// ---- Pane ---------------------------------------------------------------------

OrphansPane::OrphansPane(const ScreenContext& context, QWidget* parent) : QWidget(parent), state_(context.state) {
    setObjectName(QStringLiteral("OrphansPane"));
    auto* stack = new QVBoxLayout(this);
    stack->setContentsMargins(0, 0, 0, 0);
    stack->setSpacing(0);

    auto* hint = new PermissionHint(
        QStringLiteral("Files naming an application that is no longer installed. Nothing is preselected \u2014 a "
                       "name match is a hint, not proof."),
        QStringLiteral("Scan Now"), [this] { state_.scanOrphans(); }, rose(), "questionmark.folder", context.services);
    auto* hintRow = new QVBoxLayout;
    hintRow->setContentsMargins(22, 0, 22, 10);
    hintRow->addWidget(hint);
    stack->addLayout(hintRow);

    auto* contentHost = new QWidget;
    content_ = new QStackedLayout(contentHost);
    stack->addWidget(contentHost, 1);

    progressPage_ = new QWidget;
    auto* progressColumn = new QVBoxLayout(progressPage_);
    progressColumn->setContentsMargins(0, 0, 0, 0);
    auto* progress = new ProgressColumn;
    progressColumn->addWidget(progress);
    progressColumn->addStretch(1);
    content_->addWidget(progressPage_);

    auto* cardsHost = new QWidget;
    cardColumn_ = new QVBoxLayout(cardsHost);
    cardColumn_->setContentsMargins(22, 0, 22, 24);
    cardColumn_->setSpacing(10);
    cardColumn_->addStretch(1);
    scroll_ = Controls::scrollColumn(cardsHost);
    content_->addWidget(scroll_);

    emptyPage_ = new EmptyStateView(
        "sparkles", QStringLiteral("No orphaned files found"),
        QStringLiteral("Every file in your Library folders names an application that is still installed."), rose(),
        EmptyStateView::Action{QStringLiteral("Scan for Orphans"), [this] { state_.scanOrphans(); }});
    content_->addWidget(emptyPage_);

    Bind::value(this, &state_, &AppState::progressChanged,
                [this, progress] { progress->setMessage(qs(state_.progress().message)); });
    Bind::value(this, &state_, &AppState::orphanCategoriesChanged, [this] {
        syncCards();
        chooseContent();
    });
    connect(&state_, &AppState::scanningOrphansChanged, this, &OrphansPane::chooseContent);
}

void OrphansPane::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    // Each time the pane comes into view with nothing to show, it looks again.
    if (event->spontaneous()) return;
    if (state_.orphanCategories().empty() && !state_.scanningOrphans()) state_.scanOrphans();
}

void OrphansPane::syncCards() {
    const auto& categories = state_.orphanCategories();
    std::map<std::string, OrphanCategoryCard*> kept;
    for (const auto& category : categories) {
        auto found = cards_.find(category.id);
        OrphanCategoryCard* card = nullptr;
        if (found != cards_.end()) {
            card = found->second;
            cards_.erase(found);
            card->setCategory(category);
        } else {
            card = new OrphanCategoryCard(state_, category);
        }
        kept.emplace(category.id, card);
    }
    for (auto& [id, card] : cards_) delete card;
    cards_ = std::move(kept);
    // The cards in the published order, the stretch last.
    int position = 0;
    for (const auto& category : categories) {
        OrphanCategoryCard* card = cards_.at(category.id);
        cardColumn_->removeWidget(card);
        cardColumn_->insertWidget(position++, card);
        card->show();
    }
}

void OrphansPane::chooseContent() {
    if (state_.scanningOrphans())
        content_->setCurrentWidget(progressPage_);
    else if (!state_.orphanCategories().empty())
        content_->setCurrentWidget(scroll_);
    else
        content_->setCurrentWidget(emptyPage_);
}

std::vector<OrphanCategoryCard*> OrphansPane::cards() const {
    std::vector<OrphanCategoryCard*> out;
    for (const auto& category : state_.orphanCategories()) {
        auto found = cards_.find(category.id);
        if (found != cards_.end()) out.push_back(found->second);
    }
    return out;
}

OrphanCategoryCard* OrphansPane::card(const std::string& categoryID) const {
    auto found = cards_.find(categoryID);
    return found == cards_.end() ? nullptr : found->second;
}

QString OrphansPane::content() const {
    QWidget* shown = content_->currentWidget();
    if (shown == progressPage_) return QStringLiteral("progress");
    if (shown == scroll_) return QStringLiteral("cards");
    return QStringLiteral("empty");
}
