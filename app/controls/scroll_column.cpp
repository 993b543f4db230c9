#include "app/controls/scroll_column.h"

#include <QScrollArea>
#include <QVBoxLayout>

#include "app/controls/thin_scroll_bar.h"

namespace Controls {

QScrollArea* scrollColumn(QWidget* content, QWidget* parent) {
    auto* scroll = new QScrollArea(parent);
    scroll->setWidget(content);
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll->setVerticalScrollBar(new ThinScrollBar(Qt::Vertical, scroll));
    scroll->viewport()->setAutoFillBackground(false);
    content->setAutoFillBackground(false);
    return scroll;
}

QWidget* inset(QWidget* content, int left, int top, int right, int bottom) {
    auto* box = new QWidget;
    auto* layout = new QVBoxLayout(box);
    layout->setContentsMargins(left, top, right, bottom);
    layout->setSpacing(0);
    layout->addWidget(content);
    return box;
}

}  // namespace Controls
