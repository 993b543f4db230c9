#include "screens/item_row.h"

#include <QHBoxLayout>
#include <QVBoxLayout>

#include "app/controls/checkbox.h"
#include "app/controls/fonts.h"
#include "app/controls/pill.h"
#include "app/controls/results_model.h"
#include "app/controls/symbol_view.h"
#include "app/controls/text_label.h"
#include "app/controls/theme.h"

ItemRow::ItemRow(AppState& state, ModuleID module, const ScanItem& item, size_t category, size_t index,
                 QWidget* parent)
    : QWidget(parent), id_(item.id) {
    setObjectName(QStringLiteral("ItemRow"));
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(16, 7, 16, 7);
    row->setSpacing(12);

    // The report's item at the row's place, while it is still this item.
    auto current = [&state, module, category, index, id = item.id]() -> const ScanItem* {
        const ScanReport& report = state.report(module);
        if (category >= report.categories.size() || index >= report.categories[category].items.size()) return nullptr;
        const ScanItem& found = report.categories[category].items[index];
        return found.id == id ? &found : nullptr;
    };
    BoolBinding binding{[current] {
                            const ScanItem* found = current();
                            return found && found->isSelected;
                        },
                        [&state, module, id = item.id, current](bool on) {
                            const ScanItem* found = current();
                            if (found && found->isSelected != on) state.toggle(id, module);
                        }};
    checkbox_ = new Checkbox(std::move(binding), Theme::color(Modules::tint(module)),
                             item.safety == Safety::protected_, false, ResultsText::itemLabel(item));
    row->addWidget(checkbox_, 0, Qt::AlignVCenter);
    row->addWidget(new SymbolView(ResultsText::kindSymbol(item), 11, Theme::secondary(), 16), 0, Qt::AlignVCenter);

    auto* texts = new QVBoxLayout;
    texts->setSpacing(1);
    auto* name = new TextLabel(QString::fromStdString(item.name), Fonts::text(12), Theme::primary());
    name->setObjectName(QStringLiteral("name"));
    name->setElide(Qt::ElideMiddle);
    auto* detail = new TextLabel(QString::fromStdString(item.detail), Fonts::text(10), Theme::tertiary());
    detail->setObjectName(QStringLiteral("detail"));
    detail->setElide(Qt::ElideMiddle);
    texts->addWidget(name);
    texts->addWidget(detail);
    row->addLayout(texts, 1);

    if (item.safety != Safety::safe) {
        const bool review = item.safety == Safety::review;
        row->addWidget(new Pill(review ? QStringLiteral("Review") : QStringLiteral("Protected"),
                                Theme::color(review ? Theme::amber : Theme::accent), false, false),
                       0, Qt::AlignVCenter);
    }
    auto* size = new TextLabel(ResultsText::size(item.size), Fonts::text(11.5, QFont::Medium), Theme::secondary());
    size->setObjectName(QStringLiteral("size"));
    size->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    size->setMinimumWidth(62);
    row->addWidget(size, 0, Qt::AlignVCenter);
}

void ItemRow::refresh() { checkbox_->refresh(); }
