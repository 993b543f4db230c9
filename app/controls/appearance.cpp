#include "app/controls/appearance.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QApplication>

#include "app/controls/checkbox.h"
#include "app/controls/focus_ring.h"
#include "app/controls/fonts.h"
#include "app/controls/progress_ring.h"
#include "app/controls/symbol_tile.h"
#include "app/controls/theme.h"

namespace Appearance {
namespace {

class AccessibleCheckbox : public QAccessibleWidget {
public:
    explicit AccessibleCheckbox(Checkbox* box) : QAccessibleWidget(box, QAccessible::CheckBox) {
        addControllingSignal(QStringLiteral("clicked(bool)"));
    }
    Checkbox* box() const { return static_cast<Checkbox*>(widget()); }

    QString text(QAccessible::Text t) const override {
        if (t == QAccessible::Name) return box()->label();
        if (t == QAccessible::Value) return box()->accessibilityValue();
        return QAccessibleWidget::text(t);
    }
    QAccessible::State state() const override {
        QAccessible::State s = QAccessibleWidget::state();
        s.checkable = true;
        s.checked = box()->isOn();
        s.checkStateMixed = box()->isMixed();
        s.selected = box()->isOn();
        s.disabled = box()->isDisabled();
        return s;
    }
    QStringList actionNames() const override {
        if (box()->isDisabled()) return {};
        return {toggleAction()};
    }
    void doAction(const QString& name) override {
        if (name == toggleAction() || name == pressAction()) box()->click();
    }
};

// Drawn decoration that assistive technology passes over.
class AccessibleDecoration : public QAccessibleWidget {
public:
    explicit AccessibleDecoration(QWidget* w) : QAccessibleWidget(w, QAccessible::Graphic) {}
    QAccessible::State state() const override {
        QAccessible::State s = QAccessibleWidget::state();
        s.invisible = true;
        return s;
    }
};

QAccessibleInterface* factory(const QString& className, QObject* object) {
    if (!object || !object->isWidgetType()) return nullptr;
    if (className == QLatin1String("Checkbox")) return new AccessibleCheckbox(static_cast<Checkbox*>(object));
    if (className == QLatin1String("SymbolTile") || className == QLatin1String("ProgressRing"))
        return new AccessibleDecoration(static_cast<QWidget*>(object));
    return nullptr;
}

}  // namespace

std::vector<std::string> apply() {
    static bool installed = false;
    if (!installed) {
        QAccessible::installFactory(factory);
        FocusRing::install();
        installed = true;
    }
    QApplication::setPalette(Theme::palette());
    return Fonts::setup();
}

}  // namespace Appearance
