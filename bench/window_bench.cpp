// Times the window on the sample home bench/run made (HOME points there): from
// the process's start to the first painted main window, the main thread's
// lateness while a Smart Scan runs, the Smart Scan's wall time, and the
// process's peak memory after it. The application is made as the executable
// makes it (its session and screens), on the offscreen platform. Lateness is a
// round trip through the event loop: every 10 ms another thread posts an event
// to the main thread, and the time until it is handled is how late the main
// thread was. Prints one line per measure: its name, a tab, its value.
#include <sys/resource.h>
#include <time.h>
#include <unistd.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QMainWindow>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
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

// Posts an event to the main thread every 10 ms from a thread of its own and
// notes, when the main thread handles it, how long it waited.
class Lateness : public QObject {
public:
    struct Posted : QEvent {
        explicit Posted(std::chrono::steady_clock::time_point at) : QEvent(QEvent::User), at(at) {}
        std::chrono::steady_clock::time_point at;
    };

    void start() {
        running_ = true;
        poster_ = std::thread([this] {
            auto next = std::chrono::steady_clock::now();
            while (running_) {
                QCoreApplication::postEvent(this, new Posted(std::chrono::steady_clock::now()));
                next += std::chrono::milliseconds(10);
                std::this_thread::sleep_until(next);
            }
        });
    }
    // Stops posting; what was posted is still handled by the caller's loop.
    void stop() {
        running_ = false;
        if (poster_.joinable()) poster_.join();
    }
    std::vector<double> samples() {
        std::lock_guard guard(lock_);
        return samples_;
    }

protected:
    bool event(QEvent* e) override {
        if (e->type() != QEvent::User) return QObject::event(e);
        const auto waited = std::chrono::steady_clock::now() - static_cast<Posted*>(e)->at;
        std::lock_guard guard(lock_);
        samples_.push_back(std::chrono::duration<double, std::milli>(waited).count());
        return true;
    }

private:
    std::atomic<bool> running_{false};
    std::thread poster_;
    std::mutex lock_;
    std::vector<double> samples_;
};

double percentile(const std::vector<double>& sorted, size_t p) {
    return sorted[std::min(sorted.size() - 1, sorted.size() * p / 100)];
}

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
        // Waiting sleeps until the next event: processEvents with a time limit
        // ignores WaitForMoreEvents and would spin the main thread, which then
        // takes processors from the scan it is measuring.
        while (firstPaint.at < 0) QApplication::processEvents(QEventLoop::WaitForMoreEvents);
        std::printf("launch to first paint\t%.2f\n", firstPaint.at);

        AppState& state = *session.state;
        state.setModule(ModuleID::smartScan);
        Lateness lateness;
        QElapsedTimer scan;
        scan.start();
        lateness.start();
        state.smartScanAll();
        while (state.isScanning(ModuleID::smartScan) || !state.hasReport(ModuleID::smartScan))
            QApplication::processEvents(QEventLoop::WaitForMoreEvents);
        const double scanMs = double(scan.nsecsElapsed()) / 1e6;
        // The report's own painting counts as part of the scan's stall.
        QApplication::processEvents();
        lateness.stop();
        QApplication::processEvents();
        std::vector<double> late = lateness.samples();
        if (late.empty()) {
            std::fprintf(stderr, "window bench: no event came through during the scan\n");
            status = 1;
        } else {
            std::sort(late.begin(), late.end());
            std::printf("smart scan wall\t%.2f\n", scanMs);
            std::printf("main thread lateness samples\t%zu\n", late.size());
            std::printf("main thread lateness p50\t%.2f\n", percentile(late, 50));
            std::printf("main thread lateness p99\t%.2f\n", percentile(late, 99));
            std::printf("main thread lateness max\t%.2f\n", late.back());
        }
        rusage usage{};
        ::getrusage(RUSAGE_SELF, &usage);
        std::printf("peak memory kb\t%ld\n", usage.ru_maxrss);
    }
    waitForBackgroundWork();
    return status;
}
