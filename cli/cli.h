#pragma once
// Command dispatch: decides whether the process arguments form a command, and
// when they do, runs the verb and ends the process with its exit code.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "cli/cli_options.h"
#include "cli/cli_output.h"
#include "engine/module_id.h"

namespace CLI {

// The usage text, without a final line break.
extern const std::string_view usageText;

// The eleven command words.
bool isKnown(std::string_view lowercasedWord);

// What a command invocation resolves to before anything is printed.
struct Invocation {
    CLIOptions options;
    bool help = false;                // print the usage text and exit 0
    std::optional<std::string> errorLine;  // written to standard error first
    CLIResult result;                 // the usage error, or the verb's result
};

// Parses the arguments (element 0 is the executable) and, for a command, runs
// its verb. Nothing when the invocation is not a command.
std::optional<Invocation> invoke(const std::vector<std::string>& arguments);

// The start-up chain's link: false when the arguments are not a command;
// otherwise prints and ends the process.
bool runIfRequested(const std::vector<std::string>& arguments);

}  // namespace CLI
