#include "app/controls/stat_card.h"

#include <QHBoxLayout>
#include <QVBoxLayout>

#include "app/controls/fonts.h"
#include "app/controls/numeric_label.h"
#include "app/controls/symbol_view.h"
#include "app/controls/text_label.h"
#include "app/controls/theme.h"

StatCard::StatCard(const QString& title, const QString& value, std::optional<QString> caption, const QColor& tint,
                   Symbol icon, QWidget* parent)
    : CardBackground(14, 16, parent) {
    auto* stack = new QVBoxLayout(this);
    stack->setContentsMargins(14, 14, 14, 14);
    stack->setSpacing(8);

    auto* head = new QHBoxLayout;
    head->setSpacing(8);
    head->addWidget(new SymbolView(icon, 11, tint));
    auto* titleLabel = new TextLabel(title, Fonts::text(11, QFont::Medium), Theme::secondary());
    titleLabel->setObjectName(QStringLiteral("title"));
    head->addWidget(titleLabel);
    head->addStretch(1);
    stack->addLayout(head);

    value_ = new NumericLabel(value, Fonts::text(21, QFont::DemiBold), Theme::primary());
    value_->setObjectName(QStringLiteral("value"));
    stack->addWidget(value_);

    caption_ = new TextLabel(caption.value_or(QString()), Fonts::text(10.5), Theme::tertiary());
    caption_->setObjectName(QStringLiteral("caption"));
    caption_->setVisible(caption.has_value());
    stack->addWidget(caption_);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

QString StatCard::value() const { return value_->text(); }
void StatCard::setValue(const QString& value) { value_->setValue(value); }

std::optional<QString> StatCard::caption() const {
    if (caption_->isHidden()) return std::nullopt;
    return caption_->text();
}

void StatCard::setCaption(const std::optional<QString>& caption) {
    caption_->setText(caption.value_or(QString()));
    caption_->setVisible(caption.has_value());
}
