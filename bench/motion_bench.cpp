// Times the window's motion on the offscreen platform, in real time: a result
// card of 2,000 items opening with its spring (the list as the detail column
// shows it, cards above and below), and the banner coming in, again and again,
// while a Smart Scan of the sample home bench/run made (HOME points there)
// publishes its progress, in the window as the executable makes it.
//
// A frame is the work the main thread did from the end of one painted frame
// of the window to the end of the next: every event it handled in between
// (the animation's tick, the scan's progress, the layout, the painting), not
// the time it waited for the next tick. Each frame is measured twice: by the
// wall clock, and by the main thread's own processor time, which other
// processes on a busy machine do not lengthen. Prints, per motion, one line
// per measure: its name, a tab, its value.
#include <time.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QMainWindow>
#include <QVBoxLayout>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "app/controls/appearance.h"
#include "app/controls/results_list.h"
#include "app/shell/banner_stage.h"
#include "app/shell/content_view.h"
#include "app/shell/vessiltane_app.h"
#include "app/state/executor.h"
#include "screens/screen_catalog.h"

namespace {

double nowMs() {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

double threadCpuMs() {
    timespec now{};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return double(now.tv_sec) * 1000.0 + double(now.tv_nsec) / 1e6;
}

struct Frame {
    double wall;
    double cpu;
};

// The application, timing each event the main thread handles while a window
// is watched; the painting of that window ends a frame.
class TimedApplication : public QApplication {
public:
    using QApplication::QApplication;

    void watch(QWidget* window) {
        window_ = window;
        busy_ = {0, 0};
        frames_.clear();
    }
    void stop() { window_ = nullptr; }
    const std::vector<Frame>& frames() const { return frames_; }

    bool notify(QObject* receiver, QEvent* event) override {
        if (!window_ || depth_ > 0) return QApplication::notify(receiver, event);
        ++depth_;
        const double start = nowMs(), startCpu = threadCpuMs();
        const bool handled = QApplication::notify(receiver, event);
        busy_.wall += nowMs() - start;
        busy_.cpu += threadCpuMs() - startCpu;
        --depth_;
        if (event->type() == QEvent::UpdateRequest && receiver == window_) {
            frames_.push_back(busy_);
            busy_ = {0, 0};
        }
        return handled;
    }

private:
    QWidget* window_ = nullptr;
    int depth_ = 0;
    Frame busy_{0, 0};
    std::vector<Frame> frames_;
};

// Runs the event loop while moving() holds (at most the time given).
double runWhile(const std::function<bool()>& moving, int limitMs) {
    QElapsedTimer clock;
    clock.start();
    while (moving() && clock.elapsed() < limitMs) QApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
    return double(clock.nsecsElapsed()) / 1e6;
}

void print(const char* motion, const std::vector<Frame>& frames, double seconds) {
    double wall = 0, cpu = 0;
    for (const Frame& f : frames) {
        wall = std::max(wall, f.wall);
        cpu = std::max(cpu, f.cpu);
    }
    std::printf("%s frames\t%zu\n", motion, frames.size());
    std::printf("%s frames per second\t%.1f\n", motion, seconds > 0 ? double(frames.size()) / seconds : 0.0);
    std::printf("%s slowest frame ms\t%.2f\n", motion, wall);
    std::printf("%s slowest frame cpu ms\t%.2f\n", motion, cpu);
}

ScanReport cards(int items) {
    ScanReport report;
    for (int c = 0; c < 5; ++c) {
        ScanCategory category;
        category.id = "category-" + std::to_string(c);
        category.title = c == 1 ? "User Cache Files" : "Category " + std::to_string(c);
        category.detail = "Regenerated on demand.";
        const int count = c == 1 ? items : 3;
        for (int i = 0; i < count; ++i) {
            ScanItem item;
            item.name = "com.example.app-" + std::to_string(i);
            item.url = "/Users/me/Library/Caches/" + item.name;
            item.detail = "~/Library/Caches/";
            item.size = 40'000 + i;
            item.safety = i % 9 == 0 ? Safety::review : Safety::safe;
            item.isSelected = item.safety == Safety::safe;
            category.items.push_back(std::move(item));
        }
        report.categories.push_back(std::move(category));
    }
    return report;
}

}  // namespace

int main(int argc, char** argv) {
    if (!std::getenv("QT_QPA_PLATFORM")) ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    TimedApplication application(argc, argv);
    VessiltaneApp::prepareApplication();
    int status = 0;

    // A card of 2,000 items opening, five times (closed at once in between).
    {
        QWidget column;
        auto* layout = new QVBoxLayout(&column);
        layout->setContentsMargins(0, 0, 0, 0);
        auto* list = new ResultsList(ModuleID::systemJunk);
        layout->addWidget(list);
        list->setReport(cards(2000));
        column.resize(944, 800);
        column.show();
        runWhile([] { return true; }, 300);
        std::vector<Frame> frames;
        double seconds = 0;
        for (int round = 0; round < 5; ++round) {
            application.watch(&column);
            list->setCategoryExpanded(1, true, true);
            seconds += runWhile([&] { return list->isCardMoving(1); }, 5000) / 1000;
            application.stop();
            frames.insert(frames.end(), application.frames().begin(), application.frames().end());
            list->setCategoryExpanded(1, false);
            runWhile([] { return true; }, 100);
        }
        if (frames.empty()) {
            std::fprintf(stderr, "motion bench: no frame was painted while the card opened\n");
            status = 1;
        }
        print("card of 2000 items opening", frames, seconds);
    }

    // The banner coming in while a Smart Scan runs in the window.
    {
        VessiltaneApp::Session session({"vessiltane"}, Screens::catalog());
        AppState& state = *session.state;
        QMainWindow* window = session.app->mainWindow();
        session.app->showMain();
        runWhile([] { return true; }, 500);
        state.setModule(ModuleID::smartScan);
        const BannerStage& stage = session.app->content()->bannerStage();
        std::vector<Frame> frames;
        double seconds = 0;
        int entries = 0;
        state.smartScanAll();
        while (state.isScanning(ModuleID::smartScan) || entries == 0) {
            // The last banner goes first (its way out is not measured), so
            // each one measured comes in on its own.
            state.dismissBanner();
            runWhile([&] { return stage.isMoving(); }, 2000);
            application.watch(window);
            state.showBanner(entries % 2 ? "Emptied the Trash." : "Removed 3 items, 1.2 GB.", false);
            seconds += runWhile([&] { return stage.isMoving(); }, 5000) / 1000;
            application.stop();
            frames.insert(frames.end(), application.frames().begin(), application.frames().end());
            ++entries;
            if (entries > 200) break;
        }
        if (frames.empty()) {
            std::fprintf(stderr, "motion bench: no frame was painted while the banner came in\n");
            status = 1;
        }
        std::printf("banner entries during the smart scan\t%d\n", entries);
        print("banner entering during a smart scan", frames, seconds);
        runWhile([&] { return state.progress().isRunning; }, 60000);
    }
    waitForBackgroundWork();
    return status;
}
