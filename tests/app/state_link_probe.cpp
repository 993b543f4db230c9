// A program made of the application state library alone. The state may never
// draw: it loads Qt Core and no other Qt library, or this program fails.
#include <QCoreApplication>

#include <fstream>
#include <iostream>
#include <memory>
#include <set>
#include <string>

#include "app/state/app_state.h"
#include "app/state/manual_executor.h"

int main(int argc, char** argv) {
#ifndef __linux__
    std::cout << "the loaded libraries are read from /proc, which this system lacks\n";
    return 77;
#else
    QCoreApplication application(argc, argv);
    AppState state(std::make_shared<ManualExecutor>(), {"probe"});
    state.scanMail();

    std::ifstream maps("/proc/self/maps");
    std::set<std::string> qt;
    for (std::string line; std::getline(maps, line);) {
        const size_t slash = line.rfind('/');
        if (slash == std::string::npos) continue;
        const std::string file = line.substr(slash + 1);
        if (file.rfind("libQt", 0) == 0) qt.insert(file.substr(0, file.find(".so")));
    }
    if (!qt.contains("libQt6Core")) {
        std::cerr << "Qt Core is not loaded: the probe did not read the loaded libraries\n";
        return 1;
    }
    qt.erase("libQt6Core");
    if (!qt.empty()) {
        std::cerr << "the state library loads Qt libraries beyond Qt Core:";
        for (const auto& name : qt) std::cerr << " " << name;
        std::cerr << "\n";
        return 1;
    }
    std::cout << "the state library loads Qt Core alone\n";
    return 0;
#endif
}
