#include "app/controls/checkbox.h"

#include <QPainter>

#include "app/controls/focus_ring.h"
#include "app/controls/painters.h"

BoolBinding BoolBinding::local(bool initial) {
    auto value = std::make_shared<bool>(initial);
    return {[value] { return *value; }, [value](bool v) { *value = v; }};
}

Checkbox::Checkbox(BoolBinding isOn, const QColor& tint, bool disabled, bool mixed, const QString& label,
                   QWidget* parent)
    : QAbstractButton(parent),
      binding_(std::move(isOn)),
      tint_(tint),
      disabled_(disabled),
      mixed_(mixed),
      label_(label) {
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    setFocusPolicy(Qt::StrongFocus);
    FocusRing::setShape(this, [this] { return FocusRing::Shape{box(), 5}; });
    setAccessibleName(label);
    setEnabled(!disabled);
    connect(this, &QAbstractButton::clicked, this, &Checkbox::activate);
}

bool Checkbox::isOn() const { return binding_.get && binding_.get(); }

void Checkbox::setMixed(bool mixed) {
    if (mixed == mixed_) return;
    mixed_ = mixed;
    update();
}

void Checkbox::setDisabled(bool disabled) {
    if (disabled == disabled_) return;
    disabled_ = disabled;
    setEnabled(!disabled);
    update();
}

void Checkbox::refresh() { update(); }

QString Checkbox::accessibilityValue(bool on, bool mixed, bool disabled) {
    if (disabled) return QStringLiteral("Unavailable");
    if (mixed) return QStringLiteral("Partially selected");
    return on ? QStringLiteral("Selected") : QStringLiteral("Not selected");
}

QSize Checkbox::sizeHint() const { return {int(Painters::kCheckboxSide), int(Painters::kCheckboxSide)}; }

void Checkbox::activate() {
    if (disabled_ || !binding_.set) return;
    binding_.set(!isOn());
    update();
}

QRectF Checkbox::box() const {
    const double s = Painters::kCheckboxSide;
    return {(width() - s) / 2, (height() - s) / 2, s, s};
}

bool Checkbox::hitButton(const QPoint& pos) const { return rect().contains(pos); }

void Checkbox::paintEvent(QPaintEvent*) {
    QPainter p(this);
    Painters::checkbox(p, box(), isOn(), mixed_, disabled_, tint_);
}
