// Times the window on the sample home bench/run made (HOME points there): from
// the process's start to the first painted main window, the main thread's
// lateness while a Smart Scan runs, the Smart Scan's wall time, and the
// process's peak memory after it. The application is made as the executable
// makes it (its session and screens), on the offscreen platform. Prints one
// line per measure: its name, a tab, its value.
#include <sys/resource.h>
#include <time.h>
#include <unistd.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QMainWindow>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "app/shell/vessiltane_app.h"
#include "app/state/executor.h"
#include "screens/screen_catalog.h"

namespace {

// Milliseconds since this process was started (the kernel's start time, so
// the loading of the program and its libraries counts too).
double msSinceProcessStart() {
    std::ifstream in("/proc/self/stat");
    std::string line;
    std::getline(in, line);
    // The fields after the command's closing parenthesis; the start time is
    // the 22nd field of the line, the 20th after it.
    std::istringstream rest(line.substr(line.rfind(')') + 2));
    std::string field;
    for (int i = 0; i < 20 && rest >> field; ++i) {
    }
    const double startTicks = std::stod(field);
    timespec now{};
    ::clock_gettime(CLOCK_BOOTTIME, &now);
    const double nowMs = double(now.tv_sec) * 1000.0 + double(now.tv_nsec) / 1e6;
    return nowMs - startTicks * 1000.0 / double(::sysconf(_SC_CLK_TCK));
}

class FirstPaint : public QObject {
public:
    double at = -1;
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (at < 0 && event->type() == QEvent::Paint) at = msSinceProcessStart();
        return QObject::eventFilter(watched, event);
    }
};

}  // namespace

int main(int argc, char** argv) {
    if (!std::getenv("QT_QPA_PLATFORM")) ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication application(argc, argv);
    VessiltaneApp::prepareApplication();
    int status = 0;
    {
        VessiltaneApp::Session session({"vessiltane"}, Screens::catalog());
        FirstPaint firstPaint;
        QMainWindow* main = session.app->mainWindow();
        main->installEventFilter(&firstPaint);
        session.app->showMain();
        while (firstPaint.at < 0) QApplication::processEvents(QEventLoop::WaitForMoreEvents, 10);
        std::printf("launch to first paint\t%.2f\n", firstPaint.at);

        // A 10 ms timer on the main thread during the scan: how late each tick comes.
        AppState& state = *session.state;
        state.setModule(ModuleID::smartScan);
        std::vector<double> lateness;
        QElapsedTimer sinceTick;
        QTimer tick;
        tick.setTimerType(Qt::PreciseTimer);
        tick.setInterval(10);
        QObject::connect(&tick, &QTimer::timeout, [&] {
            lateness.push_back(std::max(0.0, double(sinceTick.nsecsElapsed()) / 1e6 - 10.0));
            sinceTick.restart();
        });
        QElapsedTimer scan;
        scan.start();
        sinceTick.start();
        tick.start();
        state.smartScanAll();
        while (state.isScanning(ModuleID::smartScan) || !state.hasReport(ModuleID::smartScan))
            QApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
        const double scanMs = double(scan.nsecsElapsed()) / 1e6;
        // The report's own painting counts as part of the scan's stall.
        QApplication::processEvents();
        tick.stop();
        if (lateness.empty()) {
            std::fprintf(stderr, "window bench: the scan ended before the timer ticked\n");
            status = 1;
        } else {
            std::sort(lateness.begin(), lateness.end());
            const double p99 = lateness[std::min(lateness.size() - 1, lateness.size() * 99 / 100)];
            std::printf("smart scan wall\t%.2f\n", scanMs);
            std::printf("main thread lateness p99\t%.2f\n", p99);
            std::printf("main thread lateness max\t%.2f\n", lateness.back());
        }
        rusage usage{};
        ::getrusage(RUSAGE_SELF, &usage);
        std::printf("peak memory kb\t%ld\n", usage.ru_maxrss);
    }
    waitForBackgroundWork();
    return status;
}
