#include "screens/extensions_view.h"

#include <QShowEvent>
#include <QVBoxLayout>

#include "app/controls/buttons.h"
#include "app/controls/empty_state_view.h"
#include "app/controls/system_services.h"
#include "app/controls/theme.h"
#include "engine/byte_format.h"
#include "screens/permission_hint.h"

ExtensionsView::ExtensionsView(const ScreenContext& context, QWidget* parent)
    : ModuleScreen(context, ModuleID::extensions, parent) {
    setObjectName(QStringLiteral("ExtensionsView"));
    scanButton_ = new SecondaryButton(QStringLiteral("Rescan"), "arrow.clockwise", [this] { state_.scanExtensions(); });
    scanButton_->setObjectName(QStringLiteral("scan"));
    addHeaderControl(scanButton_);
    removeButton_ = new PrimaryButton(QStringLiteral("Remove"), "trash.fill", Theme::color(Theme::teal), true,
                                      [this] { state_.clean(state_.report(ModuleID::extensions), ModuleID::extensions, true); });
    removeButton_->setObjectName(QStringLiteral("remove"));
    addHeaderControl(removeButton_);

    SystemServices& services = context.services;
    hint_ = new PermissionHint(
        QStringLiteral("Safari extensions belong to the app that ships them, so they are listed but never removed here "
                       "\u2014 use the Uninstaller to remove the app."),
        QStringLiteral("Open Safari Settings"), [&services] { services.openURL(SystemLinks::kSafariExtensions); },
        Theme::color(Theme::teal), "info.circle.fill", services);
    addNote(hint_, 12);

    emptyState_ = new EmptyStateView(
        "puzzlepiece.extension", QStringLiteral("No extensions found"),
        QStringLiteral("Plugins, preference panes, Spotlight importers and browser add-ons all show up here."),
        Theme::color(Theme::teal), EmptyStateView::Action{QStringLiteral("Scan now"), [this] { state_.scanExtensions(); }});
    emptyLayout()->addWidget(emptyState_, 1);
    refresh();
}

void ExtensionsView::showEvent(QShowEvent* event) {
    ModuleScreen::showEvent(event);
    if (hasScanned_) return;
    hasScanned_ = true;
    state_.scanExtensions();
}

void ExtensionsView::present(const ScanReport&, bool scanning) {
    const int64_t bytes = state_.totals(module()).selectedBytes;
    removeButton_->setVisible(!scanning && bytes >= 1);
    removeButton_->setText(QStringLiteral("Remove ") + QString::fromStdString(ByteFormat::compact(bytes)));
}
