#include "screens/updater_view.h"

#include <QDateTime>
#include <QFileIconProvider>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLocale>
#include <QPainter>
#include <QScrollArea>
#include <QStackedWidget>
#include <QVBoxLayout>

#include "app/controls/bind.h"
#include "app/controls/busy_indicator.h"
#include "app/controls/buttons.h"
#include "app/controls/card_background.h"
#include "app/controls/empty_state_view.h"
#include "app/controls/fonts.h"
#include "app/controls/link_button.h"
#include "app/controls/module_header.h"
#include "app/controls/qstring.h"
#include "app/controls/scroll_column.h"
#include "app/controls/stat_card.h"
#include "app/controls/symbol_view.h"
#include "app/controls/system_services.h"
#include "app/controls/text_label.h"
#include "app/controls/theme.h"
#include "app/controls/toggle_switch.h"
#include "platform/locale_text.h"

namespace {

// The application's icon as the desktop shows its bundle.
class AppIcon : public QWidget {
public:
    explicit AppIcon(const std::string& bundle) : icon_(QFileIconProvider().icon(QFileInfo(qs(bundle)))) {
        setFixedSize(34, 34);
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        icon_.paint(&p, rect());
    }

private:
    QIcon icon_;
};

}  // namespace

QWidget* UpdaterView::row(const AppUpdate& update, SystemServices& services) {
    auto* content = new QWidget;
    content->setObjectName(QStringLiteral("UpdateRow"));
    content->setAccessibleName(qs(update.name));
    auto* line = new QHBoxLayout(content);
    line->setContentsMargins(0, 0, 0, 0);
    line->setSpacing(12);
    line->addWidget(new AppIcon(update.appPath), 0, Qt::AlignVCenter);

    auto* texts = new QVBoxLayout;
    texts->setSpacing(2);
    auto* name = new TextLabel(qs(update.name), Fonts::text(13, QFont::DemiBold), Theme::primary());
    name->setElide(Qt::ElideRight);
    texts->addWidget(name);
    auto* versions = new QHBoxLayout;
    versions->setSpacing(6);
    auto* installed = new TextLabel(qs(update.installedVersion), Fonts::text(11), Theme::secondary());
    installed->setObjectName(QStringLiteral("installedVersion"));
    versions->addWidget(installed);
    versions->addWidget(new SymbolView("arrow.right", 8, Theme::tertiary()));
    auto* available =
        new TextLabel(qs(update.availableVersion), Fonts::text(11, QFont::DemiBold), Theme::color(Theme::green));
    available->setObjectName(QStringLiteral("availableVersion"));
    versions->addWidget(available);
    versions->addStretch(1);
    texts->addLayout(versions);
    line->addLayout(texts, 1);
    line->addSpacing(8);

    if (update.published) {
        auto* date = new TextLabel(UpdaterView::dateText(*update.published), Fonts::text(10.5), Theme::tertiary());
        date->setObjectName(QStringLiteral("published"));
        line->addWidget(date, 0, Qt::AlignVCenter);
    }
    // An address from a feed opens only when it is a plain web address.
    const std::optional<std::string> notes = AppState::webAddress(update.releaseNotesURL);
    if (notes) {
        auto* link = new LinkButton(QStringLiteral("Release notes"), 11.5);
        QObject::connect(link, &QAbstractButton::clicked, link, [&services, address = *notes] { services.openURL(address); });
        line->addWidget(link, 0, Qt::AlignVCenter);
    }
    const std::optional<std::string> download = AppState::webAddress(update.downloadURL);
    line->addWidget(new PrimaryButton(QStringLiteral("Download"), "arrow.down.circle", Theme::color(Theme::accent),
                                      download.has_value(),
                                      [&services, download] {
                                          if (download) services.openURL(*download);
                                      }),
                    0, Qt::AlignVCenter);
    return Controls::card(content, 14, 16);
}

UpdaterView::UpdaterView(const ScreenContext& context, QWidget* parent)
    : QWidget(parent), state_(context.state), services_(context.services) {
    setObjectName(QStringLiteral("UpdaterView"));
    setWindowTitle(QStringLiteral("Updater"));
    setMinimumSize(780, 560);

    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    auto* column = new QWidget;
    body_ = new QVBoxLayout(column);
    body_->setContentsMargins(22, ModuleHeader::kInsets.top(), 22, 20);
    body_->setSpacing(16);
    outer->addWidget(Controls::scrollColumn(column));

    trailing_ = new QStackedWidget;
    auto* running = new QWidget;
    auto* runningRow = new QHBoxLayout(running);
    runningRow->setContentsMargins(0, 0, 0, 0);
    runningRow->setSpacing(8);
    runningRow->addStretch(1);
    runningRow->addWidget(new BusyIndicator(BusyIndicator::Size::small));
    headerMessage_ = new TextLabel(QString(), Fonts::text(11), Theme::secondary());
    headerMessage_->setObjectName(QStringLiteral("headerProgress"));
    static_cast<TextLabel*>(headerMessage_)->setElide(Qt::ElideRight, TextLabel::Width::text);
    headerMessage_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    headerMessage_->setMaximumWidth(190);
    runningRow->addWidget(headerMessage_);
    check_ = new PrimaryButton(QStringLiteral("Check for Updates"), "arrow.triangle.2.circlepath",
                               Theme::color(Theme::accent), true, [this] { state_.checkForUpdates(); });
    auto* idle = new QWidget;
    auto* idleRow = new QHBoxLayout(idle);
    idleRow->setContentsMargins(0, 0, 0, 0);
    idleRow->addStretch(1);
    idleRow->addWidget(check_);
    trailing_->addWidget(running);
    trailing_->addWidget(idle);
    trailing_->setFixedWidth(std::max(check_->sizeHint().width(), 230));
    body_->addWidget(new ModuleHeader(ModuleID::updater, trailing_));
    body_->addStretch(1);

    Bind::value(this, &state_, &AppState::updaterChanged, [this] { rebuild(); });
    connect(&state_, &AppState::progressChanged, this, &UpdaterView::showProgress);
}

PrimaryButton* UpdaterView::checkButton() const { return state_.updaterRunning() ? nullptr : check_; }

QString UpdaterView::dateText(Clock::TimePoint published) {
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(published.time_since_epoch()).count();
    const QDate date = QDateTime::fromSecsSinceEpoch(seconds).date();
    // The locale's own abbreviated style: its order, its month names.
    return QString::fromStdString(
        LocaleText::abbreviatedDate(date.year(), date.month(), date.day(), QLocale().name().toStdString()));
}

void UpdaterView::showProgress() {
    const QString message = qs(state_.progress().message);
    headerMessage_->setText(message);
    if (runningMessage_) runningMessage_->setText(message);
}

void UpdaterView::rebuild() {
    const bool running = state_.updaterRunning();
    trailing_->setCurrentIndex(running ? 0 : 1);

    for (QWidget** old : {&counters_, &results_}) {
        if (!*old) continue;
        body_->removeWidget(*old);
        (*old)->hide();
        (*old)->deleteLater();
        *old = nullptr;
    }
    prereleases_ = nullptr;
    runningMessage_ = nullptr;
    int at = 1;  // after the header

    if (state_.updaterHasRun() && !running) {
        counters_ = new QWidget;
        counters_->setObjectName(QStringLiteral("counters"));
        auto* stack = new QVBoxLayout(counters_);
        stack->setContentsMargins(0, 0, 0, 0);
        stack->setSpacing(12);
        auto* cards = new QHBoxLayout;
        cards->setSpacing(12);
        const size_t available = state_.appUpdates().size();
        const bool any = available >= 1;
        cards->addWidget(new StatCard(QStringLiteral("Updates available"), QString::number(available),
                                      any ? QStringLiteral("ready to download") : QStringLiteral("all current"),
                                      Theme::color(any ? Theme::amber : Theme::green), "arrow.down.circle.fill"));
        cards->addWidget(new StatCard(QStringLiteral("Feeds checked"), QString::number(state_.updaterChecked()),
                                      QStringLiteral("apps that publish one"), Theme::color(Theme::accent),
                                      "antenna.radiowaves.left.and.right"));
        cards->addWidget(new StatCard(QStringLiteral("No feed"), QString::number(state_.updaterWithoutFeed()),
                                      QStringLiteral("App Store or none configured"), Theme::secondary(),
                                      "questionmark.circle"));
        stack->addLayout(cards);
        prereleases_ = new ToggleSwitch(QStringLiteral("Include pre-release versions"), Fonts::text(12),
                                        ToggleSwitch::Layout::compact);
        prereleases_->setCheckedQuietly(state_.updaterIncludesPrereleases());
        connect(prereleases_, &QAbstractButton::toggled, this, [this](bool on) {
            state_.setUpdaterIncludesPrereleases(on);
            state_.checkForUpdates();
        });
        stack->addWidget(prereleases_, 0, Qt::AlignLeft);
        body_->insertWidget(at++, counters_);
        counters_->show();
    }

    if (!state_.appUpdates().empty()) {
        results_ = new QWidget;
        auto* rows = new QVBoxLayout(results_);
        rows->setContentsMargins(0, 0, 0, 0);
        rows->setSpacing(10);
        for (const AppUpdate& update : state_.appUpdates()) rows->addWidget(row(update, services_));
    } else if (running) {
        results_ = new QWidget;
        auto* stack = new QVBoxLayout(results_);
        stack->setContentsMargins(0, 50, 0, 50);
        stack->setSpacing(12);
        stack->addWidget(new BusyIndicator(BusyIndicator::Size::large), 0, Qt::AlignHCenter);
        auto* message = new TextLabel(qs(state_.progress().message), Fonts::text(12.5), Theme::secondary());
        message->setObjectName(QStringLiteral("runningProgress"));
        message->setAlignment(Qt::AlignCenter);
        runningMessage_ = message;
        stack->addWidget(message, 0, Qt::AlignHCenter);
    } else if (!state_.updaterHasRun()) {
        results_ = Controls::card(
            new EmptyStateView("arrow.triangle.2.circlepath", QStringLiteral("Check for updates"),
                               QStringLiteral("Most self-updating Mac apps publish an update feed in their bundle. "
                                              "Vessiltane reads those feeds and tells you what is available. It never "
                                              "downloads or installs anything for you."),
                               Theme::color(Theme::accent),
                               EmptyStateView::Action{QStringLiteral("Check Now"), [this] { state_.checkForUpdates(); }}),
            0, 16);
    } else {
        results_ = Controls::card(
            new EmptyStateView("checkmark.circle.fill", QStringLiteral("Everything is up to date"),
                               QStringLiteral("No newer version was advertised by any app that publishes an update feed."),
                               Theme::color(Theme::green),
                               EmptyStateView::Action{QStringLiteral("Check again"), [this] { state_.checkForUpdates(); }}),
            0, 16);
    }
    results_->setObjectName(QStringLiteral("results"));
    body_->insertWidget(at, results_);
    results_->show();
    showProgress();
}
