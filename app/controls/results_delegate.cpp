#include "app/controls/results_delegate.h"

#include <QAbstractScrollArea>
#include <QFontMetricsF>
#include <QMouseEvent>
#include <QPainter>
#include <cmath>

#include "app/controls/focus_ring.h"
#include "app/controls/fonts.h"
#include "app/controls/painters.h"
#include "app/controls/results_model.h"
#include "app/controls/theme.h"

namespace {

using Kind = ResultsModel::RowKind;

Kind kindOf(const QModelIndex& index) {
    return index.parent().isValid() ? Kind::item : Kind::category;
}

QColor separator(double opacity) { return Theme::primary(0.12 * opacity); }

}  // namespace

// Heights of the rows' parts, from the fonts once.
struct ResultsDelegate::Metrics {
    QFont title = Fonts::text(13, QFont::DemiBold);
    QFont categoryDetail = Fonts::text(11);
    QFont total = Fonts::text(13, QFont::DemiBold);
    QFont count = Fonts::text(10.5);
    QFont name = Fonts::text(12);
    QFont itemDetail = Fonts::text(10);
    QFont size = Fonts::text(11.5, QFont::Medium);
    int header = 0;  // a card's header, padding included
    int item = 0;    // one item row, padding included

    Metrics() {
        auto h = [](const QFont& f) { return QFontMetricsF(f).height(); };
        const double left = h(title) + 2 + h(categoryDetail);
        const double right = h(total) + 2 + h(count);
        header = int(std::ceil(13 + std::max({left, right, 22.0}) + 13));
        const double lines = h(name) + 1 + h(itemDetail);
        item = int(std::ceil(7 + std::max({lines, Painters::kCheckboxSide, Painters::pillSize("Protected", false).height()}) + 7));
    }
};

const ResultsDelegate::Metrics& ResultsDelegate::metrics() {
    static const Metrics m;
    return m;
}

ResultsDelegate::ResultsDelegate(const QColor& tint, std::function<bool(const QModelIndex&)> isExpanded,
                                 std::function<double(const QModelIndex&)> openFraction, QObject* parent)
    : QAbstractItemDelegate(parent),
      tint_(tint),
      isExpanded_(std::move(isExpanded)),
      openFraction_(std::move(openFraction)) {}

bool ResultsDelegate::isLastCategory(const QModelIndex& category) const {
    return category.row() == category.model()->rowCount() - 1;
}

bool ResultsDelegate::rowsShown(const QModelIndex& category) const { return isExpanded_ && isExpanded_(category); }

// The divider and the padding above the rows, the rows with a divider
// between each two, the padding below.
int ResultsDelegate::rowsHeight(int items) {
    return items < 1 ? 0 : 5 + items * metrics().item + (items - 1) + 4;
}

int ResultsDelegate::shownRowsHeight(const QModelIndex& category) const {
    const int n = category.model()->rowCount(category);
    if (n < 1) return 0;
    if (rowsShown(category)) return rowsHeight(n);
    const double open = openFraction_ ? openFraction_(category) : 0;
    return std::max(0, int(std::lround(open * rowsHeight(n))));
}

// Rows, top to bottom:
//   header      [gap unless first card][header][rows drawn while the card moves]
//                                                          [bottom inset if last card, rows not shown]
//   first item  [divider 1][padding 4][row]  [divider 1 | padding 4 if also last] [bottom inset]
//   other item                        [row]  [divider 1 | padding 4 if last]       [bottom inset]
QSize ResultsDelegate::sizeHint(const QStyleOptionViewItem&, const QModelIndex& index) const {
    const Metrics& m = metrics();
    if (kindOf(index) == Kind::category) {
        int h = (index.row() > 0 ? kCardGap : 0) + m.header;
        if (!rowsShown(index)) h += shownRowsHeight(index) + (isLastCategory(index) ? kBottomInset : 0);
        return {0, h};
    }
    const int n = index.model()->rowCount(index.parent());
    const bool last = index.row() == n - 1;
    int h = (index.row() == 0 ? 5 : 0) + m.item + (last ? 4 : 1);
    if (last && isLastCategory(index.parent())) h += kBottomInset;
    return {0, h};
}

int ResultsDelegate::cardHeight(const QModelIndex& category) const {
    int h = (category.row() > 0 ? kCardGap : 0) + metrics().header + shownRowsHeight(category);
    if (isLastCategory(category)) h += kBottomInset;
    return h;
}

QRectF ResultsDelegate::cardRect(const QRect& row, const QModelIndex& index) const {
    const Metrics& m = metrics();
    const double left = row.left() + kSideInset, width = std::max(0, row.width() - 2 * kSideInset);
    const QModelIndex category = kindOf(index) == Kind::category ? index : index.parent();
    const double items = shownRowsHeight(category);
    double top;
    if (kindOf(index) == Kind::category) {
        top = row.top() + (index.row() > 0 ? kCardGap : 0);
    } else {
        const int i = index.row();
        top = row.top() - m.header - (i == 0 ? 0 : 5 + i * (m.item + 1));
    }
    return {left, top, width, m.header + items};
}

QRectF ResultsDelegate::pieceRect(const QRect& row, const QModelIndex& index) const {
    QRectF card = cardRect(row, index);
    QRectF r(row);
    r.setLeft(card.left());
    r.setRight(card.right());
    r.setTop(std::max(r.top(), card.top()));
    r.setBottom(std::min(r.bottom() + 1, card.bottom()));
    return r;
}

// The padded content of a header or an item row.
QRectF ResultsDelegate::contentRect(const QRect& row, const QModelIndex& index) const {
    const Metrics& m = metrics();
    QRectF card = cardRect(row, index);
    if (kindOf(index) == Kind::category)
        return {card.left() + 16, card.top() + 13, card.width() - 32, double(m.header - 26)};
    const double top = row.top() + (index.row() == 0 ? 5 : 0);
    return {card.left() + 16, top + 7, card.width() - 32, double(m.item - 14)};
}

QRectF ResultsDelegate::checkboxRect(const QRect& row, const QModelIndex& index) const {
    QRectF c = contentRect(row, index);
    const double s = Painters::kCheckboxSide;
    return {c.left(), c.center().y() - s / 2, s, s};
}

QRectF ResultsDelegate::expandButtonRect(const QRect& row, const QModelIndex& index) const {
    if (kindOf(index) != Kind::category || index.model()->rowCount(index) < 1) return {};
    QRectF c = contentRect(row, index);
    return {c.right() - 22, c.center().y() - 11, 22, 22};
}

void ResultsDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const {
    QPainter& p = *painter;
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    Painters::cardPiece(p, cardRect(option.rect, index), kCardRadius, pieceRect(option.rect, index));
    if (kindOf(index) == Kind::category) {
        paintHeader(p, option.rect, index);
        if (!rowsShown(index) && shownRowsHeight(index) > 0) paintMovingRows(p, option, index);
    } else {
        paintItem(p, option.rect, index);
    }
    if ((option.state & QStyle::State_HasFocus) && FocusRing::fromKeyboard(option.widget))
        FocusRing::paint(p, focusRect(option.rect, index), kindOf(index) == Kind::category ? 10 : 6);
    p.restore();
}

void ResultsDelegate::paintMovingRows(QPainter& p, const QStyleOptionViewItem& option,
                                      const QModelIndex& category) const {
    const Metrics& m = metrics();
    const QRectF card = cardRect(option.rect, category);
    const double rowsTop = card.top() + m.header;
    QRectF shown = card.intersected(QRectF(option.rect));
    shown.setTop(rowsTop);
    // Only the rows in view are drawn, however many the card holds.
    if (const auto* view = qobject_cast<const QAbstractScrollArea*>(option.widget))
        shown = shown.intersected(QRectF(view->viewport()->rect()));
    if (shown.isEmpty()) return;
    p.save();
    p.setClipRect(shown, Qt::IntersectClip);
    const int n = category.model()->rowCount(category);
    // Row i starts where the view would put it: the first right under the
    // header, each later one after the padding and i rows with their dividers.
    for (int i = std::max(0, int((shown.top() - rowsTop - 5) / (m.item + 1))); i < n; ++i) {
        const int top = int(rowsTop) + (i == 0 ? 0 : 5 + i * (m.item + 1));
        if (top >= shown.bottom()) break;
        const int height = (i == 0 ? 5 : 0) + m.item + (i == n - 1 ? 4 : 1);
        paintItem(p, QRect(option.rect.left(), top, option.rect.width(), height), category.model()->index(i, 0, category));
    }
    p.restore();
}

// The current row's ring lies inside the card: around the header, or around
// the item's row.
QRectF ResultsDelegate::focusRect(const QRect& row, const QModelIndex& index) const {
    const double inset = FocusRing::kGap + FocusRing::kWidth + 1;
    const QRectF piece = pieceRect(row, index);
    if (kindOf(index) == Kind::category) {
        const QRectF card = cardRect(row, index);
        return QRectF(card.left(), card.top(), card.width(), metrics().header).adjusted(inset, inset, -inset, -inset);
    }
    const QRectF content = contentRect(row, index);
    return QRectF(piece.left(), content.top() - 7, piece.width(), metrics().item).adjusted(inset, 1, -inset, -1);
}

void ResultsDelegate::paintHeader(QPainter& p, const QRect& row, const QModelIndex& index) const {
    const Metrics& m = metrics();
    const auto* model = static_cast<const ResultsModel*>(index.model());
    QRectF c = contentRect(row, index);
    Painters::checkbox(p, checkboxRect(row, index), model->categoryOn(index.row()), model->categoryMixed(index.row()),
                       false, tint_);

    // Right: the expand button, then the size and count stack.
    double right = c.right();
    const QRectF button = expandButtonRect(row, index);
    if (!button.isEmpty()) {
        // Pointing right while closed, down while open, turning as it moves.
        const double open = rowsShown(index) ? 1 : (openFraction_ ? openFraction_(index) : 0);
        p.save();
        p.translate(button.center());
        p.rotate(-90 + 90 * open);
        Painters::symbol(p, QRectF(-11, -11, 22, 22), "chevron.down", 10, Theme::secondary());
        p.restore();
        right = button.left() - 12;
    }
    const QString total = ResultsText::size(index.data(ResultsModel::BytesRole).toLongLong());
    const QString count = ResultsText::itemCount(index.data(ResultsModel::ItemCountRole).toInt());
    const double totalH = QFontMetricsF(m.total).height(), countH = QFontMetricsF(m.count).height();
    const double stackW = std::max(QFontMetricsF(m.total).horizontalAdvance(total),
                                   QFontMetricsF(m.count).horizontalAdvance(count));
    const double stackTop = c.center().y() - (totalH + 2 + countH) / 2;
    const bool anySelected = index.data(ResultsModel::SelectedBytesRole).toLongLong() >= 1;
    p.setFont(m.total);
    p.setPen(anySelected ? tint_ : Theme::secondary());
    p.drawText(QRectF(right - stackW, stackTop, stackW, totalH), Qt::AlignRight | Qt::AlignVCenter, total);
    p.setFont(m.count);
    p.setPen(Theme::tertiary());
    p.drawText(QRectF(right - stackW, stackTop + totalH + 2, stackW, countH), Qt::AlignRight | Qt::AlignVCenter,
               count);
    right -= stackW + 12 + 8 + 12;  // spacing, the spacer's least length, spacing

    // Left: title and detail, after the checkbox.
    const double left = c.left() + Painters::kCheckboxSide + 12;
    const double titleH = QFontMetricsF(m.title).height(), detailH = QFontMetricsF(m.categoryDetail).height();
    const double textTop = c.center().y() - (titleH + 2 + detailH) / 2;
    const double width = std::max(0.0, right - left);
    Painters::elidedText(p, QRectF(left, textTop, width, titleH), index.data(Qt::DisplayRole).toString(), m.title,
                         Theme::primary(), Qt::AlignLeft | Qt::AlignVCenter, Qt::ElideRight);
    Painters::elidedText(p, QRectF(left, textTop + titleH + 2, width, detailH),
                         index.data(ResultsModel::DetailRole).toString(), m.categoryDetail, Theme::secondary(),
                         Qt::AlignLeft | Qt::AlignVCenter, Qt::ElideRight);
}

void ResultsDelegate::paintItem(QPainter& p, const QRect& row, const QModelIndex& index) const {
    const Metrics& m = metrics();
    const auto* model = static_cast<const ResultsModel*>(index.model());
    const ScanItem* shown = model->item(index);
    if (!shown) return;
    const ScanItem& item = *shown;
    const QRectF card = cardRect(row, index);
    QRectF c = contentRect(row, index);
    const int n = model->rowCount(index.parent());

    if (index.row() == 0) {
        p.fillRect(QRectF(card.left(), row.top(), card.width(), 1), separator(0.5));
    }
    if (index.row() < n - 1) {
        p.fillRect(QRectF(card.left() + 42, c.bottom() + 7, card.width() - 42, 1), separator(0.35));
    }

    const bool disabled = item.safety == Safety::protected_;
    Painters::checkbox(p, checkboxRect(row, index), model->isSelected(index), false, disabled, tint_);

    double x = c.left() + Painters::kCheckboxSide + 12;
    Painters::symbol(p, QRectF(x, c.top(), 16, c.height()), ResultsText::kindSymbol(item), 11,
                     Theme::secondary());
    x += 16 + 12;

    double right = c.right();
    const QString size = ResultsText::size(item.size);
    const double sizeW = std::max(62.0, QFontMetricsF(m.size).horizontalAdvance(size));
    p.setFont(m.size);
    p.setPen(Theme::secondary());
    p.drawText(QRectF(right - sizeW, c.top(), sizeW, c.height()), Qt::AlignRight | Qt::AlignVCenter, size);
    right -= sizeW + 12;
    if (item.safety != Safety::safe) {
        const bool review = item.safety == Safety::review;
        const QString word = review ? QStringLiteral("Review") : QStringLiteral("Protected");
        const QSizeF pill = Painters::pillSize(word, false);
        Painters::pill(p, QRectF(right - pill.width(), c.center().y() - pill.height() / 2, pill.width(), pill.height()),
                       word, Theme::color(review ? Theme::amber : Theme::accent), false, false);
        right -= pill.width() + 12;
    }
    right -= 8 + 12;  // the spacer's least length and the spacing before it

    const double nameH = QFontMetricsF(m.name).height(), detailH = QFontMetricsF(m.itemDetail).height();
    const double top = c.center().y() - (nameH + 1 + detailH) / 2;
    const double width = std::max(0.0, right - x);
    Painters::elidedText(p, QRectF(x, top, width, nameH), index.data(Qt::DisplayRole).toString(), m.name,
                         Theme::primary(), Qt::AlignLeft | Qt::AlignVCenter, Qt::ElideMiddle);
    Painters::elidedText(p, QRectF(x, top + nameH + 1, width, detailH), index.data(ResultsModel::DetailRole).toString(),
                         m.itemDetail, Theme::tertiary(), Qt::AlignLeft | Qt::AlignVCenter, Qt::ElideMiddle);
}

bool ResultsDelegate::editorEvent(QEvent* event, QAbstractItemModel* model, const QStyleOptionViewItem& option,
                                  const QModelIndex& index) {
    if (event->type() != QEvent::MouseButtonRelease) return false;
    auto* mouse = static_cast<QMouseEvent*>(event);
    if (mouse->button() != Qt::LeftButton) return false;
    const QPointF at = mouse->position();
    if (checkboxRect(option.rect, index).adjusted(-3, -3, 3, 3).contains(at)) {
        if (auto* results = qobject_cast<ResultsModel*>(model)) results->activateCheckbox(index);
        return true;
    }
    if (expandButtonRect(option.rect, index).contains(at)) {
        Q_EMIT expandButtonClicked(index);
        return true;
    }
    return false;
}
