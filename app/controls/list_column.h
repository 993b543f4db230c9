#pragma once
// A screen's one scrolling column whose last block is a result list: the
// blocks above the list (a hero, figures) scroll away first, then the list's
// own rows, under one scroll bar, as if the whole screen were one column. The
// list still lays out and draws only the rows in view, so a category of tens
// of thousands of items costs what it costs in a list of its own.
//
// The list keeps the full width (its cards' edges line up with the blocks
// above), and the one scroll bar lies over the column's right margin.
#include <QWidget>

class QScrollBar;
class ResultsList;

class ListColumn : public QWidget {
    Q_OBJECT
public:
    // lead: the blocks above the list, laid out at the column's width and
    // their own height; list: shown under them while it is visible.
    ListColumn(QWidget* lead, ResultsList* list, QWidget* parent = nullptr);

    QWidget* lead() const { return lead_; }
    ResultsList* list() const { return list_; }
    // The column's one scroll bar: its value is how far the column scrolled.
    QScrollBar* scrollBar() const { return bar_; }
    // The height of the whole column laid out: the lead and the list's cards.
    int contentHeight() const;

protected:
    void resizeEvent(QResizeEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Places the lead and the list for the scroll bar's value, after the
    // range was set from the column's size and content.
    void relayout();
    void place();
    // The list scrolled itself (a keyboard move to a row out of view): the
    // column follows.
    void followList(int listValue);
    int leadHeight() const;
    int listHeight() const;

    QWidget* lead_;
    ResultsList* list_;
    QScrollBar* bar_;
    bool placing_ = false;
};
