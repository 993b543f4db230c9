#include "app/shell/sidebar_view.h"

#include <QAccessible>
#include <QFontMetricsF>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QPainter>
#include <QPainterPath>
#include <QScrollArea>
#include <QVBoxLayout>
#include <cmath>

#include "app/controls/bind.h"
#include "app/controls/focus_ring.h"
#include "app/controls/fonts.h"
#include "app/controls/qstring.h"
#include "app/controls/symbol_tile.h"
#include "app/controls/text_label.h"
#include "app/controls/theme.h"
#include "app/controls/thin_scroll_bar.h"
#include "app/shell/disk_header_row.h"
#include "app/shell/footer_status.h"
#include "app/shell/shell_accessibility.h"
#include "platform/volumes.h"

namespace {

constexpr int kRowInset = 8;  // between a row's highlight and its content

}  // namespace

SidebarRow::SidebarRow(ModuleID module, QWidget* parent) : QAbstractButton(parent), module_(module) {
    setObjectName(QStringLiteral("SidebarRow"));
    setText(qs(Modules::title(module)));
    setAccessibleName(text());
    // A click on a row gives the focus to the list (its proxy), so the arrow
    // keys go on from the row clicked.
    setFocusPolicy(Qt::ClickFocus);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(kRowInset, 2, kRowInset, 2);
    row->setSpacing(10);
    row->addWidget(new SymbolTile(Symbols::named(Modules::icon(module)), Theme::color(Modules::tint(module)), 24));
    row->addStretch(1);
}

void SidebarRow::setSelected(bool selected) {
    if (selected == selected_) return;
    selected_ = selected;
    update();
    QAccessible::State changed;
    changed.selected = true;
    QAccessibleStateChangeEvent event(this, changed);
    QAccessible::updateAccessibility(&event);
}

QSize SidebarRow::sizeHint() const {
    const double text = QFontMetricsF(Fonts::text(13)).height();
    return {200, int(std::ceil(std::max(24.0, text))) + 2 * 2 + 4};
}

void SidebarRow::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    if (selected_) {
        QPainterPath highlight;
        highlight.addRoundedRect(QRectF(rect()), 6, 6);
        p.fillPath(highlight, Theme::color(Theme::accent, 0.18));
    }
    // The list's ring goes around its selected row, inside the row.
    if (selected_ && focusProxy() && FocusRing::fromKeyboard(focusProxy())) {
        const double inset = FocusRing::kGap + FocusRing::kWidth;
        FocusRing::paint(p, QRectF(rect()).adjusted(inset, inset, -inset, -inset), 6 - inset / 2);
    }
    const QFont font = Fonts::text(13);
    const double left = kRowInset + 24 + 10;
    QFontMetricsF m(font);
    p.setFont(font);
    p.setPen(Theme::primary());
    p.drawText(QRectF(left, 0, width() - left - kRowInset, height()), Qt::AlignLeft | Qt::AlignVCenter,
               m.elidedText(text(), Qt::ElideRight, width() - left - kRowInset));
}

SidebarView::SidebarView(AppState& state, SystemServices& services, QWidget* parent)
    : QWidget(parent), state_(state) {
    setObjectName(QStringLiteral("SidebarView"));
    setAccessibleName(QStringLiteral("Modules"));
    ShellAccessibility::install();
    setFocusPolicy(Qt::StrongFocus);
    FocusRing::drawsItsOwn(this);
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->setSpacing(0);

    auto* list = new QWidget;
    auto* rows = new QVBoxLayout(list);
    rows->setContentsMargins(10, 8, 10, 8);
    rows->setSpacing(1);

    disk_ = new DiskHeaderRow(DiskHeader::volumeName(Volumes::name("/")));
    rows->addWidget(disk_);
    for (SidebarGroup group : SidebarGroups::allCases()) {
        auto* title = new TextLabel(qs(SidebarGroups::rawValue(group)), Fonts::text(11, QFont::DemiBold),
                                    Theme::tertiary());
        title->setObjectName(QStringLiteral("sectionTitle"));
        title->setContentsMargins(kRowInset, 12, 0, 3);
        sections_.push_back(title);
        rows->addWidget(title);
        for (ModuleID module : Modules::inGroup(group)) {
            auto* row = new SidebarRow(module);
            row->setFocusProxy(this);
            connect(row, &QAbstractButton::clicked, this, [this, module] { state_.setModule(module); });
            rows_.push_back(row);
            rows->addWidget(row);
        }
    }
    rows->addStretch(1);

    scroll_ = new QScrollArea;
    scroll_->setWidget(list);
    scroll_->setWidgetResizable(true);
    scroll_->setFrameShape(QFrame::NoFrame);
    scroll_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll_->setVerticalScrollBar(new ThinScrollBar(Qt::Vertical, scroll_));
    scroll_->viewport()->setAutoFillBackground(false);
    list->setAutoFillBackground(false);
    outer->addWidget(scroll_, 1);

    footer_ = new FooterStatus(services);
    outer->addWidget(footer_);

    Bind::value(this, &state_, &AppState::moduleChanged, [this] { highlight(state_.module()); });
    Bind::value(this, &state_, &AppState::volumeChanged, [this] { disk_->display(state_.volume()); });
    Bind::value(this, &state_, &AppState::progressChanged,
                [this] { footer_->display(state_.progress(), state_.hasFullDiskAccess()); });
}

QStringList SidebarView::sectionTitles() const {
    QStringList out;
    for (TextLabel* t : sections_) out << t->text();
    return out;
}

void SidebarView::highlight(std::optional<ModuleID> module) {
    for (SidebarRow* row : rows_) {
        row->setSelected(module && row->module() == *module);
        if (row->isSelected()) scroll_->ensureWidgetVisible(row, 0, 0);
    }
}

void SidebarView::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), Theme::sidebarBackground());
}

// Up and down move through the modules, as in any list.
void SidebarView::keyPressEvent(QKeyEvent* event) {
    if (event->key() != Qt::Key_Up && event->key() != Qt::Key_Down) {
        QWidget::keyPressEvent(event);
        return;
    }
    const auto& all = Modules::allCases();
    const std::optional<ModuleID> current = state_.module();
    int at = current ? int(*current) : -1;
    at = event->key() == Qt::Key_Down ? std::min(at + 1, int(all.size()) - 1) : std::max(at - 1, 0);
    state_.setModule(all[size_t(at)]);
    FocusRing::keyboardMoved(this);
    event->accept();
}
