// Times one tick in a System Junk report of 50,000 items, on the main thread,
// as the window does it: the state flips the item and keeps its figures, the
// System Junk screen redraws its header and its list, and the window paints
// what changed, offscreen. The report is a real scan of a home of its own (a
// temporary folder with 50,000 caches, HOME and the system root pointed into
// it, removed at the end). Prints two lines, the main thread's processor
// time and the wall clock: the measure's name, then the median and the
// slowest of the ticks in milliseconds.
#include <stdlib.h>
#include <time.h>

#include <QApplication>
#include <QElapsedTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "app/controls/appearance.h"
#include "app/controls/results_list.h"
#include "app/controls/system_services.h"
#include "app/state/app_state.h"
#include "app/state/manual_executor.h"
#include "screens/junk_module_view.h"

namespace fs = std::filesystem;

namespace {

constexpr int kItems = 50000;

// A home whose Library/Caches holds that many caches of one small file each,
// old enough to be offered.
fs::path makeHome(const fs::path& top, int caches) {
    const fs::path home = top / "home";
    const auto old = fs::file_time_type::clock::now() - std::chrono::hours(72);
    for (int i = 0; i < caches; ++i) {
        const fs::path cache = home / "Library/Caches" / ("com.example.cache" + std::to_string(i));
        fs::create_directories(cache);
        std::ofstream(cache / "data") << "cached";
        fs::last_write_time(cache / "data", old);
        fs::last_write_time(cache, old);
    }
    fs::create_directories(top / "root");
    return home;
}

// The calling thread's processor time so far, in milliseconds.
double threadCpuMs() {
    timespec now{};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return double(now.tv_sec) * 1000.0 + double(now.tv_nsec) / 1e6;
}

}  // namespace

int main(int argc, char** argv) {
    if (!std::getenv("QT_QPA_PLATFORM")) ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/vessiltane-tick-XXXXXX";
    if (!::mkdtemp(pattern.data())) {
        std::perror("mkdtemp");
        return 1;
    }
    const fs::path top = pattern;
    struct Cleanup {
        fs::path top;
        ~Cleanup() {
            std::error_code ec;
            fs::remove_all(top, ec);
        }
    } cleanup{top};
    const fs::path home = makeHome(top, kItems);
    ::setenv("HOME", home.c_str(), 1);
    ::setenv("VESSILTANE_ROOT", (top / "root").c_str(), 1);

    QApplication app(argc, argv);
    Appearance::apply();
    auto executor = std::make_shared<ManualExecutor>();
    AppState state(executor, {"vessiltane"});
    state.setModule(ModuleID::systemJunk);
    state.scanSystemJunk();
    executor->settle();
    const ScanReport& junk = state.junk();
    size_t category = 0;
    for (size_t c = 0; c < junk.categories.size(); ++c)
        if (junk.categories[c].items.size() > junk.categories[category].items.size()) category = c;
    if (junk.categories.empty() || junk.categories[category].items.size() < size_t(kItems)) {
        std::fprintf(stderr, "the System Junk scan found %d items, not %d\n", junk.itemCount(), kItems);
        return 1;
    }

    std::unique_ptr<SystemServices> services = SystemServices::desktop(executor);
    ScreenContext context{state, *services, [](QWidget*) {}, [] {}, [] {}};
    JunkModuleView view(context, ModuleID::systemJunk);
    view.resize(1000, 760);
    view.show();
    view.results()->setCategoryExpanded(int(category), true);
    QApplication::processEvents();

    // The main thread's own processor time is what a tick costs; the wall
    // clock also counts the time other processes held the processor.
    std::vector<double> cpu, wall;
    const int64_t before = state.totals(ModuleID::systemJunk).selectedBytes;
    for (int run = 0; run < 21; ++run) {
        const size_t item = size_t(run * 997) % junk.categories[category].items.size();
        QElapsedTimer clock;
        clock.start();
        const double cpuBefore = threadCpuMs();
        state.toggle(ModuleID::systemJunk, category, item);
        // What the tick changed is painted before the clocks stop.
        QApplication::processEvents();
        cpu.push_back(threadCpuMs() - cpuBefore);
        wall.push_back(double(clock.nsecsElapsed()) / 1e6);
    }
    if (state.totals(ModuleID::systemJunk).selectedBytes == before) {
        std::fprintf(stderr, "the ticks did not reach the report\n");
        return 1;
    }
    std::sort(cpu.begin(), cpu.end());
    std::sort(wall.begin(), wall.end());
    std::printf("tick one item of 50,000 in System Junk, its CPU\t%.2f\t%.2f\n", cpu[cpu.size() / 2], cpu.back());
    std::printf("tick one item of 50,000 in System Junk, wall\t%.2f\t%.2f\n", wall[wall.size() / 2], wall.back());
    return 0;
}
