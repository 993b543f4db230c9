#include "app/controls/progress_column.h"

#include <QVBoxLayout>

#include "app/controls/fonts.h"
#include "app/controls/busy_indicator.h"
#include "app/controls/text_label.h"
#include "app/controls/theme.h"

ProgressColumn::ProgressColumn(const QString& message, QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("ProgressColumn"));
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 60, 0, 60);
    column->setSpacing(12);
    column->addWidget(new BusyIndicator(BusyIndicator::Size::large), 0, Qt::AlignHCenter);
    message_ = new TextLabel(message, Fonts::text(12.5), Theme::secondary());
    message_->setObjectName(QStringLiteral("progressMessage"));
    message_->setAlignment(Qt::AlignHCenter);
    column->addWidget(message_, 0, Qt::AlignHCenter);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

QString ProgressColumn::message() const { return message_->text(); }

void ProgressColumn::setMessage(const QString& message) { message_->setText(message); }
