#include "app/shell/vessiltane_app.h"

#include <QAction>
#include <QCloseEvent>
#include <QEventLoop>
#include <QApplication>
#include <QGuiApplication>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QScreen>
#include <QSettings>
#include <QShortcut>
#include <QSystemTrayIcon>
#include <QVBoxLayout>
#include <cstdio>
#include <utility>

#include "app/controls/appearance.h"
#include "app/controls/bind.h"
#include "app/controls/painters.h"
#include "app/controls/system_services.h"
#include "app/controls/theme.h"
#include "app/shell/content_view.h"
#include "app/shell/detail_router.h"
#include "engine/byte_format.h"
#include "engine/command_line.h"

namespace MenuBarExtra {

QString label(const std::optional<FS::VolumeStats>& volume) {
    return QString::fromStdString(ByteFormat::compact(volume ? volume->free : 0)) + QStringLiteral(" free");
}

// The sparkles symbol as the extra's image.
QIcon icon() {
    QIcon icon;
    for (int side : {16, 22, 32, 64}) {
        QPixmap pixmap(side, side);
        pixmap.fill(Qt::transparent);
        QPainter p(&pixmap);
        p.setRenderHint(QPainter::Antialiasing);
        Painters::symbol(p, QRectF(0, 0, side, side), "sparkles", side * 0.7, Theme::primary());
        icon.addPixmap(pixmap);
    }
    return icon;
}

}  // namespace MenuBarExtra

VessiltaneApp::VessiltaneApp(AppState& state, SystemServices& services, WindowConfigurator::Services frame,
                             ScreenCatalog catalog, QObject* parent)
    : QObject(parent),
      state_(state),
      catalog_(std::move(catalog)),
      context_{state, services, [this](QWidget* sheet) { content_->presentSheet(sheet); },
               [this] { showMain(); }, [this] { showSettings(); }} {
    main_ = std::make_unique<QMainWindow>();
    main_->setObjectName(QStringLiteral("main"));
    main_->setWindowTitle(QStringLiteral("Vessiltane"));
    main_->setPalette(Theme::palette());
    content_ = new ContentView(state, services, &catalog_, &context_);
    main_->setCentralWidget(content_);
    // The window is named after the screen it shows.
    Bind::value(content_->router(), content_->router(), &DetailRouter::titleChanged,
                [this] { main_->setWindowTitle(content_->router()->title()); });
    main_->resize(WindowFrame::kDefaultSize);
    new WindowConfigurator(*main_, std::move(frame));

    settings_ = std::make_unique<QWidget>();
    settings_->setObjectName(QStringLiteral("settings"));
    settings_->setWindowTitle(QStringLiteral("Settings"));
    settings_->setPalette(Theme::palette());
    settings_->setAutoFillBackground(true);
    settings_->setFixedSize(520, 400);
    if (catalog_.settings) {
        if (QWidget* content = catalog_.settings(context_)) {
            auto* stack = new QVBoxLayout(settings_.get());
            stack->setContentsMargins(0, 0, 0, 0);
            stack->addWidget(content);
        }
    }

    // Escape and Ctrl+W close the settings window; Ctrl+W closes the main
    // window too (the menu bar extra keeps the application running).
    for (const QKeySequence& keys : {QKeySequence(Qt::Key_Escape), QKeySequence(Qt::CTRL | Qt::Key_W)}) {
        auto* close = new QShortcut(keys, settings_.get());
        close->setContext(Qt::WindowShortcut);
        connect(close, &QShortcut::activated, settings_.get(), &QWidget::close);
    }

    QMenuBar* menus = main_->menuBar();
    QMenu* file = menus->addMenu(QStringLiteral("&File"));
    rescan_ = file->addAction(QStringLiteral("Rescan"));
    rescan_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_R));
    connect(rescan_, &QAction::triggered, this, [this] { state_.rescanCurrent(); });
    file->addSeparator();
    openSettings_ = file->addAction(QStringLiteral("Settings\u2026"));
    openSettings_->setMenuRole(QAction::PreferencesRole);
    openSettings_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Comma));
    connect(openSettings_, &QAction::triggered, this, &VessiltaneApp::showSettings);
    quit_ = file->addAction(QStringLiteral("Quit Vessiltane"));
    quit_->setMenuRole(QAction::QuitRole);
    quit_->setShortcut(QKeySequence::Quit);
    connect(quit_, &QAction::triggered, this, &VessiltaneApp::quit);
    // A removal never runs on behind a closed window: closing it stops the
    // removal and waits for it, and the window closes once it has ended.
    main_->installEventFilter(this);
    connect(&state_, &AppState::removalChanged, this, [this] {
        if (state_.isRemoving()) return;
        if (std::exchange(quitWhenRemoved_, false)) {
            closeWhenRemoved_ = false;
            quit();
        } else if (std::exchange(closeWhenRemoved_, false)) {
            main_->close();
        }
    });
    QMenu* window = menus->addMenu(QStringLiteral("&Window"));
    closeWindow_ = window->addAction(QStringLiteral("Close Window"));
    closeWindow_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_W));
    connect(closeWindow_, &QAction::triggered, main_.get(), &QWidget::close);
    reset_ = window->addAction(QStringLiteral("Reset Window Size"));
    reset_->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_0));
    connect(reset_, &QAction::triggered, this, [] { WindowConfigurator::resetCurrentWindowFrame(); });

    tray_ = new QSystemTrayIcon(MenuBarExtra::icon(), this);
    tray_->setObjectName(QStringLiteral("menuBarExtra"));
    Bind::value(this, &state_, &AppState::volumeChanged, [this] { tray_->setToolTip(MenuBarExtra::label(state_.volume())); });
    if (catalog_.trayMenu) {
        trayMenu_ = std::make_unique<QMenu>();
        trayMenu_->setObjectName(QStringLiteral("menuBarExtraMenu"));
        catalog_.trayMenu(*trayMenu_, context_);
        tray_->setContextMenu(trayMenu_.get());
    }
    if (QSystemTrayIcon::isSystemTrayAvailable()) {
        tray_->show();
        // Closing the last window leaves the menu bar extra running when it has a menu.
        if (trayMenu_) QApplication::setQuitOnLastWindowClosed(false);
    }
}

VessiltaneApp::~VessiltaneApp() = default;

void VessiltaneApp::quit() {
    if (state_.isRemoving()) {
        quitWhenRemoved_ = true;
        state_.stopRemoval();
        showMain();
        return;
    }
    // The menu bar extra keeps the application running with no window open,
    // so quitting ends the event loop itself.
    QApplication::closeAllWindows();
    QCoreApplication::quit();
}

void VessiltaneApp::waitForRemoval() {
    if (!state_.isRemoving()) return;
    state_.stopRemoval();
    showMain();
    QEventLoop loop;
    connect(&state_, &AppState::removalChanged, &loop, [this, &loop] {
        if (!state_.isRemoving()) loop.quit();
    });
    if (state_.isRemoving()) loop.exec();
    main_->hide();
}

bool VessiltaneApp::eventFilter(QObject* watched, QEvent* event) {
    if (watched == main_.get() && event->type() == QEvent::Close && state_.isRemoving()) {
        event->ignore();
        closeWhenRemoved_ = true;
        state_.stopRemoval();
        return true;
    }
    return QObject::eventFilter(watched, event);
}

void VessiltaneApp::showMain() {
    main_->show();
    main_->raise();
    main_->activateWindow();
}

void VessiltaneApp::showSettings() {
    if (!settings_->isVisible()) {
        // Over the main window when it shows, else in the middle of the
        // screen, and on the screen whole either way.
        QScreen* screen = main_->isVisible() ? main_->screen() : QGuiApplication::primaryScreen();
        if (screen) {
            const QRect area = screen->availableGeometry();
            const QRect over = main_->isVisible() ? main_->frameGeometry() : area;
            const QMargins decoration = WindowConfigurator::windowDecoration()(*settings_);
            const QRect frame = WindowFrame::centredOver(settings_->size().grownBy(decoration), over, area);
            settings_->move(frame.topLeft());
        }
    }
    settings_->show();
    settings_->raise();
    settings_->activateWindow();
}

bool VessiltaneApp::prepareApplication() {
    QApplication::setApplicationName(QStringLiteral("Vessiltane"));
    QApplication::setOrganizationName(QStringLiteral("Vessiltane"));
    QApplication::setOrganizationDomain(QStringLiteral("vessiltane.com"));
    const std::vector<std::string> failures = Appearance::apply();
    for (const std::string& failure : failures) std::fprintf(stderr, "Vessiltane: font not loaded: %s\n", failure.c_str());
    return failures.empty();
}

VessiltaneApp::Session::Session(std::vector<std::string> arguments, ScreenCatalog catalog)
    : executor(makeThreadPoolExecutor()),
      state(std::make_unique<AppState>(executor, std::move(arguments))),
      services(SystemServices::desktop(executor)),
      settings(std::make_unique<QSettings>()) {
    WindowConfigurator::Services frame;
    frame.executor = executor;
    frame.settings = settings.get();
    app = std::make_unique<VessiltaneApp>(*state, *services, std::move(frame), std::move(catalog));
}

VessiltaneApp::Session::~Session() {
    app.reset();
    settings.reset();
    services.reset();
    state.reset();
}

int VessiltaneApp::run(int argc, char** argv, ScreenCatalog catalog) {
    // Qt keeps the count by reference for the application's whole life.
    static int count = 0;
    count = argc;
    QApplication application(count, argv);
    prepareApplication();
    int status = 0;
    {
        Session session(CommandLine::arguments(), std::move(catalog));
        session.app->showMain();
        status = QApplication::exec();
        // Quit by any road while a removal runs: it ends in view.
        session.app->waitForRemoval();
    }
    waitForBackgroundWork();
    return status;
}
