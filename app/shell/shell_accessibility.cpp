#include "app/shell/shell_accessibility.h"

#include <QAccessible>
#include <QAccessibleWidget>

#include "app/shell/banner_view.h"
#include "app/shell/cleanup_summary_view.h"
#include "app/shell/sidebar_view.h"

namespace ShellAccessibility {
namespace {

class AccessibleSidebarRow : public QAccessibleWidget {
public:
    explicit AccessibleSidebarRow(SidebarRow* row) : QAccessibleWidget(row, QAccessible::ListItem) {}
    SidebarRow* row() const { return static_cast<SidebarRow*>(widget()); }

    QString text(QAccessible::Text t) const override {
        if (t == QAccessible::Name) return row()->text();
        return QAccessibleWidget::text(t);
    }
    QAccessible::State state() const override {
        QAccessible::State s = QAccessibleWidget::state();
        s.selectable = true;
        s.selected = row()->isSelected();
        s.focusable = true;
        s.focused = row()->isSelected() && row()->focusProxy() && row()->focusProxy()->hasFocus();
        return s;
    }
    QStringList actionNames() const override { return {pressAction()}; }
    void doAction(const QString& name) override {
        if (name == pressAction()) row()->click();
    }
};

class AccessibleBanner : public QAccessibleWidget {
public:
    explicit AccessibleBanner(BannerView* banner) : QAccessibleWidget(banner, QAccessible::AlertMessage) {}
    QString text(QAccessible::Text t) const override {
        if (t == QAccessible::Name) return static_cast<BannerView*>(widget())->text();
        return QAccessibleWidget::text(t);
    }
};

QAccessibleInterface* factory(const QString&, QObject* object) {
    if (auto* row = qobject_cast<SidebarRow*>(object)) return new AccessibleSidebarRow(row);
    if (auto* sidebar = qobject_cast<SidebarView*>(object)) return new QAccessibleWidget(sidebar, QAccessible::List);
    if (auto* banner = qobject_cast<BannerView*>(object)) return new AccessibleBanner(banner);
    if (auto* summary = qobject_cast<CleanupSummaryView*>(object)) return new QAccessibleWidget(summary, QAccessible::Dialog);
    return nullptr;
}

}  // namespace

void install() {
    static bool installed = false;
    if (installed) return;
    QAccessible::installFactory(factory);
    installed = true;
}

}  // namespace ShellAccessibility
