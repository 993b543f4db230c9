#include "screens/login_items_view.h"

#include <QAbstractButton>
#include <QHBoxLayout>
#include <QPainter>
#include <QScrollArea>
#include <QScrollBar>
#include <QShowEvent>
#include <QStackedLayout>
#include <QVBoxLayout>

#include "app/controls/bind.h"
#include "app/controls/busy_indicator.h"
#include "app/controls/buttons.h"
#include "app/controls/card_background.h"
#include "app/controls/divider.h"
#include "app/controls/empty_state_view.h"
#include "app/controls/fonts.h"
#include "app/controls/icon_button.h"
#include "app/controls/link_button.h"
#include "app/controls/module_header.h"
#include "app/controls/painters.h"
#include "app/controls/pill.h"
#include "app/controls/qstring.h"
#include "app/controls/symbol_view.h"
#include "app/controls/system_services.h"
#include "app/controls/text_label.h"
#include "app/controls/theme.h"
#include "app/controls/thin_scroll_bar.h"
#include "app/controls/toggle_switch.h"
#include "platform/locations.h"
#include "platform/unicode.h"
#include "screens/permission_hint.h"

using Scope = LoginEntry::Scope;

namespace {

constexpr Scope kScopes[] = {Scope::loginItem, Scope::userAgent, Scope::systemAgent, Scope::systemDaemon};

Symbol scopeSymbol(Scope scope) {
    switch (scope) {
        case Scope::loginItem: return "person.crop.circle";
        case Scope::userAgent: return "person";
        case Scope::systemAgent: return "gearshape";
        case Scope::systemDaemon: return "gearshape.2";
    }
    return "person";
}

}  // namespace

// ---- The screen -------------------------------------------------------------

std::vector<LoginItemsView::Group> LoginItemsView::grouped(const std::vector<LoginEntry>& entries) {
    std::vector<Group> groups;
    for (Scope scope : kScopes) {
        Group group{{scope, 0}, {}};
        for (const LoginEntry& entry : entries)
            if (entry.scope == scope) group.entries.push_back(entry);
        if (group.entries.empty()) continue;
        group.header.count = int(group.entries.size());
        groups.push_back(std::move(group));
    }
    return groups;
}

QString LoginItemsView::title(Scope scope) {
    switch (scope) {
        case Scope::loginItem: return QStringLiteral("Open at Login");
        case Scope::userAgent: return QStringLiteral("Your Launch Agents");
        case Scope::systemAgent: return QStringLiteral("System Launch Agents");
        case Scope::systemDaemon: return QStringLiteral("System Launch Daemons");
    }
    return {};
}

QString LoginItemsView::heading(const Header& header) {
    return title(header.scope) + QStringLiteral(" \u00b7 ") + QString::number(header.count) +
           (header.count == 1 ? QStringLiteral(" item") : QStringLiteral(" items"));
}

LoginItemsView::LoginItemsView(const ScreenContext& context, QWidget* parent)
    : QWidget(parent), state_(context.state), services_(context.services) {
    setObjectName(QStringLiteral("LoginItemsView"));
    setMinimumSize(780, 560);
    auto* stack = new QVBoxLayout(this);
    stack->setContentsMargins(0, 0, 0, 0);
    stack->setSpacing(0);

    // Header: a spinner while loading, else Refresh and System Settings.
    auto* trailing = new QWidget;
    auto* trailingRow = new QHBoxLayout(trailing);
    trailingRow->setContentsMargins(0, 0, 0, 0);
    trailingRow->setSpacing(9);
    spinner_ = new BusyIndicator(BusyIndicator::Size::small);
    trailingRow->addWidget(spinner_);
    buttons_ = new QWidget;
    auto* buttonRow = new QHBoxLayout(buttons_);
    buttonRow->setContentsMargins(0, 0, 0, 0);
    buttonRow->setSpacing(9);
    buttonRow->addWidget(new SecondaryButton(QStringLiteral("Refresh"), "arrow.clockwise",
                                             [this] { state_.loadLoginItems(); }));
    buttonRow->addWidget(new SecondaryButton(QStringLiteral("System Settings"), "gearshape",
                                             [this] { services_.openURL(SystemLinks::kLoginItems); }));
    trailingRow->addWidget(buttons_);
    auto* header = new QWidget;
    auto* headerRow = new QVBoxLayout(header);
    headerRow->setContentsMargins(22, 18, 22, 12);
    headerRow->addWidget(new ModuleHeader(ModuleID::loginItems, trailing));
    stack->addWidget(header);

    auto* hint = new QWidget;
    auto* hintRow = new QVBoxLayout(hint);
    hintRow->setContentsMargins(22, 0, 22, 12);
    hintRow->addWidget(new PermissionHint(
        QStringLiteral("Disabling a launch agent stops it running without deleting it. Removing one moves its plist "
                       "to the Trash; system-wide items ask for administrator approval."),
        QStringLiteral("Open Settings"), nullptr, Theme::color(Theme::amber), "lock.shield.fill", services_));
    stack->addWidget(hint);

    auto* body = new QWidget;
    content_ = new QStackedLayout(body);
    empty_ = new EmptyStateView("power", QStringLiteral("Nothing starts automatically"),
                                QStringLiteral("Login items, launch agents and launch daemons all appear here."),
                                Theme::color(Theme::green),
                                EmptyStateView::Action{QStringLiteral("Scan now"), [this] { state_.loadLoginItems(); }});
    content_->addWidget(empty_);
    list_ = new QScrollArea;
    list_->setObjectName(QStringLiteral("entries"));
    list_->setFrameShape(QFrame::NoFrame);
    list_->setWidgetResizable(true);
    list_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    list_->setVerticalScrollBar(new ThinScrollBar(Qt::Vertical));
    list_->viewport()->setAutoFillBackground(false);
    content_->addWidget(list_);
    stack->addWidget(body, 1);

    Bind::value(this, &state_, &AppState::loginEntriesChanged, [this] { showEntries(); });
    Bind::value(this, &state_, &AppState::progressChanged, [this] { showLoading(); });
    connect(&state_, &AppState::activeScanChanged, this, [this] { showLoading(); });
}

void LoginItemsView::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (hasLoaded_) return;
    hasLoaded_ = true;
    state_.loadLoginItems();
}

void LoginItemsView::showLoading() {
    const bool loading = state_.isScanning(ModuleID::loginItems);
    spinner_->setVisible(loading);
    buttons_->setVisible(!loading);
}

void LoginItemsView::showEntries() {
    const std::vector<LoginEntry>& entries = state_.loginEntries();
    if (entries.empty()) {
        content_->setCurrentWidget(empty_);
        return;
    }
    // The list is made anew; where it was scrolled to stays.
    const int scrolled = list_->verticalScrollBar()->value();
    auto* column = new QWidget;
    column->setAutoFillBackground(false);
    auto* sections = new QVBoxLayout(column);
    sections->setContentsMargins(22, 0, 22, 24);
    sections->setSpacing(16);
    for (const Group& group : grouped(entries)) {
        auto* section = new QWidget;
        section->setObjectName(QString::fromStdString(group.header.id()));
        auto* sectionStack = new QVBoxLayout(section);
        sectionStack->setContentsMargins(0, 0, 0, 0);
        sectionStack->setSpacing(8);
        auto* title = new TextLabel(heading(group.header), Fonts::text(12, QFont::DemiBold), Theme::secondary());
        title->setObjectName(QStringLiteral("heading"));
        sectionStack->addWidget(title);

        auto* rows = new QWidget;
        auto* rowStack = new QVBoxLayout(rows);
        rowStack->setContentsMargins(0, 0, 0, 0);
        rowStack->setSpacing(0);
        for (size_t i = 0; i < group.entries.size(); ++i) {
            rowStack->addWidget(new LoginItemRow(state_, services_, group.entries[i]));
            if (i + 1 < group.entries.size()) rowStack->addWidget(new Divider(0.3, 44));
        }
        sectionStack->addWidget(Controls::card(rows, 0, 16));
        sections->addWidget(section);
    }
    sections->addStretch(1);
    // The old list goes once the event that brought the new entries has ended.
    if (QWidget* old = list_->takeWidget()) old->deleteLater();
    list_->setWidget(column);
    content_->setCurrentWidget(list_);
    list_->verticalScrollBar()->setValue(scrolled);
}

// ---- One entry --------------------------------------------------------------

LoginItemRow::LoginItemRow(AppState& state, SystemServices& services, LoginEntry entry, QWidget* parent)
    : QWidget(parent), entry_(std::move(entry)) {
    setObjectName(QString::fromStdString(entry_.id));
    const QString name = QString::fromStdString(entry_.name);
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(14, 9, 14, 9);
    row->setSpacing(12);

    const bool missing = entry_.program && !entry_.programExists;
    row->addWidget(new SymbolView(scopeSymbol(entry_.scope), 13,
                                  missing ? Theme::color(Theme::amber) : Theme::secondary(), 20),
                   0, Qt::AlignVCenter);

    auto* texts = new QVBoxLayout;
    texts->setSpacing(2);
    auto* nameLabel = new TextLabel(qs(Unicode::escapedControls(entry_.name)), Fonts::text(12.5), Theme::primary());
    nameLabel->setObjectName(QStringLiteral("name"));
    nameLabel->setElide(Qt::ElideMiddle);
    texts->addWidget(nameLabel);
    if (missing) {
        auto* gone = new TextLabel(QStringLiteral("Program is missing"), Fonts::text(10.5), Theme::color(Theme::amber));
        gone->setObjectName(QStringLiteral("program"));
        texts->addWidget(gone);
    } else if (entry_.program) {
        auto* program = new TextLabel(qs(Unicode::escapedControls(Locations::abbreviateTilde(*entry_.program))),
                                      Fonts::text(10), Theme::tertiary());
        program->setObjectName(QStringLiteral("program"));
        program->setElide(Qt::ElideMiddle);
        texts->addWidget(program);
    }
    row->addLayout(texts, 1);
    row->addSpacing(8);

    if (LoginEntry::needsAdmin(entry_.scope)) {
        auto* admin = new Pill(QStringLiteral("admin"), Theme::color(Theme::amber), false, true);
        admin->setObjectName(QStringLiteral("admin"));
        row->addWidget(admin, 0, Qt::AlignVCenter);
    }
    const bool running = entry_.isLoaded && !entry_.isDisabled;
    auto* status = new Pill(qs(entry_.statusLabel()), running ? Theme::color(Theme::green) : Theme::secondary(), false,
                            true);
    status->setObjectName(QStringLiteral("status"));
    row->addWidget(status, 0, Qt::AlignVCenter);

    if (entry_.scope == Scope::loginItem) {
        auto* open = new LinkButton(QStringLiteral("Open Settings"), 11);
        open->setAccessibleName(QStringLiteral("Open Settings for ") + name);
        connect(open, &QAbstractButton::clicked, this, [&services] { services.openURL(SystemLinks::kLoginItems); });
        row->addWidget(open, 0, Qt::AlignVCenter);
        return;
    }

    switch_ = new ToggleSwitch(QString(), Fonts::text(11), ToggleSwitch::Layout::compact);
    switch_->setAccessibleName(name);
    switch_->setCheckedQuietly(running);
    // The switch shows the entry as last read; what the user asked for shows
    // once the entries are read again after the action.
    connect(switch_, &QAbstractButton::toggled, this, [this, &state](bool on) {
        switch_->setCheckedQuietly(!on);
        setBusy();
        state.setLoginItemEnabled(entry_, on);
    });
    row->addWidget(switch_, 0, Qt::AlignVCenter);

    remove_ = new IconButton("trash", 11, 19, Theme::secondary(),
                             QStringLiteral("Remove ") + name + QStringLiteral(" from startup items"));
    remove_->setToolTip(QStringLiteral("Remove this startup item"));
    connect(remove_, &QAbstractButton::clicked, this, [this, &state] {
        setBusy();
        state.removeLoginItem(entry_);
    });
    row->addWidget(remove_, 0, Qt::AlignVCenter);
}

void LoginItemRow::setBusy() {
    // One action per entry at a time: the next reading makes the row afresh.
    if (switch_) switch_->setEnabled(false);
    if (remove_) remove_->setEnabled(false);
}
