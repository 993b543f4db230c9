#include "screens/settings_form.h"

#include <QHBoxLayout>
#include <QScrollArea>
#include <QVBoxLayout>

#include "app/controls/card_background.h"
#include "app/controls/divider.h"
#include "app/controls/fonts.h"
#include "app/controls/scroll_column.h"
#include "app/controls/text_label.h"
#include "app/controls/theme.h"

namespace SettingsForm {
QWidget* form(std::initializer_list<QWidget*> sections) {
    auto* content = new QWidget;
    auto* stack = new QVBoxLayout(content);
    stack->setContentsMargins(20, 16, 20, 16);
    stack->setSpacing(16);
    for (QWidget* s : sections) stack->addWidget(s);
    stack->addStretch(1);
    return Controls::scrollColumn(content);
}

QWidget* section(const QString& title, std::initializer_list<QWidget*> rows) {
    auto* box = new QWidget;
    auto* stack = new QVBoxLayout(box);
    stack->setContentsMargins(0, 0, 0, 0);
    stack->setSpacing(6);
    if (!title.isEmpty()) {
        auto* heading = new TextLabel(title, Fonts::text(11, QFont::DemiBold), Theme::secondary());
        heading->setContentsMargins(4, 0, 0, 0);
        stack->addWidget(heading);
    }
    auto* card = new CardBackground(0, 10);
    auto* lines = new QVBoxLayout(card);
    lines->setContentsMargins(0, 2, 0, 2);
    lines->setSpacing(0);
    bool first = true;
    for (QWidget* r : rows) {
        if (!first) lines->addWidget(new Divider(0.8, 12));
        first = false;
        lines->addWidget(r);
    }
    stack->addWidget(card);
    return box;
}

QWidget* row(const QString& label, QWidget* trailing) {
    auto* line = new QWidget;
    auto* layout = new QHBoxLayout(line);
    layout->setContentsMargins(12, 7, 12, 7);
    layout->setSpacing(8);
    layout->addWidget(new TextLabel(label, Fonts::text(12), Theme::primary()));
    layout->addStretch(1);
    if (trailing) layout->addWidget(trailing);
    return line;
}

QWidget* row(QWidget* content) {
    auto* line = new QWidget;
    auto* layout = new QHBoxLayout(line);
    layout->setContentsMargins(12, 7, 12, 7);
    layout->addWidget(content, 1);
    return line;
}

}  // namespace SettingsForm
