#include "app/controls/module_header.h"

#include <QHBoxLayout>
#include <QVBoxLayout>

#include "app/controls/fonts.h"
#include "app/controls/symbol_tile.h"
#include "app/controls/text_label.h"
#include "app/controls/theme.h"

ModuleHeader::ModuleHeader(ModuleID module, QWidget* trailing, QWidget* parent)
    : QWidget(parent), module_(module), trailing_(trailing) {
    setObjectName(QStringLiteral("ModuleHeader"));
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(14);
    row->addWidget(new SymbolTile(Symbols::named(Modules::icon(module)), Theme::color(Modules::tint(module)), 42));

    auto* texts = new QVBoxLayout;
    texts->setSpacing(2);
    auto* title = new TextLabel(QString::fromUtf8(Modules::title(module).data(), qsizetype(Modules::title(module).size())),
                                Fonts::text(21, QFont::DemiBold), Theme::primary());
    title->setObjectName(QStringLiteral("title"));
    auto* subtitle = new TextLabel(
        QString::fromUtf8(Modules::subtitle(module).data(), qsizetype(Modules::subtitle(module).size())),
        Fonts::text(12), Theme::secondary());
    subtitle->setObjectName(QStringLiteral("subtitle"));
    texts->addWidget(title);
    texts->addWidget(subtitle);
    row->addLayout(texts);
    row->addSpacing(12);
    row->addStretch(1);
    if (trailing_) row->addWidget(trailing_);
}
