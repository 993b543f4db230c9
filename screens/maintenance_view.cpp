#include "screens/maintenance_view.h"

#include <QHBoxLayout>
#include <QPainter>
#include <QPainterPath>
#include <QScrollArea>
#include <QShowEvent>
#include <QVBoxLayout>
#include <charconv>

#include "app/controls/bind.h"
#include "app/controls/busy_indicator.h"
#include "app/controls/buttons.h"
#include "app/controls/card_background.h"
#include "app/controls/fonts.h"
#include "app/controls/link_button.h"
#include "app/controls/module_header.h"
#include "app/controls/pill.h"
#include "app/controls/qstring.h"
#include "app/controls/symbol_tile.h"
#include "app/controls/symbol_view.h"
#include "app/controls/text_label.h"
#include "app/controls/theme.h"
#include "app/controls/thin_scroll_bar.h"
#include "engine/byte_format.h"

namespace {

// The last run's output: small monospaced text on a faint rounded box.
class OutcomeBox : public QWidget {
public:
    explicit OutcomeBox(const QString& text) {
        setObjectName(QStringLiteral("outcome"));
        auto* box = new QVBoxLayout(this);
        box->setContentsMargins(9, 9, 9, 9);
        QFont mono = Fonts::text(10.5);
        mono.setFamilies({QStringLiteral("DejaVu Sans Mono"), QStringLiteral("Monospace")});
        mono.setStyleHint(QFont::Monospace);
        auto* label = new TextLabel(text, mono, Theme::secondary());
        label->setObjectName(QStringLiteral("outcomeText"));
        label->setWordWrap(true);
        // At most four lines.
        label->setMaximumHeight(QFontMetrics(mono).lineSpacing() * 4);
        label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        box->addWidget(label);
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        QPainterPath shape;
        shape.addRoundedRect(QRectF(rect()), 8, 8);
        p.fillPath(shape, Theme::primary(0.05));
    }
};

// A card of running applications: its title over one row each.
QWidget* applicationsCard(AppState& state, const QString& title, const QColor& titleColor,
                          const std::vector<RunningApp>& apps, size_t shown, const QColor& tint,
                          const QString& name) {
    auto* column = new QWidget;
    auto* rows = new QVBoxLayout(column);
    rows->setContentsMargins(0, 0, 0, 0);
    rows->setSpacing(8);
    auto* heading = new TextLabel(title, Fonts::text(12, QFont::DemiBold), titleColor);
    heading->setObjectName(QStringLiteral("heading"));
    rows->addWidget(heading);
    for (size_t i = 0; i < apps.size() && i < shown; ++i) rows->addWidget(new RunningAppRow(state, apps[i], tint));
    CardBackground* card = Controls::card(column, 18, 16);
    card->setObjectName(name);
    return card;
}

}  // namespace

// ---- The screen -------------------------------------------------------------

MaintenanceView::MaintenanceView(const ScreenContext& context, QWidget* parent)
    : QWidget(parent), state_(context.state) {
    setObjectName(QStringLiteral("MaintenanceView"));
    setMinimumSize(780, 560);
    auto* stack = new QVBoxLayout(this);
    stack->setContentsMargins(0, 0, 0, 0);
    auto* scroll = new QScrollArea;
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setWidgetResizable(true);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll->setVerticalScrollBar(new ThinScrollBar(Qt::Vertical));
    scroll->viewport()->setAutoFillBackground(false);
    stack->addWidget(scroll);

    auto* page = new QWidget;
    page->setAutoFillBackground(false);
    column_ = new QVBoxLayout(page);
    column_->setContentsMargins(22, ModuleHeader::kInsets.top(), 22, 20);
    column_->setSpacing(16);
    column_->addWidget(new ModuleHeader(ModuleID::optimization));
    auto* intro = new TextLabel(
        QStringLiteral("These are the maintenance chores macOS ships tools for, in plain language. Tasks that need "
                       "administrator rights will ask for your password the moment you run them \u2014 one prompt "
                       "each, nothing in the background."),
        Fonts::text(12), Theme::secondary());
    intro->setObjectName(QStringLiteral("introduction"));
    intro->setWordWrap(true);
    column_->addWidget(intro);
    column_->addStretch(1);
    scroll->setWidget(page);

    Bind::value(this, &state_, &AppState::processesChanged, [this] { showApplications(); });
    Bind::value(this, &state_, &AppState::tasksChanged, [this] { showTasks(); });
}

void MaintenanceView::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    // Each time the screen comes into view, not when the window is restored.
    if (!event->spontaneous()) state_.loadProcesses();
}

void MaintenanceView::showApplications() {
    // Replaced whole; the old block goes once the event that changed the
    // lists (a click inside it, say) has ended.
    auto* block = new QWidget;
    auto* cards = new QVBoxLayout(block);
    cards->setContentsMargins(0, 0, 0, 0);
    cards->setSpacing(16);
    const auto& hung = state_.hungApplications();
    const auto& heavy = state_.heavyConsumers();
    if (!hung.empty())
        cards->addWidget(applicationsCard(state_, QStringLiteral("Unresponsive Applications"),
                                          Theme::color(Theme::amber), hung, hung.size(), Theme::color(Theme::amber),
                                          QStringLiteral("unresponsive")));
    if (!heavy.empty())
        cards->addWidget(applicationsCard(state_, QStringLiteral("Heavy Consumers"), Theme::secondary(), heavy,
                                          kHeavyRowsShown, Theme::color(Theme::violet), QStringLiteral("heavy")));
    if (applications_) {
        delete column_->replaceWidget(applications_, block);  // the old item is ours to delete
        applications_->hide();
        applications_->deleteLater();
    } else {
        column_->insertWidget(2, block);
    }
    applications_ = block;
    block->setVisible(!hung.empty() || !heavy.empty());
}

void MaintenanceView::showTasks() {
    auto* block = new QWidget;
    block->setObjectName(QStringLiteral("tasks"));
    auto* cards = new QVBoxLayout(block);
    cards->setContentsMargins(0, 0, 0, 0);
    cards->setSpacing(16);
    for (const MaintenanceTask& task : state_.tasks()) cards->addWidget(new TaskCard(state_, task));
    if (tasks_) {
        delete column_->replaceWidget(tasks_, block);  // the old item is ours to delete
        tasks_->hide();
        tasks_->deleteLater();
    } else {
        column_->insertWidget(column_->count() - 1, block);
    }
    tasks_ = block;
    block->show();
}

// ---- Running application ----------------------------------------------------

QString RunningAppRow::detail(const RunningApp& app) {
    // Whole percents rounded as printf's "%.0f" rounds, a tie to the even
    // neighbour (20.5 is "20"), and under every locale alike.
    char digits[400];
    const auto written = std::to_chars(digits, digits + sizeof digits, app.cpuPercent, std::chars_format::fixed, 0);
    const QString percent = written.ec == std::errc() ? QString::fromLatin1(digits, written.ptr - digits)
                                                      : QStringLiteral("0");
    return percent + QStringLiteral("% CPU \u00b7 ") + qs(ByteFormat::string(app.memoryBytes));
}

RunningAppRow::RunningAppRow(AppState& state, RunningApp app, const QColor& tint, QWidget* parent)
    : QWidget(parent) {
    setObjectName(QStringLiteral("RunningAppRow"));
    const QString name = qs(app.name);
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(10);
    row->addWidget(new SymbolView(app.isHung ? Symbol("exclamationmark.triangle.fill") : Symbol("cpu"), 11, tint, 16),
                   0, Qt::AlignVCenter);
    auto* texts = new QVBoxLayout;
    texts->setSpacing(1);
    auto* nameLabel = new TextLabel(name, Fonts::text(12), Theme::primary());
    nameLabel->setObjectName(QStringLiteral("name"));
    texts->addWidget(nameLabel);
    auto* detailLabel = new TextLabel(detail(app), Fonts::text(10), Theme::tertiary());
    detailLabel->setObjectName(QStringLiteral("detail"));
    texts->addWidget(detailLabel);
    row->addLayout(texts, 1);
    row->addSpacing(8);

    quit_ = new LinkButton(QStringLiteral("Quit"), 11.5);
    quit_->setAccessibleName(QStringLiteral("Quit ") + name);
    forceQuit_ = new LinkButton(QStringLiteral("Force Quit"), 11.5);
    forceQuit_->setTint(Theme::color(Theme::rose));
    forceQuit_->setAccessibleName(QStringLiteral("Force Quit ") + name);
    connect(quit_, &QAbstractButton::clicked, this, [&state, app] { state.quit(app, false); });
    connect(forceQuit_, &QAbstractButton::clicked, this, [&state, app] { state.quit(app, true); });
    row->addWidget(quit_, 0, Qt::AlignVCenter);
    row->addWidget(forceQuit_, 0, Qt::AlignVCenter);
}

// ---- Task card --------------------------------------------------------------

TaskCard::TaskCard(AppState& state, MaintenanceTask task, QWidget* parent) : QWidget(parent), task_(std::move(task)) {
    setObjectName(qs(task_.id));
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    auto* content = new QWidget;
    auto* column = new QVBoxLayout(content);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(10);
    outer->addWidget(Controls::card(content, 18, 16));

    auto* top = new QHBoxLayout;
    top->setSpacing(12);
    column->addLayout(top);
    top->addWidget(task_.isRoutine
                       ? new SymbolTile("clock.arrow.circlepath", Theme::color(Theme::green), 30)
                       : new SymbolTile("wrench.and.screwdriver.fill", Theme::color(Theme::amber), 30),
                   0, Qt::AlignTop);

    auto* texts = new QVBoxLayout;
    texts->setSpacing(3);
    auto* titleRow = new QHBoxLayout;
    titleRow->setSpacing(8);
    auto* title = new TextLabel(qs(task_.title), Fonts::text(13.5, QFont::DemiBold), Theme::primary());
    title->setObjectName(QStringLiteral("title"));
    titleRow->addWidget(title);
    if (task_.requiresAdmin) {
        auto* admin = new Pill(QStringLiteral("admin"), Theme::color(Theme::amber), false, false);
        admin->setObjectName(QStringLiteral("admin"));
        titleRow->addWidget(admin);
    }
    if (task_.isRoutine) {
        auto* routine = new Pill(QStringLiteral("routine"), Theme::color(Theme::green), true, false);
        routine->setObjectName(QStringLiteral("routine"));
        titleRow->addWidget(routine);
    }
    titleRow->addStretch(1);
    texts->addLayout(titleRow);
    auto* detail = new TextLabel(qs(task_.detail), Fonts::text(11.5), Theme::secondary());
    detail->setObjectName(QStringLiteral("detail"));
    detail->setWordWrap(true);
    texts->addWidget(detail);
    auto* recommendation = new TextLabel(qs(task_.recommendation), Fonts::text(11), Theme::tertiary());
    recommendation->setObjectName(QStringLiteral("recommendation"));
    recommendation->setWordWrap(true);
    texts->addWidget(recommendation);
    top->addLayout(texts, 1);
    top->addSpacing(10);

    // The action: why it cannot run here, a spinner while it runs, else Run;
    // under it how the last run ended.
    auto* trailing = new QVBoxLayout;
    trailing->setSpacing(6);
    if (auto reason = task_.unavailable()) {
        auto* pill = new Pill(QStringLiteral("unavailable"), Theme::secondary(), false, true);
        pill->setObjectName(QStringLiteral("unavailable"));
        trailing->addWidget(pill, 0, Qt::AlignRight);
        auto* why = new TextLabel(qs(*reason), Fonts::text(9.5), Theme::tertiary());
        why->setObjectName(QStringLiteral("reason"));
        why->setWordWrap(true);
        why->setAlignment(Qt::AlignRight | Qt::AlignTop);
        why->setMaximumWidth(150);
        trailing->addWidget(why, 0, Qt::AlignRight);
    } else if (task_.isRunning) {
        trailing->addWidget(new BusyIndicator(BusyIndicator::Size::small), 0, Qt::AlignRight);
    } else {
        auto* run = new PrimaryButton(QStringLiteral("Run"), "play.fill",
                                      Theme::color(task_.requiresAdmin ? Theme::amber : Theme::accent), true,
                                      [&state, id = task_.id] { state.runTask(id); });
        run->setObjectName(QStringLiteral("run"));
        run->setAccessibleName(QStringLiteral("Run ") + qs(task_.title));
        trailing->addWidget(run, 0, Qt::AlignRight);
    }
    if (task_.succeeded) {
        const bool ok = *task_.succeeded;
        const QColor colour = Theme::color(ok ? Theme::green : Theme::rose);
        auto* label = new QWidget;
        label->setObjectName(QStringLiteral("result"));
        auto* labelRow = new QHBoxLayout(label);
        labelRow->setContentsMargins(0, 0, 0, 0);
        labelRow->setSpacing(4);
        labelRow->addWidget(new SymbolView(ok ? Symbol("checkmark.circle.fill") : Symbol("exclamationmark.triangle.fill"),
                                           10.5, colour));
        auto* text = new TextLabel(ok ? QStringLiteral("Done") : QStringLiteral("Failed"), Fonts::text(10.5, QFont::Medium),
                                   colour);
        text->setObjectName(QStringLiteral("resultText"));
        labelRow->addWidget(text);
        trailing->addWidget(label, 0, Qt::AlignRight);
    }
    trailing->addStretch(1);
    top->addLayout(trailing);

    if (task_.outcome) column->addWidget(new OutcomeBox(qs(*task_.outcome)));
}
