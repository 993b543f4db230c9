#include "screens/review_sheet.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QScrollArea>
#include <QVBoxLayout>

#include "app/controls/buttons.h"
#include "app/controls/card_background.h"
#include "app/controls/empty_state_view.h"
#include "app/controls/fonts.h"
#include "app/controls/icon_button.h"
#include "app/controls/link_button.h"
#include "app/controls/results_model.h"
#include "app/controls/sheet_keys.h"
#include "app/controls/text_label.h"
#include "app/controls/theme.h"
#include "app/controls/thin_scroll_bar.h"
#include "screens/item_row.h"

namespace {

// A hairline across (or, indented, under) its parent.
QWidget* divider(double opacity, int indent = 0) {
    auto* holder = new QWidget;
    auto* row = new QHBoxLayout(holder);
    row->setContentsMargins(indent, 0, 0, 0);
    auto* line = new QFrame;
    line->setFixedHeight(1);
    line->setAutoFillBackground(true);
    QPalette palette = line->palette();
    palette.setColor(QPalette::Window, Theme::primary(0.12 * opacity));
    line->setPalette(palette);
    row->addWidget(line);
    holder->setFixedHeight(1);
    return holder;
}

}  // namespace

std::vector<ScanCategory> ReviewSheet::categories(const ScanReport& report) {
    std::vector<ScanCategory> kept;
    for (const ScanCategory& category : report.categories) {
        ScanCategory reduced = category;
        std::erase_if(reduced.items, [](const ScanItem& item) { return item.safety != Safety::review; });
        if (!reduced.items.empty()) kept.push_back(std::move(reduced));
    }
    return kept;
}

QString ReviewSheet::selectionText(const ScanReport& report) {
    int count = 0;
    int64_t bytes = 0;
    for (const ScanCategory& category : categories(report))
        for (const ScanItem& item : category.items)
            if (item.isSelected) {
                ++count;
                bytes += item.size;
            }
    return QString::number(count) + QStringLiteral(" selected \u00b7 ") + ResultsText::size(bytes);
}

ReviewSheet::ReviewSheet(AppState& state, ModuleID module, QWidget* parent)
    : QWidget(parent), state_(state), module_(module) {
    setObjectName(QStringLiteral("ReviewSheet"));
    setAccessibleName(QStringLiteral("Review before cleaning"));
    setMinimumSize(680, 520);
    setAutoFillBackground(true);
    setPalette(Theme::palette());
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);

    auto* header = new QHBoxLayout;
    header->setContentsMargins(20, 20, 20, 20);
    header->setSpacing(14);
    auto* texts = new QVBoxLayout;
    texts->setSpacing(4);
    texts->addWidget(new TextLabel(QStringLiteral("Review before cleaning"), Fonts::text(20, QFont::DemiBold),
                                   Theme::primary()));
    auto* intro = new TextLabel(QStringLiteral("These items were found but not selected automatically. Tick only what "
                                               "you recognize and want to remove."),
                                Fonts::text(12), Theme::secondary());
    intro->setWordWrap(true);
    texts->addWidget(intro);
    header->addLayout(texts, 1);
    close_ = new IconButton("xmark", 11, 22, Theme::secondary(), QStringLiteral("Close review"));
    close_->setObjectName(QStringLiteral("close"));
    header->addWidget(close_, 0, Qt::AlignTop);
    column->addLayout(header);
    column->addWidget(divider(1));

    scroll_ = new QScrollArea;
    scroll_->setFrameShape(QFrame::NoFrame);
    scroll_->setWidgetResizable(true);
    scroll_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll_->setVerticalScrollBar(new ThinScrollBar(Qt::Vertical, scroll_));
    scroll_->viewport()->setAutoFillBackground(false);
    column->addWidget(scroll_, 1);
    empty_ = new EmptyStateView("checkmark.seal", QStringLiteral("Nothing needs review"),
                                QStringLiteral("Every item from this scan is either safe to clean or protected."),
                                Theme::color(Theme::green), std::nullopt);
    column->addWidget(empty_, 1);
    column->addWidget(divider(1));

    auto* footer = new QHBoxLayout;
    footer->setContentsMargins(16, 16, 16, 16);
    footer->setSpacing(10);
    selection_ = new TextLabel(QString(), Fonts::text(11.5), Theme::secondary());
    selection_->setObjectName(QStringLiteral("selection"));
    footer->addWidget(selection_, 0, Qt::AlignVCenter);
    footer->addStretch(1);
    auto* clear = new LinkButton(QStringLiteral("Clear selection"), 11.5);
    clear->setTint(Theme::secondary());
    clear_ = clear;
    clear_->setObjectName(QStringLiteral("clearSelection"));
    footer->addWidget(clear_, 0, Qt::AlignVCenter);
    done_ = new PrimaryButton(QStringLiteral("Done"), "checkmark", Theme::color(Theme::green), true, [this] { dismiss(); });
    done_->setObjectName(QStringLiteral("done"));
    footer->addWidget(done_);
    column->addLayout(footer);

    connect(close_, &QAbstractButton::clicked, this, [this] { dismiss(); });
    SheetKeys::install(this, done_, [this] { dismiss(); });
    connect(clear_, &QAbstractButton::clicked, this, [this] {
        // The ticked review items as they stand at the press, cleared in order.
        std::vector<Uuid> ticked;
        for (const ScanCategory& category : categories(state_.report(module_)))
            for (const ScanItem& item : category.items)
                if (item.isSelected) ticked.push_back(item.id);
        for (const Uuid& id : ticked) state_.toggle(id, module_);
    });
    connect(&state_, &AppState::reportChanged, this, [this](ModuleID m) {
        if (m == module_) rebuild();
    });
    connect(&state_, &AppState::selectionChanged, this, [this](ModuleID m, int, int) {
        if (m == module_) refreshSelection();
    });
    rebuild();
}

void ReviewSheet::dismiss() {
    hide();
    deleteLater();
}

bool ReviewSheet::showsNothingToReview() const { return !empty_->isHidden(); }

QString ReviewSheet::selectionLine() const { return selection_->text(); }

void ReviewSheet::rebuild() {
    rows_.clear();
    auto* body = new QWidget;
    body->setAutoFillBackground(false);
    auto* cards = new QVBoxLayout(body);
    cards->setContentsMargins(18, 18, 18, 18);
    cards->setSpacing(12);
    const ScanReport& report = state_.report(module_);
    bool any = false;
    for (size_t c = 0; c < report.categories.size(); ++c) {
        const ScanCategory& category = report.categories[c];
        std::vector<size_t> review;
        int64_t bytes = 0;
        for (size_t i = 0; i < category.items.size(); ++i)
            if (category.items[i].safety == Safety::review) {
                review.push_back(i);
                bytes += category.items[i].size;
            }
        if (review.empty()) continue;
        any = true;
        auto* card = new CardBackground(0, 16);
        card->setObjectName(QString::fromStdString(category.id));
        auto* stack = new QVBoxLayout(card);
        stack->setContentsMargins(0, 0, 0, 0);
        stack->setSpacing(0);
        auto* head = new QHBoxLayout;
        head->setContentsMargins(16, 12, 16, 12);
        head->setSpacing(10);
        auto* names = new QVBoxLayout;
        names->setSpacing(2);
        auto* title = new TextLabel(QString::fromStdString(category.title), Fonts::text(13, QFont::DemiBold),
                                    Theme::primary());
        title->setObjectName(QStringLiteral("title"));
        names->addWidget(title);
        auto* detail = new TextLabel(QString::fromStdString(category.detail), Fonts::text(10.5), Theme::secondary());
        detail->setWordWrap(true);
        names->addWidget(detail);
        head->addLayout(names, 1);
        auto* size = new TextLabel(ResultsText::size(bytes), Fonts::text(12.5, QFont::DemiBold), Theme::color(Theme::amber));
        size->setObjectName(QStringLiteral("size"));
        head->addWidget(size, 0, Qt::AlignTop);
        stack->addLayout(head);
        stack->addWidget(divider(0.4));
        auto* items = new QVBoxLayout;
        items->setContentsMargins(0, 3, 0, 3);
        items->setSpacing(0);
        for (size_t k = 0; k < review.size(); ++k) {
            auto* row = new ItemRow(state_, module_, category.items[review[k]], c, review[k]);
            rows_.push_back(row);
            items->addWidget(row);
            if (k + 1 < review.size()) items->addWidget(divider(0.3, 42));
        }
        stack->addLayout(items);
        cards->addWidget(card);
    }
    cards->addStretch(1);
    delete scroll_->takeWidget();
    scroll_->setWidget(body);
    scroll_->setVisible(any);
    empty_->setVisible(!any);
    refreshSelection();
}

void ReviewSheet::refreshSelection() {
    const ScanReport& report = state_.report(module_);
    selection_->setText(selectionText(report));
    bool anyTicked = false;
    for (const ScanCategory& category : report.categories)
        for (const ScanItem& item : category.items)
            if (item.safety == Safety::review && item.isSelected) anyTicked = true;
    clear_->setVisible(anyTicked);
    for (ItemRow* row : rows_) row->refresh();
}
