// Times a Stop during a System Junk scan: from the cancel to the scan's
// return, when the window's work is idle again. The home is a temporary
// folder of its own whose Library/Caches holds folders of 2,000 empty files
// each, as many as make the entries asked for (1,000,000 by default), HOME and
// the system root pointed into it, removed at the end. The tree is read once
// before, as a second scan finds it. Prints the whole scan's wall time and
// the wait after Stop, as the measure's name, then the median and the slowest
// of the rounds in milliseconds.
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "engine/scan_model.h"
#include "engine/system_junk.h"

namespace fs = std::filesystem;
using Steady = std::chrono::steady_clock;

namespace {

constexpr long kFilesPerFolder = 2000;

bool makeHome(const fs::path& home, long entries) {
    const long folders = std::max(1L, entries / (kFilesPerFolder + 1));
    const auto old = fs::file_time_type::clock::now() - std::chrono::hours(72);
    for (long d = 0; d < folders; ++d) {
        const fs::path folder = home / "Library/Caches" / ("com.example.cache" + std::to_string(d));
        std::error_code ec;
        fs::create_directories(folder, ec);
        if (ec) return false;
        for (long f = 0; f < kFilesPerFolder; ++f) {
            const int fd = ::open((folder / std::to_string(f)).c_str(), O_CREAT | O_WRONLY | O_CLOEXEC, 0644);
            if (fd < 0) return false;
            ::close(fd);
        }
        fs::last_write_time(folder, old, ec);
    }
    return true;
}

double ms(Steady::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

}  // namespace

int main(int argc, char** argv) {
    const long entries = argc > 1 ? std::strtol(argv[1], nullptr, 10) : 1'000'000;
    if (entries < 1) {
        std::fprintf(stderr, "usage: vessiltane_bench_stop [ENTRIES]\n");
        return 2;
    }
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/vessiltane-stop-XXXXXX";
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
    const fs::path home = top / "home";
    fs::create_directories(top / "root");
    if (!makeHome(home, entries)) {
        std::perror("making the sample home");
        return 1;
    }
    ::setenv("HOME", home.c_str(), 1);
    ::setenv("VESSILTANE_ROOT", (top / "root").c_str(), 1);

    auto whole = [] {
        ScanToken token;
        const auto start = Steady::now();
        SystemJunk::scan(token, {});
        return Steady::now() - start;
    };
    whole();  // read once
    const Steady::duration scan = whole();

    // Stops at several points of the measurement of the caches.
    std::vector<double> waits;
    for (double at : {0.2, 0.35, 0.5, 0.65, 0.8}) {
        ScanToken token;
        std::atomic<bool> measuring{false};
        Steady::time_point returned;
        std::thread worker([&] {
            SystemJunk::scan(token, [&](double, const std::string& message) {
                if (message.find("User Cache Files") != std::string::npos) measuring = true;
            });
            returned = Steady::now();
        });
        while (!measuring) std::this_thread::yield();
        std::this_thread::sleep_for(std::chrono::duration_cast<Steady::duration>(scan * at));
        const auto stopped = Steady::now();
        token.cancel();
        worker.join();
        waits.push_back(std::max(0.0, ms(returned - stopped)));
    }
    std::sort(waits.begin(), waits.end());
    std::printf("System Junk scan of %ld entries\t%.2f\t%.2f\n", entries, ms(scan), ms(scan));
    std::printf("Stop to idle during System Junk\t%.2f\t%.2f\n", waits[waits.size() / 2], waits.back());
    return 0;
}
