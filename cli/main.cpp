// Vessiltane's entry point: a command word runs the command line; otherwise
// the window would open.
#include <cstdio>
#include <string>
#include <vector>

#include "cli/cli.h"
#include "engine/command_line.h"

int main(int argc, char** argv) {
    CommandLine::setArguments(argc, argv);
    const std::vector<std::string>& arguments = CommandLine::arguments();

    // A command verb ends the process itself.
    if (CLI::runIfRequested(arguments)) return 0;

    std::fputs("vessiltane: this build has no window; run `vessiltane help` for the commands\n", stderr);
    return 1;
}
