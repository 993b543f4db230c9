#pragma once
// A tab view: the tab bar centred along the top (a segmented control of
// symbols over titles), a hairline under it, and the chosen tab's page below.
// Tab stops at the chosen tab; the arrow keys choose its neighbours and show
// their pages.
#include <QWidget>
#include <vector>

#include "app/controls/segmented_control.h"

class QStackedWidget;

class TabView : public QWidget {
    Q_OBJECT
public:
    struct Tab {
        QString title;
        Symbol symbol;
        QWidget* page;  // taken over by the view
    };
    // Opens on the first tab.
    explicit TabView(const std::vector<Tab>& tabs, QWidget* parent = nullptr);

    int count() const;
    QString tabText(int index) const;
    int currentIndex() const;
    // Shows the tab's page (out of range: nothing).
    void setCurrentIndex(int index);
    QWidget* page(int index) const;
    SegmentedControl* bar() const { return bar_; }

Q_SIGNALS:
    void currentChanged(int index);

private:
    SegmentedControl* bar_;
    QStackedWidget* pages_;
};
