#include "app/controls/buttons.h"

#include <QEvent>
#include <QFontMetricsF>
#include <QGraphicsDropShadowEffect>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <cmath>

#include "app/controls/focus_ring.h"
#include "app/controls/fonts.h"
#include "app/controls/painters.h"
#include "app/controls/theme.h"

namespace {

constexpr CapsuleButton::Look kPrimaryLook{7, 11.5, QFont::Bold, 12.5, QFont::DemiBold, 15, 8};
constexpr CapsuleButton::Look kSecondaryLook{6, 11, QFont::DemiBold, 12.5, QFont::Medium, 13, 7.5};

QPainterPath capsulePath(const QRectF& r) {
    QPainterPath path;
    path.addRoundedRect(r, r.height() / 2, r.height() / 2);
    return path;
}

}  // namespace

CapsuleButton::CapsuleButton(const QString& title, Symbol icon, Look look, std::function<void()> action,
                             QWidget* parent)
    : QAbstractButton(parent), icon_(icon), look_(look) {
    // No accessible name of its own: it is the title shown now.
    setText(title);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    setFocusPolicy(Qt::TabFocus);
    FocusRing::setShape(this, [this] { return FocusRing::Shape{QRectF(rect()), height() / 2.0}; });
    setCursor(Qt::PointingHandCursor);
    if (action) connect(this, &QAbstractButton::clicked, this, [action = std::move(action)] { action(); });
}

QSize CapsuleButton::sizeHint() const {
    QFontMetricsF title(Fonts::text(look_.titleSize, look_.titleWeight));
    QFontMetricsF symbols(Fonts::symbols(look_.iconSize));
    const double iconWidth = symbols.horizontalAdvance(QChar(icon_.glyph));
    const double w = iconWidth + look_.spacing + title.horizontalAdvance(text()) + 2 * look_.hPadding;
    const double h = std::max(title.height(), symbols.height() * 0.8) + 2 * look_.vPadding;
    return {int(std::ceil(w)), int(std::ceil(h))};
}

void CapsuleButton::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF capsule = QRectF(rect());
    paintCapsule(p, capsule);
    // The platform's plain buttons dim while pressed.
    if (isDown()) p.setOpacity(p.opacity() * 0.7);
    QFontMetricsF symbols(Fonts::symbols(look_.iconSize));
    const double iconWidth = symbols.horizontalAdvance(QChar(icon_.glyph));
    QRectF inner = capsule.adjusted(look_.hPadding, 0, -look_.hPadding, 0);
    QRectF iconBox(inner.left(), inner.top(), iconWidth, inner.height());
    Painters::symbol(p, iconBox, icon_, look_.iconSize, foreground());
    p.setFont(Fonts::text(look_.titleSize, look_.titleWeight));
    p.setPen(foreground());
    p.drawText(inner.adjusted(iconWidth + look_.spacing, 0, 0, 0), Qt::AlignLeft | Qt::AlignVCenter, text());
}

PrimaryButton::PrimaryButton(const QString& title, Symbol icon, const QColor& tint, bool enabled,
                             std::function<void()> action, QWidget* parent)
    : CapsuleButton(title, icon, kPrimaryLook, std::move(action), parent), tint_(tint) {
    auto* shadow = new QGraphicsDropShadowEffect(this);
    shadow->setBlurRadius(14);
    shadow->setOffset(0, 3);
    setGraphicsEffect(shadow);
    setTint(tint);
    setEnabled(enabled);
}

void PrimaryButton::setTint(const QColor& tint) {
    tint_ = tint;
    if (auto* shadow = qobject_cast<QGraphicsDropShadowEffect*>(graphicsEffect())) {
        shadow->setColor(Theme::faded(tint, 0.3 * (isEnabled() ? 1.0 : 0.45)));
    }
    update();
}

void PrimaryButton::changeEvent(QEvent* event) {
    if (event->type() == QEvent::EnabledChange) setTint(tint_);
    CapsuleButton::changeEvent(event);
}

void PrimaryButton::paintCapsule(QPainter& p, const QRectF& capsule) {
    // A disabled button is the whole label at 0.45.
    if (!isEnabled()) p.setOpacity(0.45);
    p.fillPath(capsulePath(capsule), Painters::tintGradient(capsule, tint_, 0.95, 0.72));
}

QColor PrimaryButton::foreground() const { return Qt::white; }

SecondaryButton::SecondaryButton(const QString& title, Symbol icon, std::function<void()> action, QWidget* parent)
    : CapsuleButton(title, icon, kSecondaryLook, std::move(action), parent) {}

void SecondaryButton::paintCapsule(QPainter& p, const QRectF& capsule) {
    p.fillPath(capsulePath(capsule), Theme::primary(0.06));
    p.setPen(QPen(Theme::primary(0.08), 1));
    p.setBrush(Qt::NoBrush);
    p.drawPath(capsulePath(capsule.adjusted(0.5, 0.5, -0.5, -0.5)));
}

QColor SecondaryButton::foreground() const { return Theme::primary(); }

namespace Controls {

QPushButton* plainButton(const QString& title, std::function<void()> action) {
    auto* button = new QPushButton(title);
    button->setFont(Fonts::text(12));
    button->setAccessibleName(title);
    if (action) QObject::connect(button, &QPushButton::clicked, button, [action = std::move(action)] { action(); });
    return button;
}

}  // namespace Controls
