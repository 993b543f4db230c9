#include "app/shell/detail_router.h"

#include <QVBoxLayout>

#include "app/controls/bind.h"
#include "app/controls/module_header.h"

namespace {

// A screen still to be built: its module's header, nothing under it.
QWidget* pending(ModuleID module, const char* name) {
    auto* screen = new QWidget;
    screen->setObjectName(QString::fromLatin1(name));
    auto* stack = new QVBoxLayout(screen);
    stack->setContentsMargins(ModuleHeader::kInsets.left(), ModuleHeader::kInsets.top(), ModuleHeader::kInsets.right(),
                              20);
    stack->addWidget(new ModuleHeader(module));
    stack->addStretch(1);
    return screen;
}

}  // namespace

DetailRouter::DetailRouter(AppState& state, const ScreenCatalog* catalog, const ScreenContext* context,
                           QWidget* parent)
    : QWidget(parent), state_(state), catalog_(catalog), context_(context) {
    setObjectName(QStringLiteral("DetailRouter"));
    auto* stack = new QVBoxLayout(this);
    stack->setContentsMargins(0, 0, 0, 0);
    Bind::value(this, &state_, &AppState::moduleChanged, [this] { route(state_.module()); });
}

const char* DetailRouter::screenName(std::optional<ModuleID> module) {
    if (!module) return "DashboardView";
    switch (*module) {
        case ModuleID::smartScan: return "DashboardView";
        case ModuleID::systemJunk:
        case ModuleID::mailAttachments:
        case ModuleID::trashBins:
        case ModuleID::largeOldFiles:
        case ModuleID::photos:
        case ModuleID::music: return "JunkModuleView";
        case ModuleID::privacy: return "PrivacyView";
        case ModuleID::extensions: return "ExtensionsView";
        case ModuleID::loginItems: return "LoginItemsView";
        case ModuleID::shredder: return "ShredderView";
        case ModuleID::uninstaller: return "UninstallerView";
        case ModuleID::diskMap: return "DiskMapView";
        case ModuleID::optimization: return "MaintenanceView";
        case ModuleID::malware: return "MalwareView";
        case ModuleID::updater: return "UpdaterView";
    }
    return "DashboardView";
}

QWidget* DetailRouter::makeScreen(std::optional<ModuleID> module) {
    // No module and Smart Scan are two branches: moving between them makes a
    // new dashboard.
    if (catalog_ && context_) {
        if (const ScreenCatalog::Maker& maker = catalog_->screen(module))
            if (QWidget* screen = maker(*context_, module)) return screen;
    }
    if (!module) return pending(ModuleID::smartScan, screenName(module));
    return pending(*module, screenName(module));
}

void DetailRouter::route(std::optional<ModuleID> module) {
    if (shown_ && *shown_ == module) return;
    shown_ = module;
    if (screen_) {
        // Not deleted at once: the change may come from a click inside it.
        layout()->removeWidget(screen_);
        screen_->hide();
        screen_->deleteLater();
    }
    screen_ = makeScreen(module);
    if (screen_->windowTitle().isEmpty()) {
        const std::string_view title = Modules::title(module.value_or(ModuleID::smartScan));
        screen_->setWindowTitle(QString::fromUtf8(title.data(), qsizetype(title.size())));
    }
    screen_->setParent(this);
    layout()->addWidget(screen_);
    screen_->show();
    Q_EMIT titleChanged(screen_->windowTitle());
}

QString DetailRouter::title() const { return screen_ ? screen_->windowTitle() : QString(); }
