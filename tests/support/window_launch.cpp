#include "support/window_launch.h"

#include "engine/admin.h"
#include "support/test_env.h"

namespace testing_support {

WindowLaunch launchUntilWindowOpens(const std::string& commandLine, const std::filesystem::path& scratch) {
    const std::string out = Admin::quote((scratch / "window-stdout.txt").native());
    const std::string err = Admin::quote((scratch / "window-stderr.txt").native());
    const std::string script =
        "cd " + Admin::quote(scratch.native()) + " && { QT_QPA_PLATFORM=offscreen VESSILTANE_DEBUG_WINDOW=1 " + commandLine + " >" + out +
        " 2>" + err + " & pid=$!; i=0; "
        "while [ $i -lt 300 ] && kill -0 $pid 2>/dev/null && ! grep -q '^\\[window\\] activate ' " + err +
        "; do sleep 0.1; i=$((i+1)); done; "
        "kill $pid 2>/dev/null; wait $pid; echo $?; }";
    Admin::Result r = Admin::run(script);
    WindowLaunch launch;
    launch.out = readFile(scratch / "window-stdout.txt");
    launch.err = readFile(scratch / "window-stderr.txt");
    launch.opened = launch.err.find("[window] activate ") != std::string::npos;
    try {
        launch.status = std::stoi(r.output);
    } catch (...) {
        launch.status = -1;
    }
    return launch;
}

}  // namespace testing_support
