#include "screens/menu_bar_view.h"

#include <QAction>
#include <QApplication>
#include <QMenu>

#include "app/controls/bind.h"
#include "engine/byte_format.h"

namespace MenuBarView {

namespace {

QString size(int64_t bytes) { return QString::fromStdString(ByteFormat::string(bytes)); }

// Sets the module, brings the window forward, then starts the scan: the
// screen that opens is that module's, already scanning.
void openScanning(const ScreenContext& context, ModuleID module, void (AppState::*scan)()) {
    context.state.setModule(module);
    activate(context);
    (context.state.*scan)();
}

}  // namespace

QString diskLine(const std::optional<FS::VolumeStats>& volume) {
    if (!volume) return QStringLiteral("Reading disk\u2026");
    return size(volume->free) + QStringLiteral(" free of ") + size(volume->total);
}

QString lastCleanupLine(const std::optional<CleanupSummary>& summary) {
    if (!summary) return QStringLiteral("No cleanup yet");
    return QStringLiteral("Last: ") + size(summary->reclaimed) + QStringLiteral(" from ") +
           QString::number(summary->removedCount) + QStringLiteral(" items");
}

void activate(const ScreenContext& context) {
    for (QWidget* window : QApplication::topLevelWidgets()) {
        // A window of the application's own: not a menu, a tooltip, a panel or a dialog.
        if (!window->isVisible() || window->windowType() != Qt::Window) continue;
        window->raise();
        window->activateWindow();
        return;
    }
    context.showMainWindow();
}

void fill(QMenu& menu, const ScreenContext& context) {
    AppState& state = context.state;
    QAction* disk = menu.addAction(diskLine(state.volume()));
    disk->setObjectName(QStringLiteral("diskLine"));
    disk->setEnabled(false);
    menu.addSeparator();
    QAction* open = menu.addAction(QStringLiteral("Open Vessiltane"), &menu, [&context] { activate(context); });
    open->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_O));
    menu.addSeparator();
    menu.addAction(QStringLiteral("Run Smart Scan"), &menu,
                   [&context] { openScanning(context, ModuleID::smartScan, &AppState::smartScanAll); });
    menu.addAction(QStringLiteral("Preview Cleanup"), &menu,
                   [&context] { openScanning(context, ModuleID::smartScan, &AppState::smartScanAll); });
    menu.addSeparator();
    menu.addAction(QStringLiteral("Empty Trash"), &menu,
                   [&context] { openScanning(context, ModuleID::trashBins, &AppState::scanTrash); });
    menu.addAction(QStringLiteral("System Junk"), &menu,
                   [&context] { openScanning(context, ModuleID::systemJunk, &AppState::scanSystemJunk); });
    menu.addAction(QStringLiteral("Login Items"), &menu,
                   [&context] { openScanning(context, ModuleID::loginItems, &AppState::loadLoginItems); });
    menu.addSeparator();
    QAction* last = menu.addAction(lastCleanupLine(state.lastCleanup()));
    last->setObjectName(QStringLiteral("lastCleanup"));
    last->setEnabled(false);
    menu.addSeparator();
    QAction* settings = menu.addAction(QStringLiteral("Settings\u2026"), &menu, [&context] { context.showSettings(); });
    settings->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Comma));
    QAction* quit = menu.addAction(QStringLiteral("Quit Vessiltane"), &menu, [] { QCoreApplication::quit(); });
    quit->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));

    Bind::value(&menu, &state, &AppState::volumeChanged, [disk, &state] { disk->setText(diskLine(state.volume())); });
    Bind::value(&menu, &state, &AppState::lastCleanupChanged,
                [last, &state] { last->setText(lastCleanupLine(state.lastCleanup())); });
}

}  // namespace MenuBarView
