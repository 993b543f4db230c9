#pragma once
// Draws every row of the result list: a category's card header, its item rows
// and the card's edges around them, and answers clicks on a row's checkbox and
// on a header's expand button. Row heights depend only on the row's kind and
// place (first or last item, last category), never on measuring text.
#include <QAbstractItemDelegate>
#include <QColor>
#include <functional>

class ResultsModel;

class ResultsDelegate : public QAbstractItemDelegate {
    Q_OBJECT
public:
    // isExpanded tells whether the view shows a category's items as rows of
    // their own; openFraction how far a card whose rows it does not show is
    // drawn open (0 when it is still).
    ResultsDelegate(const QColor& tint, std::function<bool(const QModelIndex&)> isExpanded,
                    std::function<double(const QModelIndex&)> openFraction, QObject* parent = nullptr);

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    bool editorEvent(QEvent* event, QAbstractItemModel* model, const QStyleOptionViewItem& option,
                     const QModelIndex& index) override;

    // Where a row's checkbox and a header's expand button lie within the row's
    // rectangle (the button's rectangle is empty for a category of no item).
    QRectF checkboxRect(const QRect& row, const QModelIndex& index) const;
    QRectF expandButtonRect(const QRect& row, const QModelIndex& index) const;
    // The height of a category's card as the list lays it out: the gap above
    // it, its header, its rows when expanded and, for the last card, the
    // list's bottom inset. The sum over every category is the list's height.
    int cardHeight(const QModelIndex& category) const;

    // Layout numbers of the list.
    static constexpr int kSideInset = 22;    // the list's padding left and right
    static constexpr int kCardGap = 10;      // between two cards
    static constexpr int kBottomInset = 26;  // below the last card
    static constexpr double kCardRadius = 16;

Q_SIGNALS:
    void expandButtonClicked(const QModelIndex& category);

private:
    struct Metrics;
    static const Metrics& metrics();
    // The card's whole rectangle, and the part of it this row draws.
    QRectF cardRect(const QRect& row, const QModelIndex& index) const;
    QRectF pieceRect(const QRect& row, const QModelIndex& index) const;
    QRectF contentRect(const QRect& row, const QModelIndex& index) const;
    // Where the ring of the current row goes (inside the card).
    QRectF focusRect(const QRect& row, const QModelIndex& index) const;
    void paintHeader(QPainter& p, const QRect& row, const QModelIndex& index) const;
    void paintItem(QPainter& p, const QRect& row, const QModelIndex& index) const;
    // The moving card's rows in view, drawn inside its header row.
    void paintMovingRows(QPainter& p, const QStyleOptionViewItem& option, const QModelIndex& category) const;
    bool isLastCategory(const QModelIndex& category) const;
    bool rowsShown(const QModelIndex& category) const;
    // The height of a card's rows when open, and the part of it shown now.
    static int rowsHeight(int items);
    int shownRowsHeight(const QModelIndex& category) const;

    QColor tint_;
    std::function<bool(const QModelIndex&)> isExpanded_;
    std::function<double(const QModelIndex&)> openFraction_;
};
