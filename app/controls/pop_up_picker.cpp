#include "app/controls/pop_up_picker.h"

#include <QFontMetricsF>
#include <QKeyEvent>
#include <QMenu>
#include <QPainter>
#include <QPainterPath>
#include <cmath>

#include "app/controls/focus_ring.h"
#include "app/controls/fonts.h"
#include "app/controls/painters.h"
#include "app/controls/theme.h"

namespace {

constexpr double kTextSize = 12;
constexpr double kRadius = 5;
constexpr double kHPadding = 9;
constexpr double kVPadding = 3.5;
constexpr double kChevronSize = 13;
constexpr double kChevronGap = 6;

}  // namespace

PopUpPicker::PopUpPicker(const QStringList& choices, int current, const QString& name, QWidget* parent)
    : QAbstractButton(parent), choices_(choices), current_(current >= 0 && current < choices.size() ? current : 0) {
    setAccessibleName(name);
    setFocusPolicy(Qt::StrongFocus);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    FocusRing::setShape(this, [this] { return FocusRing::Shape{QRectF(rect()), kRadius}; });
    connect(this, &QAbstractButton::clicked, this, &PopUpPicker::showMenu);
}

QString PopUpPicker::currentText() const { return itemText(current_); }

QString PopUpPicker::itemText(int index) const {
    return index >= 0 && index < count() ? choices_[index] : QString();
}

void PopUpPicker::setCurrentIndex(int index) {
    if (index < 0 || index >= count() || index == current_) return;
    current_ = index;
    update();
}

QMenu* PopUpPicker::menu() const { return menu_ && menu_->isVisible() ? menu_.data() : nullptr; }

void PopUpPicker::showMenu() {
    if (!isEnabled() || menu()) return;
    auto* menu = new QMenu(this);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->setFont(Fonts::text(kTextSize));
    menu->setPalette(Theme::palette());
    QAction* chosen = nullptr;
    for (int i = 0; i < count(); ++i) {
        QAction* action = menu->addAction(choices_[i]);
        action->setCheckable(true);
        action->setChecked(i == current_);
        if (i == current_) chosen = action;
        connect(action, &QAction::triggered, this, [this, i] {
            setCurrentIndex(i);
            Q_EMIT activated(i);
        });
    }
    menu_ = menu;
    // As the platform's pop-up buttons do: at least as wide as the picker,
    // its chosen item over the picker, where the arrows move from.
    menu->setMinimumWidth(width());
    menu->popup(mapToGlobal(QPoint(0, 0)), chosen);
    if (chosen) menu->setActiveAction(chosen);
}

void PopUpPicker::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
        case Qt::Key_Up:
        case Qt::Key_Down:
        case Qt::Key_Return:
        case Qt::Key_Enter:
            showMenu();
            event->accept();
            return;
        default:
            QAbstractButton::keyPressEvent(event);
    }
}

QSize PopUpPicker::sizeHint() const {
    QFontMetricsF text(Fonts::text(kTextSize));
    double widest = 0;
    for (const QString& choice : choices_) widest = std::max(widest, text.horizontalAdvance(choice));
    const double w = 2 * kHPadding + widest + kChevronGap + kChevronSize;
    const double h = std::max(text.height(), kChevronSize) + 2 * kVPadding;
    return {int(std::ceil(w)), int(std::ceil(h))};
}

void PopUpPicker::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    if (!isEnabled()) p.setOpacity(0.45);
    const QRectF bezel = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    QPainterPath shape;
    shape.addRoundedRect(bezel, kRadius, kRadius);
    p.fillPath(shape, QColor(Qt::white));
    if (isDown() || menu()) p.fillPath(shape, Theme::primary(0.06));
    p.setPen(QPen(Theme::primary(0.14), 1));
    p.drawPath(shape);
    const QRectF inner = QRectF(rect()).adjusted(kHPadding, 0, -kHPadding + 2, 0);
    p.setFont(Fonts::text(kTextSize));
    p.setPen(Theme::primary());
    p.drawText(inner.adjusted(0, 0, -(kChevronSize + kChevronGap), 0), Qt::AlignLeft | Qt::AlignVCenter,
               currentText());
    Painters::symbol(p, QRectF(inner.right() - kChevronSize, inner.top(), kChevronSize, inner.height()),
                     "chevron.up.chevron.down", kChevronSize, Theme::color(Theme::accent));
}
