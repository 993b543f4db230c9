#include "app/controls/buttons.h"

#include <QEvent>
#include <QFontMetricsF>
#include <QGraphicsDropShadowEffect>
#include <QPainter>
#include <QPainterPath>
#include <cmath>

#include "app/controls/focus_ring.h"
#include "app/controls/fonts.h"
#include "app/controls/painters.h"
#include "app/controls/theme.h"

namespace {

constexpr CapsuleButton::Look kPrimaryLook{7, 11.5, QFont::Bold, 12.5, QFont::DemiBold, 15, 8};
constexpr CapsuleButton::Look kSecondaryLook{6, 11, QFont::DemiBold, 12.5, QFont::Medium, 13, 7.5};
constexpr CapsuleButton::Look kFormLook{0, 0, QFont::Normal, 12, QFont::Medium, 11, 4};
// A button without a symbol.
constexpr Symbol kNoSymbol{"", 0};

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

double CapsuleButton::iconWidth() const {
    if (!icon_.glyph) return 0;
    return QFontMetricsF(Fonts::symbols(look_.iconSize)).horizontalAdvance(QChar(icon_.glyph));
}

QSize CapsuleButton::sizeHint() const {
    QFontMetricsF title(Fonts::text(look_.titleSize, look_.titleWeight));
    const double icon = iconWidth();
    const double symbolHeight = icon > 0 ? QFontMetricsF(Fonts::symbols(look_.iconSize)).height() * 0.8 : 0;
    const double w = icon + (icon > 0 ? look_.spacing : 0) + title.horizontalAdvance(text()) + 2 * look_.hPadding;
    const double h = std::max(title.height(), symbolHeight) + 2 * look_.vPadding;
    return {int(std::ceil(w)), int(std::ceil(h))};
}

void CapsuleButton::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF capsule = QRectF(rect());
    paintCapsule(p, capsule);
    // The platform's plain buttons dim while pressed.
    if (isDown()) p.setOpacity(p.opacity() * 0.7);
    const double icon = iconWidth();
    QRectF inner = capsule.adjusted(look_.hPadding, 0, -look_.hPadding, 0);
    if (icon > 0) {
        Painters::symbol(p, QRectF(inner.left(), inner.top(), icon, inner.height()), icon_, look_.iconSize,
                         foreground());
        inner.setLeft(inner.left() + icon + look_.spacing);
    }
    p.setFont(Fonts::text(look_.titleSize, look_.titleWeight));
    p.setPen(foreground());
    p.drawText(inner, Qt::AlignLeft | Qt::AlignVCenter, text());
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

SecondaryButton::SecondaryButton(const QString& title, std::function<void()> action, QWidget* parent)
    : CapsuleButton(title, kNoSymbol, kFormLook, std::move(action), parent) {}

void SecondaryButton::paintCapsule(QPainter& p, const QRectF& capsule) {
    if (!isEnabled()) p.setOpacity(0.45);
    p.fillPath(capsulePath(capsule), Theme::primary(0.06));
    p.setPen(QPen(Theme::primary(0.08), 1));
    p.setBrush(Qt::NoBrush);
    p.drawPath(capsulePath(capsule.adjusted(0.5, 0.5, -0.5, -0.5)));
}

QColor SecondaryButton::foreground() const { return Theme::primary(); }
