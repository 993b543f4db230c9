#include "cli/cli.h"

#include <cstdlib>
#include <functional>
#include <map>

#include "cli/cli_commands.h"
#include "platform/plain_text.h"
#include "platform/unicode.h"

namespace CLI {

const std::string_view usageText =
    "Vessiltane \xE2\x80\x94 macOS cleaner\n"
    "\n"
    "USAGE\n"
    "  Vessiltane <command> [options]\n"
    "  Vessiltane                          launch the app\n"
    "\n"
    "COMMANDS\n"
    "  scan        Find cleanable items and report them\n"
    "  clean       Remove items. PREVIEWS BY DEFAULT \xE2\x80\x94 needs --apply to delete\n"
    "  status      Free space, Full Disk Access, last run\n"
    "  modules     List modules and whether they delete anything\n"
    "  updates     Check installed apps for newer versions\n"
    "  malware     Heuristic adware scan (never removes anything)\n"
    "  history     Past cleanup runs\n"
    "  schedule    Print or install a daily LaunchAgent\n"
    "  ignore      List, add or remove never-touch paths\n"
    "  diagnose    How the scanner classified real paths\n"
    "  help        This text\n"
    "\n"
    "OPTIONS\n"
    "  --json              Machine-readable output on stdout\n"
    "  --modules a,b,c     Restrict to modules (default: systemJunk,trashBins,\n"
    "                      mailAttachments,privacy)\n"
    "  --apply             Actually delete. Without it, `clean` only reports\n"
    "  --include-review    Also act on items flagged Review. Off by default\n"
    "  --allow-admin       Allow the privileged batch (opens an auth prompt;\n"
    "                      needs a logged-in GUI session)\n"
    "  --deep              Include slow checks (app language files)\n"
    "  --hour N            Hour for `schedule` (default 3)\n"
    "  --install           `schedule`: write and load the LaunchAgent\n"
    "  --quiet, -q         Suppress human output\n"
    "\n"
    "LAUNCHING THE APP\n"
    "  --module <name>     Open the app directly on a module\n"
    "                      (e.g. --module systemJunk)\n"
    "\n"
    "SAFETY\n"
    "  Items flagged Protected are never eligible. `clean` without --apply makes\n"
    "  no changes at all. Admin-requiring items are skipped unless --allow-admin\n"
    "  is passed, so an unattended run cannot block on a password prompt.\n"
    "\n"
    "EXIT CODES\n"
    "  0 success \xC2\xB7 1 error \xC2\xB7 2 usage \xC2\xB7 3 partial";

namespace {

constexpr std::array<std::string_view, 11> kCommandWords = {
    "scan", "clean", "status", "modules", "updates", "malware", "history", "schedule", "diagnose", "help", "ignore",
};

using Verb = CLIResult (*)(const CLIOptions&);

const std::map<std::string_view, Verb>& verbs() {
    static const std::map<std::string_view, Verb> table = {
        {"scan", &CLICommands::scan},         {"clean", &CLICommands::clean},
        {"status", &CLICommands::status},     {"modules", &CLICommands::modules},
        {"history", &CLICommands::history},   {"ignore", &CLICommands::ignore},
        {"malware", &CLICommands::malware},   {"diagnose", &CLICommands::diagnose},
        {"updates", &CLICommands::updates},   {"schedule", &CLICommands::schedule},
    };
    return table;
}

std::string join(const std::vector<std::string>& parts, std::string_view separator) {
    std::string out;
    for (size_t i = 0; i < parts.size(); ++i) {
        if (i) out += separator;
        out += parts[i];
    }
    return out;
}

}  // namespace

bool isKnown(std::string_view word) {
    for (auto w : kCommandWords)
        if (w == word) return true;
    return false;
}

std::optional<Invocation> invoke(const std::vector<std::string>& arguments) {
    std::vector<std::string> rest;
    if (arguments.size() > 1) rest.assign(arguments.begin() + 1, arguments.end());
    Invocation inv;
    inv.options = CLIOptions::parse(rest);
    const CLIOptions& o = inv.options;
    if (o.guiModule) return std::nullopt;
    if (!o.command) return std::nullopt;
    std::string word = Unicode::lower(*o.command);
    if (!isKnown(word)) return std::nullopt;

    if (o.helpRequested || word == "help") {
        inv.help = true;
        return inv;
    }
    if (!o.unknownFlags.empty()) {
        inv.errorLine = "unrecognised option(s): " + join(o.unknownFlags, ", ");
        inv.result = {ExitCode::usage, std::string(usageText), nlohmann::json{{"error", "unknown_option"}}};
        return inv;
    }
    if (!o.missingValues.empty()) {
        inv.errorLine = "missing value after: " + join(o.missingValues, ", ");
        inv.result = {ExitCode::usage, std::string(usageText),
                      nlohmann::json{{"error", "missing_value"}, {"flags", o.missingValues}}};
        return inv;
    }
    // Only `ignore` takes words after the command word. Any other verb given one
    // stops here, before anything is scanned or removed: a path typed after
    // `clean --apply` must not be dropped and everything else cleaned instead.
    if (word != "ignore" && !o.positional.empty()) {
        inv.errorLine = CLIOutput::unexpectedWordsLine(word, o.positional);
        inv.result.exitCode = ExitCode::usage;
        inv.result.json = nlohmann::json{{"error", "unexpected_argument"}, {"arguments", o.positional}};
        return inv;
    }
    if (!o.invalidModuleNames.empty()) {
        std::vector<std::string> all;
        for (auto m : Modules::allCases()) all.emplace_back(Modules::rawValue(m));
        inv.result.exitCode = ExitCode::usage;
        inv.result.human = "unknown module(s): " + join(o.invalidModuleNames, ", ") + "\n\nValid modules: " +
                           join(all, ", ");
        inv.result.json = nlohmann::json{{"error", "unknown_module"}, {"invalid_modules", o.invalidModuleNames}};
        return inv;
    }
    // Every path of the home folder would be taken from wherever the process
    // happens to be, and every item fail on its own: refuse once, up front.
    if (const char* home = std::getenv("HOME"); home && *home && *home != '/') {
        inv.errorLine = "vessiltane: HOME must be an absolute path, not \"" + PlainText::shown(home) + "\"";
        inv.result.exitCode = ExitCode::usage;
        inv.result.json = nlohmann::json{{"error", "invalid_home"}, {"home", home}};
        return inv;
    }
    inv.result = verbs().at(word)(o);
    return inv;
}

bool runIfRequested(const std::vector<std::string>& arguments) {
    auto inv = invoke(arguments);
    if (!inv) return false;
    if (inv->help) CLIOutput::emit(CLIResult{ExitCode::success, std::string(usageText), std::nullopt}, false, false);
    if (inv->errorLine) CLIOutput::writeError(*inv->errorLine);
    CLIOutput::emit(inv->result, inv->options.json, inv->options.quiet);
}

}  // namespace CLI
