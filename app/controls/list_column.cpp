#include "app/controls/list_column.h"

#include <QCoreApplication>
#include <QEvent>
#include <QScrollBar>
#include <QWheelEvent>
#include <algorithm>

#include "app/controls/results_list.h"
#include "app/controls/results_model.h"
#include "app/controls/thin_scroll_bar.h"

ListColumn::ListColumn(QWidget* lead, ResultsList* list, QWidget* parent)
    : QWidget(parent), lead_(lead), list_(list), bar_(new ThinScrollBar(Qt::Vertical, this)) {
    setObjectName(QStringLiteral("ListColumn"));
    lead_->setParent(this);
    list_->setParent(this);
    // The list's own bar still keeps its range and value; the column's bar
    // is the one shown.
    list_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    bar_->setObjectName(QStringLiteral("columnScrollBar"));
    bar_->setSingleStep(20);
    bar_->raise();
    lead_->installEventFilter(this);
    list_->installEventFilter(this);
    list_->viewport()->installEventFilter(this);

    connect(bar_, &QScrollBar::valueChanged, this, &ListColumn::place);
    connect(list_->verticalScrollBar(), &QScrollBar::valueChanged, this, &ListColumn::followList);
    // The list's range is set again once it has laid its rows out: the
    // column's position in it is put back then.
    connect(list_->verticalScrollBar(), &QScrollBar::rangeChanged, this, [this] {
        if (!placing_) place();
    });
    ResultsModel* model = list_->resultsModel();
    connect(model, &QAbstractItemModel::modelReset, this, &ListColumn::relayout);
    connect(model, &QAbstractItemModel::layoutChanged, this, &ListColumn::relayout);
    connect(model, &QAbstractItemModel::rowsInserted, this, &ListColumn::relayout);
    connect(model, &QAbstractItemModel::rowsRemoved, this, &ListColumn::relayout);
    connect(list_, &QTreeView::expanded, this, &ListColumn::relayout);
    connect(list_, &QTreeView::collapsed, this, &ListColumn::relayout);
    // A card opening or closing moves everything below it, a step at a time.
    connect(list_, &ResultsList::contentHeightChanged, this, &ListColumn::relayout);
    // A keyboard move to a row out of view brings the row into the column's view.
    connect(list_->selectionModel(), &QItemSelectionModel::currentChanged, this, [this](const QModelIndex& current) {
        if (!current.isValid() || !list_->isVisible()) return;
        const QRect row = list_->visualRect(current).translated(list_->pos());
        int value = bar_->value();
        if (row.bottom() >= height()) value += row.bottom() - height() + 1;
        if (row.top() < 0) value += row.top();
        bar_->setValue(value);
    });
}

int ListColumn::leadHeight() const {
    const int w = width();
    return lead_->hasHeightForWidth() ? lead_->heightForWidth(w) : lead_->sizeHint().height();
}

int ListColumn::listHeight() const { return list_->isVisibleTo(this) ? list_->contentHeight() : 0; }

int ListColumn::contentHeight() const { return leadHeight() + listHeight(); }

void ListColumn::relayout() {
    const int range = std::max(0, contentHeight() - height());
    const int breadth = bar_->sizeHint().width();
    bar_->setGeometry(width() - breadth, 0, breadth, height());
    bar_->setPageStep(std::max(1, height()));
    {
        // The range alone, without a move: place() below moves once.
        const QSignalBlocker quiet(bar_);
        bar_->setRange(0, range);
    }
    bar_->setVisible(range > 0);
    place();
}

void ListColumn::place() {
    placing_ = true;
    const int v = bar_->value(), w = width(), h = height();
    const int leadH = leadHeight();
    lead_->setGeometry(0, -v, w, leadH);
    if (list_->isVisibleTo(this)) {
        // Below the lead while any of the lead shows; at the top, scrolling
        // its own rows, once the lead has gone.
        const int listH = std::min(h, list_->contentHeight());
        list_->setGeometry(0, std::max(0, leadH - v), w, listH);
        list_->verticalScrollBar()->setValue(std::max(0, v - leadH));
    }
    bar_->raise();
    placing_ = false;
}

void ListColumn::followList(int listValue) {
    if (placing_) return;
    const int leadH = leadHeight();
    if (listValue > 0 || bar_->value() > leadH) bar_->setValue(leadH + listValue);
}

void ListColumn::resizeEvent(QResizeEvent*) { relayout(); }

void ListColumn::wheelEvent(QWheelEvent* event) {
    if (bar_->maximum() > 0) QCoreApplication::sendEvent(bar_, event);
    event->accept();
}

bool ListColumn::eventFilter(QObject* watched, QEvent* event) {
    if (watched == list_->viewport() && event->type() == QEvent::Wheel) {
        // The column scrolls, not the list alone: the lead goes first.
        wheelEvent(static_cast<QWheelEvent*>(event));
        return true;
    }
    if ((watched == lead_ && event->type() == QEvent::LayoutRequest) ||
        (watched == list_ && (event->type() == QEvent::ShowToParent || event->type() == QEvent::HideToParent)))
        relayout();
    return false;
}
