#include "screens/scan_screen.h"

#include <QHBoxLayout>
#include <QVBoxLayout>

#include "app/controls/bind.h"
#include "app/controls/buttons.h"
#include "app/controls/module_header.h"
#include "app/controls/results_list.h"
#include "app/controls/fonts.h"
#include "app/controls/busy_indicator.h"
#include "app/controls/focus_order.h"
#include "app/controls/text_label.h"
#include "app/controls/theme.h"

namespace ScanScreen {

int64_t selectedBytes(const ScanReport& report) {
    int64_t sum = 0;
    for (const ScanCategory& category : report.categories) sum += category.selectedSize();
    return sum;
}

QString text(std::string_view utf8) { return QString::fromUtf8(utf8.data(), qsizetype(utf8.size())); }

}  // namespace ScanScreen

ScanStatus::ScanStatus(AppState& state, QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("ScanStatus"));
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(9);
    row->addWidget(new BusyIndicator(BusyIndicator::Size::small), 0, Qt::AlignVCenter);
    message_ = new TextLabel(QString(), Fonts::text(11), Theme::secondary());
    message_->setObjectName(QStringLiteral("progressMessage"));
    message_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    // As wide as the message, up to 200 points, in the room between the
    // header's title and its buttons.
    message_->setElide(Qt::ElideRight, TextLabel::Width::text);
    message_->setMaximumWidth(200);
    row->addWidget(message_, 0, Qt::AlignVCenter);
    stop_ = new SecondaryButton(QStringLiteral("Stop"), "stop.fill", [&state] { state.cancelScan(); });
    stop_->setObjectName(QStringLiteral("stop"));
    row->addWidget(stop_);
    Bind::value(this, &state, &AppState::progressChanged,
                [this, &state] { message_->setText(QString::fromStdString(state.progress().message)); });
}

QString ScanStatus::message() const { return message_->text(); }

ScanningPlaceholder::ScanningPlaceholder(AppState& state, QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("ScanningPlaceholder"));
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 60, 0, 60);
    column->setSpacing(12);
    column->addWidget(new BusyIndicator(BusyIndicator::Size::large), 0, Qt::AlignHCenter);
    message_ = new TextLabel(QString(), Fonts::text(12.5), Theme::secondary());
    message_->setObjectName(QStringLiteral("progressMessage"));
    message_->setAlignment(Qt::AlignCenter);
    column->addWidget(message_, 0, Qt::AlignHCenter);
    column->addStretch(1);
    Bind::value(this, &state, &AppState::progressChanged,
                [this, &state] { message_->setText(QString::fromStdString(state.progress().message)); });
}

QString ScanningPlaceholder::message() const { return message_->text(); }

ModuleScreen::ModuleScreen(const ScreenContext& context, ModuleID module, QWidget* parent)
    : QWidget(parent), context_(context), state_(context.state), module_(module) {
    setWindowTitle(ScanScreen::text(Modules::title(module)));
    setMinimumSize(780, 560);
    auto* stack = new QVBoxLayout(this);
    stack->setContentsMargins(0, 0, 0, 0);
    stack->setSpacing(0);

    auto* controls = new QWidget;
    controls_ = new QHBoxLayout(controls);
    controls_->setContentsMargins(0, 0, 0, 0);
    controls_->setSpacing(9);
    status_ = new ScanStatus(state_);
    controls_->addWidget(status_);
    auto* header = new QWidget;
    auto* headerBox = new QVBoxLayout(header);
    headerBox->setContentsMargins(ModuleHeader::kInsets);
    headerBox->addWidget(new ModuleHeader(module_, controls));
    stack->addWidget(header);

    notes_ = new QVBoxLayout;
    notes_->setContentsMargins(0, 0, 0, 0);
    notes_->setSpacing(0);
    stack->addLayout(notes_);

    results_ = new ResultsList(module_);
    results_->bind(state_);
    stack->addWidget(results_, 1);
    placeholder_ = new ScanningPlaceholder(state_);
    stack->addWidget(placeholder_, 1);
    empty_ = new QWidget;
    emptyLayout_ = new QVBoxLayout(empty_);
    emptyLayout_->setContentsMargins(0, 0, 0, 0);
    emptyLayout_->setSpacing(14);
    stack->addWidget(empty_, 1);

    connect(&state_, &AppState::progressChanged, this, &ModuleScreen::refresh);
    connect(&state_, &AppState::activeScanChanged, this, &ModuleScreen::refresh);
    connect(&state_, &AppState::reportChanged, this, [this](ModuleID m) {
        if (m == module_) refresh();
    });
    connect(&state_, &AppState::selectionChanged, this, [this](ModuleID m, int, int) {
        if (m == module_) refresh();
    });
}

bool ModuleScreen::isScanning() const { return state_.isScanning(module_); }

void ModuleScreen::addHeaderControl(QWidget* control) {
    controls_->addWidget(control);
    idleControls_.push_back(control);
}

void ModuleScreen::addNote(QWidget* note, int bottom) {
    auto* box = new QWidget;
    auto* pad = new QVBoxLayout(box);
    pad->setContentsMargins(22, 0, 22, bottom);
    pad->addWidget(note);
    notes_->addWidget(box);
}

void ModuleScreen::refresh() {
    // The header keeps the focus when the control holding it gives way to
    // the other state's: Rescan to Stop as a scan starts, Stop to the first
    // button as it ends.
    FocusOrder::KeepIn keep(controls_->parentWidget());
    const ScanReport& report = state_.report(module_);
    const bool scanning = isScanning();
    const bool listed = !report.categories.empty();
    status_->setVisible(scanning);
    for (QWidget* control : idleControls_) control->setVisible(!scanning);
    results_->setVisible(listed);
    placeholder_->setVisible(!listed && scanning);
    empty_->setVisible(!listed && !scanning);
    present(report, scanning);
}

