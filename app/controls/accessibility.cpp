#include "app/controls/accessibility.h"

#include <QAbstractButton>
#include <QAccessible>
#include <QAccessibleValueInterface>
#include <QAccessibleWidget>
#include <QRegularExpression>
#include <cmath>

#include "app/controls/buttons.h"
#include "app/controls/checkbox.h"
#include "app/controls/link_button.h"
#include "app/controls/pop_up_picker.h"
#include "app/controls/progress_ring.h"
#include "app/controls/results_accessible.h"
#include "app/controls/results_list.h"
#include "app/controls/segmented_control.h"
#include "app/controls/symbol_tile.h"
#include "app/controls/symbol_view.h"

namespace Accessibility {
namespace {

// The tri-state checkbox: its label, and its value in words.
class AccessibleCheckbox : public QAccessibleWidget {
public:
    explicit AccessibleCheckbox(Checkbox* box) : QAccessibleWidget(box, QAccessible::CheckBox) {
        addControllingSignal(QStringLiteral("clicked(bool)"));
    }
    Checkbox* box() const { return static_cast<Checkbox*>(widget()); }

    QString text(QAccessible::Text t) const override {
        if (t == QAccessible::Name) return spoken(box()->label());
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

// A button with a title (capsule and link buttons): named by the title it
// shows now, so a title that changes changes what is read.
class AccessibleTitledButton : public QAccessibleWidget {
public:
    explicit AccessibleTitledButton(QAbstractButton* button) : QAccessibleWidget(button, QAccessible::Button) {
        addControllingSignal(QStringLiteral("clicked(bool)"));
    }
    QAbstractButton* button() const { return static_cast<QAbstractButton*>(widget()); }

    QString text(QAccessible::Text t) const override {
        if (t == QAccessible::Name)
            return spoken(button()->accessibleName().isEmpty() ? button()->text() : button()->accessibleName());
        return QAccessibleWidget::text(t);
    }
    QAccessible::State state() const override {
        QAccessible::State s = QAccessibleWidget::state();
        s.pressed = button()->isDown();
        return s;
    }
    QStringList actionNames() const override {
        if (!button()->isEnabled()) return {};
        return {pressAction()};
    }
    void doAction(const QString& name) override {
        if (name == pressAction()) button()->click();
    }
};

// One segment of a segmented control: a radio button of the group, checked
// when it is the chosen one; in a tab bar, a page tab, selected when its page
// shows.
class AccessibleSegment : public QAccessibleWidget {
public:
    explicit AccessibleSegment(SegmentButton* segment)
        : QAccessibleWidget(segment, segment->isTab() ? QAccessible::PageTab : QAccessible::RadioButton) {}
    SegmentButton* segment() const { return static_cast<SegmentButton*>(widget()); }

    QString text(QAccessible::Text t) const override {
        if (t == QAccessible::Name) return segment()->text();
        return QAccessibleWidget::text(t);
    }
    QAccessible::State state() const override {
        QAccessible::State s = QAccessibleWidget::state();
        if (segment()->isTab()) {
            s.selectable = true;
            s.selected = segment()->isChecked();
        } else {
            s.checkable = true;
            s.checked = segment()->isChecked();
        }
        return s;
    }
    QStringList actionNames() const override { return {pressAction()}; }
    void doAction(const QString& name) override {
        if (name == pressAction()) segment()->click();
    }
};

// A pop-up picker: named by what it picks, its value the choice it shows.
class AccessiblePicker : public QAccessibleWidget {
public:
    explicit AccessiblePicker(PopUpPicker* picker) : QAccessibleWidget(picker, QAccessible::ComboBox) {}
    PopUpPicker* picker() const { return static_cast<PopUpPicker*>(widget()); }

    QString text(QAccessible::Text t) const override {
        if (t == QAccessible::Value) return picker()->currentText();
        return QAccessibleWidget::text(t);
    }
    QAccessible::State state() const override {
        QAccessible::State s = QAccessibleWidget::state();
        s.hasPopup = true;
        s.expanded = picker()->menu() != nullptr;
        s.collapsed = !s.expanded;
        return s;
    }
    QStringList actionNames() const override {
        if (!picker()->isEnabled()) return {};
        return {showMenuAction()};
    }
    void doAction(const QString& name) override {
        if (name == showMenuAction() || name == pressAction()) picker()->showMenu();
    }
};

// A progress ring: its value in percent.
class AccessibleRing : public QAccessibleWidget, public QAccessibleValueInterface {
public:
    explicit AccessibleRing(ProgressRing* ring) : QAccessibleWidget(ring, QAccessible::ProgressBar) {}
    ProgressRing* ring() const { return static_cast<ProgressRing*>(widget()); }

    void* interface_cast(QAccessible::InterfaceType t) override {
        if (t == QAccessible::ValueInterface) return static_cast<QAccessibleValueInterface*>(this);
        return QAccessibleWidget::interface_cast(t);
    }
    QString text(QAccessible::Text t) const override {
        if (t == QAccessible::Value) return QString::number(percent()) + QStringLiteral("%");
        return QAccessibleWidget::text(t);
    }
    QVariant currentValue() const override { return percent(); }
    void setCurrentValue(const QVariant&) override {}
    QVariant maximumValue() const override { return 100; }
    QVariant minimumValue() const override { return 0; }
    QVariant minimumStepSize() const override { return 1; }

private:
    int percent() const { return int(std::lround(std::clamp(ring()->progress(), 0.0, 1.0) * 100)); }
};

// Drawn decoration that assistive technology passes over, unless it is given
// a name of what it means (a symbol no text beside it explains: "Error").
class AccessibleDecoration : public QAccessibleWidget {
public:
    explicit AccessibleDecoration(QWidget* w) : QAccessibleWidget(w, QAccessible::Graphic) {}
    QAccessible::State state() const override {
        QAccessible::State s = QAccessibleWidget::state();
        if (widget()->accessibleName().isEmpty()) s.invisible = true;
        return s;
    }
};

QAccessibleInterface* factory(const QString&, QObject* object) {
    if (!object || !object->isWidgetType()) return nullptr;
    if (auto* box = qobject_cast<Checkbox*>(object)) return new AccessibleCheckbox(box);
    if (auto* button = qobject_cast<CapsuleButton*>(object)) return new AccessibleTitledButton(button);
    if (auto* link = qobject_cast<LinkButton*>(object)) return new AccessibleTitledButton(link);
    if (auto* ring = qobject_cast<ProgressRing*>(object)) return new AccessibleRing(ring);
    if (auto* list = qobject_cast<ResultsList*>(object)) return ResultsAccessible::make(list);
    if (qobject_cast<SymbolTile*>(object)) return new AccessibleDecoration(static_cast<QWidget*>(object));
    if (auto* symbol = qobject_cast<SymbolView*>(object)) return new AccessibleDecoration(symbol);
    if (auto* segment = qobject_cast<SegmentButton*>(object)) return new AccessibleSegment(segment);
    if (auto* group = qobject_cast<SegmentedControl*>(object))
        return new QAccessibleWidget(group, group->isTabBar() ? QAccessible::PageTabList : QAccessible::Grouping);
    if (auto* picker = qobject_cast<PopUpPicker*>(object)) return new AccessiblePicker(picker);
    return nullptr;
}

struct Unit {
    const char* written;
    const char* one;
    const char* many;
};

constexpr Unit kUnits[] = {
    {"bytes", "byte", "bytes"},         {"B", "byte", "bytes"},
    {"KB", "kilobyte", "kilobytes"},    {"K", "kilobyte", "kilobytes"},
    {"MB", "megabyte", "megabytes"},    {"M", "megabyte", "megabytes"},
    {"GB", "gigabyte", "gigabytes"},    {"G", "gigabyte", "gigabytes"},
    {"TB", "terabyte", "terabytes"},    {"T", "terabyte", "terabytes"},
};

}  // namespace

QString spoken(const QString& text) {
    static const QRegularExpression size(QStringLiteral("\\b(\\d+(?:[.,]\\d+)?) ?(bytes|KB|MB|GB|TB|B|K|M|G|T)\\b"));
    QString out;
    qsizetype last = 0;
    for (auto it = size.globalMatch(text); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        out += text.mid(last, m.capturedStart() - last);
        const QString number = m.captured(1), unit = m.captured(2);
        for (const Unit& u : kUnits)
            if (unit == QLatin1String(u.written)) {
                out += number + QLatin1Char(' ') + QLatin1String(number == QLatin1String("1") ? u.one : u.many);
                break;
            }
        last = m.capturedEnd();
    }
    out += text.mid(last);
    return out;
}

void install() {
    static bool installed = false;
    if (installed) return;
    QAccessible::installFactory(factory);
    installed = true;
}

void announce(QWidget* widget) {
    if (!widget) return;
    QAccessibleEvent event(widget, QAccessible::Alert);
    QAccessible::updateAccessibility(&event);
}

}  // namespace Accessibility
