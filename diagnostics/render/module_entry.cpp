// The window's library: the links of the start-up chain that need Qt, poppler
// or cairo. The executable loads it only when one of them is asked for and
// calls its one exported function with the handler's name and the process
// arguments. The library carries its own copy of the engine, so it records
// the arguments for itself.
#include <QThreadPool>

#include <exception>
#include <iostream>
#include <string>
#include <string_view>
#include <vector>

#include "app/shell/vessiltane_app.h"
#include "diagnostics/render/guide_renderer.h"
#include "diagnostics/render/icon_renderer.h"
#include "diagnostics/render/render_switches.h"
#include "engine/command_line.h"
#include "platform/gui_module.h"
#include "screens/screen_catalog.h"

namespace {

using Arguments = std::vector<std::string>;

// A link: true when it took the invocation (the process then ends with 0).
using Handler = bool (*)(const Arguments& arguments, std::ostream& out, std::ostream& err);

struct Link {
    std::string_view name;  // what the executable asks for
    Handler handler;
};

const Link links[] = {
    {"render-icon", IconRenderer::handleCommandLineIfRequested},
    {"stamp-guide", GuideRenderer::handleStampIfRequested},
    {"render-pdf", GuideRenderer::handleRenderIfRequested},
    {"render-summary", Diagnostics::handleRenderSummary},
    {"render-coverage", Diagnostics::handleRenderCoverage},
};

}  // namespace

extern "C" __attribute__((visibility("default"))) int vessiltane_gui_main(const char* handler, int argc, char** argv) {
    CommandLine::setArguments(argc, argv);
    const std::string_view name = handler ? handler : "";
    // The window: the last link, which always takes the invocation; the
    // process ends with its event loop's status once the windows close.
    if (name == "window") return VessiltaneApp::run(argc, argv, Screens::catalog());
    for (const Link& link : links) {
        if (link.name != name) continue;
        try {
            bool taken = link.handler(CommandLine::arguments(), std::cout, std::cerr);
            // Qt scales and converts large images on its pool's threads; the
            // library leaves none of them running into the process's exit.
            // (A link that made its own application object has ended the pool with it.)
            if (QThreadPool* pool = QThreadPool::globalInstance()) pool->waitForDone();
            std::cout.flush();
            return taken ? 0 : GuiModule::kNotConsumed;
        } catch (const std::exception& error) {
            std::cerr << "vessiltane: " << error.what() << '\n';
            return 1;
        }
    }
    return GuiModule::kUnknownHandler;
}
