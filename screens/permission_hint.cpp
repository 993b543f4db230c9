#include "screens/permission_hint.h"

#include <QHBoxLayout>
#include <QPainter>
#include <QPainterPath>

#include "app/controls/fonts.h"
#include "app/controls/link_button.h"
#include "app/controls/symbol_view.h"
#include "app/controls/system_services.h"
#include "app/controls/text_label.h"
#include "app/controls/theme.h"

PermissionHint::PermissionHint(const QString& text, const QString& actionTitle, std::function<void()> action,
                               const QColor& tint, Symbol icon, SystemServices& services, QWidget* parent)
    : QWidget(parent), text_(text), tint_(tint) {
    setObjectName(QStringLiteral("PermissionHint"));
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(13, 9, 13, 9);
    row->setSpacing(9);
    row->addWidget(new SymbolView(icon, 11.5, tint), 0, Qt::AlignVCenter);
    auto* label = new TextLabel(text, Fonts::text(11.5), Theme::secondary());
    label->setObjectName(QStringLiteral("hintText"));
    label->setWordWrap(true);
    row->addWidget(label, 1);
    button_ = new LinkButton(actionTitle, 11.5);
    button_->setObjectName(QStringLiteral("hintAction"));
    row->addWidget(button_, 0, Qt::AlignVCenter);
    connect(button_, &QAbstractButton::clicked, this, [action = std::move(action), &services] {
        if (action)
            action();
        else
            services.openURL(SystemLinks::kFullDiskAccess);
    });
}

void PermissionHint::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    // The border is stroked inside the card's edge.
    const QRectF card = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    QPainterPath shape;
    shape.addRoundedRect(card, 10, 10);
    p.fillPath(shape, Theme::faded(tint_, 0.11));
    p.setPen(QPen(Theme::faded(tint_, 0.28), 1));
    p.drawPath(shape);
}
