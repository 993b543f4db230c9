#include "app/controls/tab_view.h"

#include <QStackedWidget>
#include <QVBoxLayout>

#include "app/controls/divider.h"

namespace {

std::vector<SegmentedControl::Tab> barTabs(const std::vector<TabView::Tab>& tabs) {
    std::vector<SegmentedControl::Tab> out;
    for (const TabView::Tab& tab : tabs) out.push_back({tab.title, tab.symbol});
    return out;
}

}  // namespace

TabView::TabView(const std::vector<Tab>& tabs, QWidget* parent)
    : QWidget(parent), bar_(new SegmentedControl(barTabs(tabs), 0)), pages_(new QStackedWidget) {
    setObjectName(QStringLiteral("TabView"));
    auto* stack = new QVBoxLayout(this);
    stack->setContentsMargins(0, 0, 0, 0);
    stack->setSpacing(0);
    stack->addSpacing(6);
    stack->addWidget(bar_, 0, Qt::AlignHCenter);
    stack->addSpacing(6);
    stack->addWidget(new Divider);
    for (const Tab& tab : tabs) pages_->addWidget(tab.page);
    stack->addWidget(pages_, 1);
    connect(bar_, &SegmentedControl::selectedChanged, this, [this](int index) {
        pages_->setCurrentIndex(index);
        Q_EMIT currentChanged(index);
    });
}

int TabView::count() const { return bar_->count(); }

QString TabView::tabText(int index) const {
    const QAbstractButton* tab = bar_->segment(index);
    return tab ? tab->text() : QString();
}

int TabView::currentIndex() const { return bar_->selected(); }

void TabView::setCurrentIndex(int index) { bar_->setSelected(index); }

QWidget* TabView::page(int index) const { return pages_->widget(index); }
