// Vessiltane's entry point: a fixed chain of handlers over the process
// arguments. Each looks for its own trigger; the first that takes the
// invocation ends start-up, and only when none does the window opens.
// The window and the links that draw (the icon, the screen renders, the user
// guide) live in the window's library, loaded only when one of them is
// needed, so the command verbs and the probes start without Qt and need no
// display.
#include <algorithm>
#include <iostream>
#include <string>
#include <string_view>
#include <vector>

#include "cli/cli.h"
#include "diagnostics/diagnostics.h"
#include "engine/admin.h"
#include "engine/command_line.h"
#include "platform/display.h"
#include "platform/gui_module.h"

namespace {

// Runs a link of the window's library when its switch is on the command line
// with the values it takes (else the link would pass, and the library is not
// loaded for nothing). True when the invocation was taken (status is then the
// exit status), also when the library is missing: that is said on standard
// error and ends with 1.
bool drawn(const char* flag, size_t values, const char* handler, int argc, char** argv, int& status) {
    const std::vector<std::string>& arguments = CommandLine::arguments();
    auto at = std::find(arguments.begin(), arguments.end(), flag);
    if (at == arguments.end() || size_t(arguments.end() - at) <= values) return false;
    GuiModule::Outcome outcome = GuiModule::run(handler, argc, argv);
    switch (outcome.kind) {
        case GuiModule::Outcome::Kind::notConsumed: return false;
        case GuiModule::Outcome::Kind::consumed: status = outcome.status; return true;
        case GuiModule::Outcome::Kind::unavailable:
            std::cerr << "vessiltane: " << outcome.error << '\n';
            status = 1;
            return true;
    }
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    // The root side of the privileged batch, started by the batch's script
    // with the paths on standard input; nothing else of start-up runs for it.
    if (argc == 2 && std::string_view(argv[1]) == Admin::kPrivilegedRemovalSwitch) return Admin::privilegedRemovalMain();

    CommandLine::setArguments(argc, argv);
    const std::vector<std::string>& arguments = CommandLine::arguments();
    int status = 0;

    if (drawn("--render-icon", 1, "render-icon", argc, argv, status)) return status;

    // A command verb ends the process itself.
    if (CLI::runIfRequested(arguments)) return 0;

    using Probe = bool (*)(const Diagnostics::Arguments&, std::ostream&, std::ostream&);
    for (Probe probe : {Diagnostics::handleElevationProbe, Diagnostics::handleMalwareScan,
                        Diagnostics::handleDetectionProbe, Diagnostics::handleThinningProbe})
        if (probe(arguments, std::cout, std::cerr)) return 0;
    // The sheet and the list are the window's own views, drawn by its library.
    if (drawn("--render-summary", 1, "render-summary", argc, argv, status)) return status;
    if (drawn("--render-coverage", 1, "render-coverage", argc, argv, status)) return status;
    for (Probe probe : {Diagnostics::handleListLoginItems, Diagnostics::handleListTasks})
        if (probe(arguments, std::cout, std::cerr)) return 0;

    if (drawn("--stamp-guide", 1, "stamp-guide", argc, argv, status)) return status;
    if (drawn("--render-pdf", 2, "render-pdf", argc, argv, status)) return status;

    if (Diagnostics::handleUpdateCheck(arguments, std::cout, std::cerr)) return 0;
    if (Diagnostics::handleIfRequested(arguments, std::cout, std::cerr)) return 0;

    // Last, the window, from the window's library. Without a display its
    // toolkit would abort the process with a message about its plugins; this
    // says what is missing and where the commands are instead.
    if (!Display::available()) {
        std::cerr << "vessiltane: the window needs a display and none can be reached; `vessiltane help` lists the "
                     "commands\n";
        return 1;
    }
    GuiModule::Outcome window = GuiModule::run("window", argc, argv);
    if (window.kind == GuiModule::Outcome::Kind::consumed) return window.status;
    std::cerr << "vessiltane: " << window.error << '\n';
    return 1;
}
