#include "app/controls/empty_state_view.h"

#include <QPainter>
#include <QHBoxLayout>
#include <QVBoxLayout>

#include "app/controls/buttons.h"
#include "app/controls/fonts.h"
#include "app/controls/painters.h"
#include "app/controls/text_label.h"
#include "app/controls/theme.h"

namespace {

// The symbol on a faintly tinted circle.
class Badge : public QWidget {
public:
    Badge(Symbol s, const QColor& tint) : s_(s), tint_(tint) { setFixedSize(78, 78); }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(Qt::NoPen);
        p.setBrush(Theme::faded(tint_, 0.1));
        p.drawEllipse(QRectF(rect()));
        Painters::symbol(p, QRectF(rect()), s_, 30, tint_);
    }

private:
    Symbol s_;
    QColor tint_;
};

}  // namespace

EmptyStateView::EmptyStateView(Symbol icon, const QString& title, const QString& message, const QColor& tint,
                               std::optional<Action> action, QWidget* parent)
    : QWidget(parent) {
    setObjectName(QStringLiteral("EmptyStateView"));
    auto* stack = new QVBoxLayout(this);
    stack->setContentsMargins(40, 40, 40, 40);
    stack->setSpacing(14);
    stack->addStretch(1);
    auto* badge = new Badge(icon, tint);
    badge->setObjectName(QStringLiteral("badge"));
    stack->addWidget(badge, 0, Qt::AlignHCenter);

    auto* titleLabel = new TextLabel(title, Fonts::text(16, QFont::DemiBold), Theme::primary());
    titleLabel->setObjectName(QStringLiteral("title"));
    titleLabel->setAlignment(Qt::AlignCenter);
    stack->addWidget(titleLabel, 0, Qt::AlignHCenter);

    auto* messageLabel = new TextLabel(message, Fonts::text(12.5), Theme::secondary());
    messageLabel->setObjectName(QStringLiteral("message"));
    messageLabel->setAlignment(Qt::AlignCenter);
    messageLabel->setWordWrap(true);
    messageLabel->setMaximumWidth(400);
    // As tall as its lines at the width it is given, no taller: a label sized
    // by its hint would sit in a band twice its text's height and push the
    // title and the button apart.
    QSizePolicy policy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    policy.setHeightForWidth(true);
    messageLabel->setSizePolicy(policy);
    // Centred, and as wide as the space allows up to 400.
    auto* messageRow = new QHBoxLayout;
    messageRow->addStretch(1);
    messageRow->addWidget(messageLabel, 100);
    messageRow->addStretch(1);
    stack->addLayout(messageRow);

    if (action) {
        button_ = new PrimaryButton(action->title, "magnifyingglass", tint, true, action->handler);
        stack->addSpacing(4);
        stack->addWidget(button_, 0, Qt::AlignHCenter);
    }
    stack->addStretch(1);
    setMinimumHeight(280);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
}
