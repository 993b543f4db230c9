#include "screens/settings_view.h"

#include <QHBoxLayout>
#include <QScrollArea>
#include <QShowEvent>
#include <QVBoxLayout>

#include "app/controls/buttons.h"
#include "app/controls/divider.h"
#include "app/controls/focus_order.h"
#include "app/controls/fonts.h"
#include "app/controls/icon_button.h"
#include "app/controls/qstring.h"
#include "app/controls/scroll_column.h"
#include "app/controls/symbol_view.h"
#include "app/controls/system_services.h"
#include "app/controls/tab_view.h"
#include "app/controls/text_label.h"
#include "app/controls/theme.h"
#include "engine/clean_history.h"
#include "engine/ignores.h"
#include "platform/locations.h"
#include "screens/schedule_tab.h"
#include "screens/settings_form.h"

namespace {

// The outcome of adding the chosen paths, as the banner says it.
struct AddOutcome {
    std::string text;
    bool isError = false;
};

AddOutcome describeAdds(const std::vector<std::pair<std::string, Ignores::Edit>>& edits) {
    bool added = false;
    for (const auto& [path, edit] : edits) {
        switch (edit) {
            case Ignores::Edit::changed: added = true; break;
            case Ignores::Edit::unchanged: break;
            case Ignores::Edit::writeFailed:
                return {"Could not write the ignore list: " + Ignores::fileURL().string(), true};
            case Ignores::Edit::refused:
                return {"Not added: " + path + " (" + Ignores::unstorable(path).value_or("it cannot be stored") + ")",
                        true};
            case Ignores::Edit::unreadable:
                return {"The ignore list cannot be read (" + Ignores::unreadable().value_or("it cannot be read") +
                            "), so it was left as it is.",
                        true};
        }
    }
    if (added) return {"Added to the ignore list.", false};
    return {"Already on the ignore list.", false};
}

}  // namespace

SettingsView::SettingsView(const ScreenContext& context, QWidget* parent)
    : QWidget(parent), state_(context.state), services_(context.services) {
    setObjectName(QStringLiteral("SettingsView"));
    auto* stack = new QVBoxLayout(this);
    stack->setContentsMargins(0, 0, 0, 0);
    schedule_ = new ScheduleTab(state_, services_);
    connect(schedule_, &ScheduleTab::writingChanged, this, [this](bool writing) { pending_ += writing ? 1 : -1; });
    connect(schedule_, &ScheduleTab::reported, this, [this](const QString& text, bool isError) {
        report(text.toStdString(), isError);
    });
    tabs_ = new TabView({
        {QStringLiteral("General"), "gearshape", makeGeneral()},
        {QStringLiteral("Ignore List"), "eye.slash", makeIgnores()},
        {QStringLiteral("Schedule"), "clock", schedule_},
    });
    stack->addWidget(tabs_);

    // What went wrong with this window's own actions, said in this window.
    notice_ = new QWidget;
    notice_->setObjectName(QStringLiteral("settingsNotice"));
    auto* noticeRow = new QHBoxLayout(notice_);
    noticeRow->setContentsMargins(14, 8, 10, 8);
    noticeRow->setSpacing(8);
    noticeRow->addWidget(new SymbolView("exclamationmark.triangle.fill", 12, Theme::color(Theme::rose)), 0, Qt::AlignTop);
    noticeText_ = new TextLabel(QString(), Fonts::text(11.5), Theme::primary());
    noticeText_->setObjectName(QStringLiteral("noticeText"));
    noticeText_->setLineLimit(3);
    noticeRow->addWidget(noticeText_, 1);
    auto* dismiss = new IconButton("xmark", 10, 16, Theme::secondary(), QStringLiteral("Dismiss notice"));
    connect(dismiss, &QAbstractButton::clicked, this, [this] { notice_->hide(); });
    noticeRow->addWidget(dismiss, 0, Qt::AlignTop);
    notice_->hide();
    stack->addWidget(notice_);
    resize(520, 400);
    reload();
}

SettingsView::~SettingsView() { lifeline_.end(); }

QString SettingsView::notice() const { return notice_->isVisibleTo(this) ? noticeText_->text() : QString(); }

void SettingsView::report(const std::string& text, bool isError) {
    // A failure is said here, where the user acted, and stays until the next
    // outcome; what went well is the window's banner as any other.
    if (isError) {
        noticeText_->setText(QString::fromStdString(text));
        noticeText_->setToolTip(QString());
        notice_->show();
        return;
    }
    notice_->hide();
    state_.showBanner(text, false);
}

void SettingsView::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    // The window opens with no control focused (else the first in Qt's chain
    // would take it, ringless, and the first Tab would pass the chosen tab by).
    if (!window()->focusWidget()) window()->setFocus(Qt::OtherFocusReason);
    // Every showing, not once: the command line may have changed the files.
    if (!event->spontaneous()) reload();
}

bool SettingsView::focusNextPrevChild(bool next) { return FocusOrder::move(FocusOrder::stops(this), next); }

void SettingsView::reload() {
    Ignores::resetCache();
    ignored_ = Ignores::paths();
    showIgnored();
    schedule_->reload();
}

QWidget* SettingsView::makeGeneral() {
    const bool granted = state_.hasFullDiskAccess();
    auto* access = new QWidget;
    auto* line = new QHBoxLayout(access);
    line->setContentsMargins(0, 0, 0, 0);
    line->setSpacing(8);
    line->addWidget(new SymbolView(granted ? Symbol("checkmark.circle.fill") : Symbol("exclamationmark.triangle.fill"),
                                   14, Theme::color(granted ? Theme::green : Theme::amber)),
                    0, Qt::AlignTop);
    auto* text = new TextLabel(granted ? QStringLiteral("Full Disk Access is granted.")
                                       : QStringLiteral("Full Disk Access is not granted. Trash, Safari data and other "
                                                        "protected folders stay hidden."),
                               Fonts::text(12), Theme::primary());
    text->setObjectName(QStringLiteral("fullDiskAccess"));
    text->setWordWrap(true);
    line->addWidget(text, 1);
    if (!granted) {
        line->addWidget(new SecondaryButton(QStringLiteral("Open Settings\u2026"),
                                            [this] { services_.openURL(SystemLinks::kFullDiskAccess); }),
                        0, Qt::AlignVCenter);
    }

    auto* reveal = new SecondaryButton(QStringLiteral("Reveal in Finder"), [this] { services_.reveal(CleanHistory::logURL()); });
    ignoredCount_ = new TextLabel(QStringLiteral("0"), Fonts::text(12), Theme::secondary());
    ignoredCount_->setObjectName(QStringLiteral("ignoredCount"));

    return SettingsForm::form({
        SettingsForm::section(QStringLiteral("Permissions"), {SettingsForm::row(access)}),
        SettingsForm::section(QStringLiteral("Data"), {SettingsForm::row(QStringLiteral("Cleanup history"), reveal),
                                                       SettingsForm::row(QStringLiteral("Ignored paths"), ignoredCount_)}),
    });
}

QWidget* SettingsView::makeIgnores() {
    auto* page = new QWidget;
    auto* stack = new QVBoxLayout(page);
    stack->setContentsMargins(0, 0, 0, 0);
    stack->setSpacing(0);

    auto* header = new QWidget;
    auto* headerRow = new QHBoxLayout(header);
    headerRow->setContentsMargins(12, 12, 12, 12);
    headerRow->addWidget(new TextLabel(QStringLiteral("Paths here are never scanned and never removed."),
                                       Fonts::text(11.5), Theme::secondary()));
    headerRow->addStretch(1);
    addFolder_ = new SecondaryButton(QStringLiteral("Add Folder\u2026"), [this] { addFolder(); });
    headerRow->addWidget(addFolder_);
    stack->addWidget(header);
    stack->addWidget(new Divider);

    ignoreEmpty_ = new QWidget;
    ignoreEmpty_->setObjectName(QStringLiteral("nothingIgnored"));
    auto* empty = new QVBoxLayout(ignoreEmpty_);
    empty->setSpacing(8);
    empty->addStretch(1);
    empty->addWidget(new SymbolView("eye.slash", 24, Theme::tertiary()), 0, Qt::AlignHCenter);
    empty->addWidget(new TextLabel(QStringLiteral("Nothing ignored"), Fonts::text(12), Theme::secondary()), 0,
                     Qt::AlignHCenter);
    empty->addStretch(1);
    stack->addWidget(ignoreEmpty_, 1);

    auto* rows = new QWidget;
    ignoreRows_ = new QVBoxLayout(rows);
    ignoreRows_->setContentsMargins(12, 6, 12, 6);
    ignoreRows_->setSpacing(2);
    ignoreList_ = Controls::scrollColumn(rows);
    ignoreList_->setObjectName(QStringLiteral("ignoreList"));
    stack->addWidget(ignoreList_, 1);
    return page;
}

void SettingsView::showIgnored() {
    ignoredCount_->setText(QString::number(Ignores::paths().size()));
    while (QLayoutItem* item = ignoreRows_->takeAt(0)) {
        if (QWidget* w = item->widget()) {
            w->hide();
            w->deleteLater();
        }
        delete item;
    }
    for (const std::string& path : ignored_) {
        auto* row = new QWidget;
        row->setObjectName(QStringLiteral("ignoredRow"));
        row->setAccessibleName(qs(path));
        auto* line = new QHBoxLayout(row);
        line->setContentsMargins(0, 3, 0, 3);
        line->setSpacing(8);
        line->addWidget(new SymbolView("folder", 12, Theme::secondary()));
        auto* text = new TextLabel(qs(Locations::abbreviateTilde(path)), Fonts::text(11.5), Theme::primary());
        text->setElide(Qt::ElideMiddle);
        line->addWidget(text, 1);
        auto* remove = new IconButton("minus.circle", 14, 20, Theme::secondary(), QStringLiteral("Remove ") + qs(path));
        remove->setObjectName(QStringLiteral("removeIgnored"));
        connect(remove, &QAbstractButton::clicked, this, [this, path] { removeIgnored(path); });
        line->addWidget(remove);
        ignoreRows_->addWidget(row);
        row->show();
    }
    ignoreRows_->addStretch(1);
    ignoreEmpty_->setVisible(ignored_.empty());
    ignoreList_->setVisible(!ignored_.empty());
}

void SettingsView::addFolder() {
    services_.chooseFilesAndFolders("Ignore", this, [this](std::vector<std::filesystem::path> chosen) {
        if (!chosen.empty()) addIgnored(chosen);
    });
}

void SettingsView::addIgnored(const std::vector<std::filesystem::path>& chosen) {
    addFolder_->setEnabled(false);
    ++pending_;
    state_.addIgnored(chosen, lifeline_.receiver(), [this](AppState::IgnoreEdits edits) {
        --pending_;
        const AddOutcome outcome = describeAdds(edits);
        addFolder_->setEnabled(true);
        reload();
        report(outcome.text, outcome.isError);
    });
}

void SettingsView::removeIgnored(const std::string& path) {
    ++pending_;
    state_.removeIgnored(path, lifeline_.receiver(), [this](Ignores::Edit edit) {
        --pending_;
        reload();
        // A removal that did not reach the file must not look done.
        if (edit == Ignores::Edit::writeFailed)
            report("Could not write the ignore list: " + Ignores::fileURL().string(), true);
        else if (edit == Ignores::Edit::unreadable)
            report("The ignore list cannot be read (" + Ignores::unreadable().value_or("it cannot be read") +
                       "), so it was left as it is.",
                   true);
    });
}
