#include "app/shell/banner_view.h"

#include <QGraphicsDropShadowEffect>
#include <QHBoxLayout>
#include <QPainter>
#include <QPainterPath>
#include <QShowEvent>

#include "app/controls/accessibility.h"
#include "app/controls/fonts.h"
#include "app/controls/icon_button.h"
#include "app/controls/painters.h"
#include "app/controls/symbol_view.h"
#include "app/controls/text_label.h"
#include "app/controls/theme.h"
#include "app/shell/shell_accessibility.h"

BannerView::BannerView(AppState& state, const AppState::Banner& banner, QWidget* parent)
    : QWidget(parent), state_(state), banner_(banner) {
    setObjectName(QStringLiteral("BannerView"));
    ShellAccessibility::install();
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(14, 9, 14, 9);
    row->setSpacing(10);
    const bool error = banner.isError;
    auto* mark = new SymbolView(error ? Symbol("exclamationmark.triangle.fill") : Symbol("checkmark.circle.fill"), 13,
                                Theme::color(error ? Theme::rose : Theme::green));
    mark->setAccessibleName(error ? QStringLiteral("Error") : QStringLiteral("Done"));
    row->addWidget(mark);
    text_ = new TextLabel(QString::fromStdString(banner.text), Fonts::text(12.5, QFont::Medium), Theme::primary());
    text_->setObjectName(QStringLiteral("bannerText"));
    // A tool's first line can be long: up to three lines, then cut, the
    // whole of it in the tooltip.
    text_->setLineLimit(3);
    row->addWidget(text_, 1);
    dismiss_ = new IconButton("xmark", 10, 16, Theme::secondary(), QStringLiteral("Dismiss notification"));
    dismiss_->setObjectName(QStringLiteral("dismissBanner"));
    row->addWidget(dismiss_);
    // Whatever banner is current when it is pressed goes.
    connect(dismiss_, &QAbstractButton::clicked, this, [this] { state_.dismissBanner(); });

    auto* shadow = new QGraphicsDropShadowEffect(this);
    shadow->setColor(QColor::fromRgbF(0, 0, 0, 0.12f));
    shadow->setBlurRadius(20);
    shadow->setOffset(0, 4);
    setGraphicsEffect(shadow);
    QSizePolicy policy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    policy.setHeightForWidth(true);
    setSizePolicy(policy);
    // An alert: read out as it appears.
    setAccessibleName(text_->text());
}

void BannerView::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (!event->spontaneous()) Accessibility::announce(this);
}

QString BannerView::text() const { return text_->text(); }

void BannerView::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF r(rect());
    QPainterPath capsule;
    capsule.addRoundedRect(r, r.height() / 2, r.height() / 2);
    p.fillPath(capsule, Theme::windowBackground());
    p.fillPath(capsule, Theme::material());
    QPainterPath border;
    const QRectF inner = r.adjusted(0.5, 0.5, -0.5, -0.5);
    border.addRoundedRect(inner, inner.height() / 2, inner.height() / 2);
    p.setPen(QPen(Theme::primary(0.08), 1));
    p.drawPath(border);
}
