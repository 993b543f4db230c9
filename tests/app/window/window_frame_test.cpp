// The main window's frame in a real window on a virtual X display: the
// default, a stored frame restored or ignored, a frame pulled back onto the
// screen, saving after the user moves it, Reset Window Size, and the debug
// lines.
#include <QAction>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QMainWindow>
#include <QScreen>
#include <QTest>
#include <thread>

#include "app/shell/vessiltane_app.h"
#include "app/shell/window_configurator.h"
#include "support/window/shell_test.h"

using std::chrono::milliseconds;

class RealWindowTest : public ShellTest {
protected:
    void TearDown() override {
        window.reset();
        ShellTest::TearDown();
    }
    // A plain window in the configurator's charge (area: the injected
    // visible area; none: the screen's own). This display has no window
    // manager: a test may give the window a title bar and borders of its own.
    QWidget& open(std::optional<QRect> area = std::nullopt, std::optional<QMargins> decoration = std::nullopt) {
        window = std::make_unique<QWidget>();
        WindowConfigurator::Services s = frameServices(area);
        if (!area) s.visibleArea = WindowConfigurator::screenAreas();
        if (decoration) s.decoration = [m = *decoration](const QWidget&) { return m; };
        new WindowConfigurator(*window, std::move(s));
        window->resize(400, 300);
        window->show();
        pump();
        executor->runPosts();  // the first layout, a turn after showing
        pump();
        return *window;
    }
    // Lets the X server and Qt agree on the window's geometry.
    static void pump() {
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < 150) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
            std::this_thread::sleep_for(milliseconds(5));
        }
    }
    void store(const std::string& text) { settings->setValue(WindowFrame::kSettingsKey, QString::fromStdString(text)); }
    QString stored() const { return settings->value(WindowFrame::kSettingsKey).toString(); }
    bool logged(const std::string& line) const {
        return std::find(logLines.begin(), logLines.end(), line) != logLines.end();
    }

    std::unique_ptr<QWidget> window;
};

TEST_F(RealWindowTest, FirstShowingIsTheCentredDefaultAboveTheMinimumSize) {
    QWidget& w = open();
    EXPECT_EQ(w.geometry(), QRect(120, 50, 1200, 800));
    EXPECT_EQ(w.minimumSize(), QSize(1020, 680));
    ASSERT_FALSE(logLines.empty());
    EXPECT_EQ(logLines.front(), "activate 120,50 1200x800");
    // Not saved by restoring.
    EXPECT_EQ(stored(), QString());
}

TEST_F(RealWindowTest, DefaultIsCappedByASmallVisibleArea) {
    QWidget& w = open(QRect(0, 0, 1100, 700));
    EXPECT_EQ(w.geometry(), QRect(0, 0, 1100, 700));
}

TEST_F(RealWindowTest, StoredFrameIsRestoredUnlessASideIsTwoHundredOrLess) {
    struct Row {
        const char* text;
        QRect frame;
        bool restored;
    } rows[] = {
        {"{{100, 60}, {1100, 720}}", QRect(100, 60, 1100, 720), true},
        {"{{10, 10}, {150, 900}}", QRect(120, 50, 1200, 800), false},
        {"{{10, 10}, {200, 800}}", QRect(120, 50, 1200, 800), false},
        {"{{10, 10}, {201, 800}}", QRect(10, 10, 1020, 800), true},
        {"nothing like a frame", QRect(120, 50, 1200, 800), false},
    };
    for (const Row& r : rows) {
        logLines.clear();
        store(r.text);
        QWidget& w = open();
        EXPECT_EQ(w.geometry(), r.frame) << r.text;
        EXPECT_EQ(!logLines.empty() && logLines.front().rfind("restore ", 0) == 0, r.restored) << r.text;
        window.reset();
    }
}

TEST_F(RealWindowTest, FrameFromALargerScreenIsPulledInside) {
    store("{{3000, 200}, {2400, 1500}}");
    QWidget& w = open();
    EXPECT_EQ(w.geometry(), QRect(0, 0, 1440, 900));
    EXPECT_TRUE(logged("restore 3000,200 2400x1500"));
    EXPECT_TRUE(logged("fit 3000,200 2400x1500 \u2192 0,0 1440x900"));
}

TEST_F(RealWindowTest, TheFrameIsTheWholeWindowWithItsTitleBar) {
    const QMargins titleBar(1, 28, 1, 1);
    // The centred default is the whole window's; the content sits inside it.
    QWidget& w = open(QRect(0, 0, 1440, 900), titleBar);
    EXPECT_EQ(w.geometry(), QRect(120, 50, 1200, 800).marginsRemoved(titleBar));
    // A stored frame whose title bar would be above the screen comes back
    // with the title bar on it.
    store("{{100, -20}, {1200, 800}}");
    window.reset();
    QWidget& again = open(QRect(0, 0, 1440, 900), titleBar);
    EXPECT_EQ(again.geometry(), QRect(100, 0, 1200, 800).marginsRemoved(titleBar));
    EXPECT_TRUE(logged("fit 100,-20 1200x800 \u2192 100,0 1200x800"));
    // What is saved after a move is the whole window too.
    executor->advance(milliseconds(600));
    executor->runPosts();
    again.setGeometry(QRect(200, 80, 1100, 720).marginsRemoved(titleBar));
    pump();
    EXPECT_EQ(stored(), "{{200, 80}, {1100, 720}}");
}

TEST_F(RealWindowTest, ReassertsAfterFourTenthsAndSavesMovesAfterSixTenths) {
    QWidget& w = open();
    executor->advance(milliseconds(399));
    executor->runPosts();
    EXPECT_FALSE(logged("reassert"));
    // Moved by the user before tracking starts: not saved.
    w.setGeometry(200, 80, 1100, 720);
    pump();
    EXPECT_EQ(stored(), QString());
    executor->advance(milliseconds(1));
    executor->runPosts();
    EXPECT_TRUE(logged("reassert"));
    pump();
    // The reassertion put the default back.
    EXPECT_EQ(w.geometry(), QRect(120, 50, 1200, 800));

    executor->advance(milliseconds(200));
    executor->runPosts();
    w.setGeometry(200, 80, 1100, 720);
    pump();
    EXPECT_EQ(stored(), "{{200, 80}, {1100, 720}}");
    EXPECT_TRUE(logged("save 200,80 1100x720"));

    // A minimized window leaves the stored frame alone.
    w.showMinimized();
    pump();
    w.setGeometry(300, 90, 1050, 700);
    pump();
    EXPECT_EQ(stored(), "{{200, 80}, {1100, 720}}");
}

TEST_F(RealWindowTest, ResetWindowSizeForgetsTheFrameAndCentresTheDefault) {
    store("{{0, 0}, {1440, 900}}");
    VessiltaneApp app(state(), services, frameServices(std::nullopt));
    // The screen's own area.
    QMainWindow& main = *app.mainWindow();
    app.showMain();
    pump();
    executor->runPosts();
    pump();
    EXPECT_EQ(main.geometry(), QRect(0, 0, 1440, 900));
    executor->advance(milliseconds(600));
    executor->runPosts();

    main.activateWindow();
    pump();
    QTest::keyClick(&main, Qt::Key_0, Qt::ControlModifier | Qt::ShiftModifier);
    pump();
    EXPECT_EQ(main.geometry(), QRect(120, 50, 1200, 800));
    EXPECT_TRUE(logged("reset to 1200x800"));
    // The tracking saves the new frame, as after any move.
    EXPECT_EQ(stored(), "{{120, 50}, {1200, 800}}");
}

TEST_F(RealWindowTest, TheSettingsWindowOpensOverTheMainWindowOnTheScreen) {
    store("{{100, 50}, {1200, 800}}");
    VessiltaneApp app(state(), services, frameServices(std::nullopt));
    QMainWindow& main = *app.mainWindow();
    app.showMain();
    pump();
    executor->runPosts();
    pump();
    QWidget* settings = app.settingsWindow();
    const QRect screen = main.screen()->availableGeometry();
    app.showSettings();
    pump();
    ASSERT_TRUE(settings->isVisible());
    EXPECT_TRUE(screen.contains(settings->frameGeometry()));
    EXPECT_LE((settings->frameGeometry().center() - main.frameGeometry().center()).manhattanLength(), 2)
        << WindowFrame::describe(settings->frameGeometry()) << " over " << WindowFrame::describe(main.frameGeometry());
    // The main window moved partly off the screen: the settings window opens
    // as near its middle as the screen allows, whole.
    settings->close();
    main.move(screen.right() - 300, screen.bottom() - 200);
    pump();
    app.showSettings();
    pump();
    EXPECT_TRUE(screen.contains(settings->frameGeometry())) << WindowFrame::describe(settings->frameGeometry());
    EXPECT_EQ(settings->frameGeometry().bottomRight(), screen.bottomRight());
}

TEST_F(RealWindowTest, DebugVariableWritesWindowLinesToStandardError) {
    ::setenv("VESSILTANE_DEBUG_WINDOW", "1", 1);
    window = std::make_unique<QWidget>();
    WindowConfigurator::Services s = frameServices(QRect(0, 0, 1440, 900));
    s.log = WindowConfigurator::standardErrorLog();
    new WindowConfigurator(*window, std::move(s));
    testing::internal::CaptureStderr();
    window->show();
    pump();
    executor->runPosts();
    executor->advance(milliseconds(400));
    executor->runPosts();
    const std::string err = testing::internal::GetCapturedStderr();
    ::unsetenv("VESSILTANE_DEBUG_WINDOW");
    EXPECT_NE(err.find("[window] activate "), std::string::npos) << err;
    EXPECT_NE(err.find("[window] reassert\n"), std::string::npos) << err;
}
