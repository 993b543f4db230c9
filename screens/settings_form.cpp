#include "screens/settings_form.h"

#include <QHBoxLayout>
#include <QPainter>
#include <QScrollArea>
#include <QVBoxLayout>

#include "app/controls/card_background.h"
#include "app/controls/fonts.h"
#include "app/controls/text_label.h"
#include "app/controls/theme.h"
#include "app/controls/thin_scroll_bar.h"

namespace SettingsForm {
namespace {

// The hairline between the rows of a section.
class Hairline : public QWidget {
public:
    Hairline() { setFixedHeight(1); }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.fillRect(QRectF(12, 0, width() - 24, 1), Theme::primary(0.08));
    }
};

}  // namespace

QWidget* form(std::initializer_list<QWidget*> sections) {
    auto* scroll = new QScrollArea;
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setWidgetResizable(true);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll->setVerticalScrollBar(new ThinScrollBar(Qt::Vertical));
    scroll->viewport()->setAutoFillBackground(false);
    auto* content = new QWidget;
    content->setAutoFillBackground(false);
    auto* stack = new QVBoxLayout(content);
    stack->setContentsMargins(20, 16, 20, 16);
    stack->setSpacing(16);
    for (QWidget* s : sections) stack->addWidget(s);
    stack->addStretch(1);
    scroll->setWidget(content);
    return scroll;
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
        if (!first) lines->addWidget(new Hairline);
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
