#include "screens/junk_module_view.h"

#include <QShowEvent>
#include <QVBoxLayout>

#include "app/controls/buttons.h"
#include "app/controls/coverage_list.h"
#include "app/controls/empty_state_view.h"
#include "app/controls/system_services.h"
#include "app/controls/theme.h"
#include "engine/byte_format.h"
#include "screens/permission_hint.h"

using ScanScreen::text;

const char* const JunkModuleView::kThinMessage =
    "The slice this Mac cannot run is removed and the app is re-signed ad-hoc afterwards. That invalidates the "
    "original developer signature: the app's own updater may reject future updates, and anything depending on the "
    "signature \u2014 keychain access, some entitlements \u2014 can stop working. The original goes to the Trash and "
    "is restored automatically if re-signing fails.";

JunkModuleView::JunkModuleView(const ScreenContext& context, ModuleID module, QWidget* parent)
    : ModuleScreen(context, module, parent) {
    setObjectName(QStringLiteral("JunkModuleView"));
    scanButton_ = new SecondaryButton(QStringLiteral("Scan"), "arrow.clockwise", [this] { scan(); });
    scanButton_->setObjectName(QStringLiteral("scan"));
    addHeaderControl(scanButton_);
    if (module == ModuleID::systemJunk) {
        thinButton_ = new PrimaryButton(QStringLiteral("Thin"), "scissors", Theme::color(Theme::amber), true,
                                        [this] { thin(); });
        thinButton_->setObjectName(QStringLiteral("thin"));
        addHeaderControl(thinButton_);
        connect(&state_, &AppState::thinningChanged, this, &JunkModuleView::refresh);
    }
    removeButton_ = new PrimaryButton(QStringLiteral("Remove"), "trash.fill", Theme::color(Modules::tint(module)), true,
                                      [this] {
                                          state_.clean(state_.report(this->module()), this->module(),
                                                       movesToTrash(this->module()));
                                      });
    removeButton_->setObjectName(QStringLiteral("remove"));
    addHeaderControl(removeButton_);

    hintBox_ = new QWidget;
    auto* hintLayout = new QVBoxLayout(hintBox_);
    hintLayout->setContentsMargins(0, 0, 0, 0);
    addNote(hintBox_, 10);
    // The empty column: the empty state and the coverage list from the top.
    emptyLayout()->addStretch(1);
    refresh();
}

bool JunkModuleView::movesToTrash(ModuleID module) {
    return module == ModuleID::mailAttachments || module == ModuleID::largeOldFiles;
}

QString JunkModuleView::thinTitle(size_t count) {
    return QStringLiteral("Thin %1 universal binar%2?")
        .arg(count)
        .arg(count == 1 ? QStringLiteral("y") : QStringLiteral("ies"));
}

std::optional<QString> JunkModuleView::permissionHint() const {
    const ScanReport& report = state_.report(module());
    if (!report.permissionBlocked.empty()) {
        QStringList places;
        for (const std::string& place : report.permissionBlocked) places << QString::fromStdString(place);
        return places.join(QStringLiteral(" \u00b7 "));
    }
    if (!state_.hasFullDiskAccess())
        return QStringLiteral("macOS is hiding some folders. Grant Full Disk Access for complete results.");
    return std::nullopt;
}

void JunkModuleView::showEvent(QShowEvent* event) {
    ModuleScreen::showEvent(event);
    if (event->spontaneous()) return;
    if (state_.report(module()).categories.empty() && !isScanning()) scan();
}

void JunkModuleView::scan() {
    hasScanned_ = true;
    switch (module()) {
        case ModuleID::systemJunk: state_.scanSystemJunk(); break;
        case ModuleID::mailAttachments: state_.scanMail(); break;
        case ModuleID::trashBins: state_.scanTrash(); break;
        case ModuleID::photos: state_.scanPhotos(); break;
        case ModuleID::music: state_.scanMusic(); break;
        case ModuleID::largeOldFiles: state_.scanLargeAndOld(); break;
        default: break;
    }
}

void JunkModuleView::thin() {
    const size_t count = size_t(state_.selectedBinaryCount());
    SystemServices::Confirmation ask;
    ask.title = thinTitle(count).toStdString();
    ask.message = kThinMessage;
    ask.confirmButton = "Thin";
    ask.destructive = true;
    context_.services.confirm(ask, this, [this](bool goAhead) {
        if (goAhead) state_.thinSelectedBinaries();
    });
}

void JunkModuleView::present(const ScanReport& report, bool scanning) {
    const bool listed = !report.categories.empty();
    scanButton_->setText(listed ? QStringLiteral("Rescan") : QStringLiteral("Scan"));
    if (thinButton_) {
        thinButton_->setVisible(!scanning && state_.canThin());
        thinButton_->setText(QStringLiteral("Thin ") + QString::number(state_.selectedBinaryCount()));
    }
    const int64_t bytes = state_.totals(module()).selectedBytes;
    removeButton_->setVisible(!scanning && bytes >= 1);
    removeButton_->setText(QStringLiteral("Remove ") + QString::fromStdString(ByteFormat::compact(bytes)));
    presentHint();
    if (!listed && !scanning) presentEmpty(report);
}

void JunkModuleView::presentHint() {
    const std::optional<QString> hint = permissionHint();
    if (hint_ && (!hint || hint_->text() != *hint)) {
        hint_->hide();
        hint_->deleteLater();
        hint_ = nullptr;
    }
    if (hint && !hint_) {
        hint_ = new PermissionHint(*hint, QStringLiteral("Open Settings"), nullptr, Theme::color(Theme::amber),
                                   "lock.shield.fill", context_.services);
        hintBox_->layout()->addWidget(hint_);
        hint_->show();
    }
    hintBox_->parentWidget()->setVisible(hint_ != nullptr);
}

void JunkModuleView::presentEmpty(const ScanReport& report) {
    if (emptyShownScanned_ != hasScanned_) {
        if (emptyState_) {
            // Not at once: the change may come from a click on its own button.
            emptyState_->hide();
            emptyState_->deleteLater();
        }
        const Symbol icon = Symbols::named(Modules::icon(module()));
        const QColor tint = Theme::color(Modules::tint(module()));
        if (hasScanned_)
            emptyState_ = new EmptyStateView(
                icon, QStringLiteral("Nothing to clean"),
                text(Modules::title(module())) +
                    QStringLiteral(" found nothing it can remove right now. What it checked is listed below."),
                tint, EmptyStateView::Action{QStringLiteral("Scan again"), [this] { scan(); }});
        else
            emptyState_ = new EmptyStateView(icon, QStringLiteral("Nothing scanned yet"), text(Modules::subtitle(module())),
                                             tint, EmptyStateView::Action{QStringLiteral("Scan now"), [this] { scan(); }});
        // At its own height, with what the scan checked right under it.
        emptyLayout()->insertWidget(0, emptyState_, 0);
        emptyState_->show();
        emptyShownScanned_ = hasScanned_;
    }
    const bool showCoverage = hasScanned_ && !report.coverage.empty();
    if (showCoverage && !coverage_) {
        coverage_ = new CoverageList(report.coverage);
        auto* box = new QWidget;
        auto* pad = new QVBoxLayout(box);
        pad->setContentsMargins(22, 0, 22, 18);
        pad->addWidget(coverage_);
        emptyLayout()->insertWidget(1, box);
        box->show();
    } else if (coverage_) {
        coverage_->setEntries(report.coverage);
    }
    if (coverage_) coverage_->parentWidget()->setVisible(showCoverage);
}
