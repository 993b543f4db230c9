// The `modules` and `ignore` verbs.
#include <array>
#include <string>

#include "cli/cli.h"
#include "cli/cli_commands.h"
#include "engine/ignores.h"
#include "modules/system/schedule.h"
#include "platform/locations.h"
#include "platform/plain_text.h"
#include "platform/unicode.h"

namespace CLICommands {

using PlainText::padRight;
using PlainText::shown;
namespace {

// Modules whose cleaning removes files, in the window or on the command line.
bool removesFiles(ModuleID m) {
    switch (m) {
        case ModuleID::smartScan:
        case ModuleID::diskMap:
        case ModuleID::optimization:
        case ModuleID::updater:
        case ModuleID::extensions:
            return false;
        default:
            return true;
    }
}

bool isDefaultForClean(ModuleID m) {
    for (auto c : Schedule::cleanableModules)
        if (c == m) return true;
    return false;
}

CLIResult listIgnores() {
    CLIResult r;
    if (auto why = Ignores::unreadable()) {
        r.exitCode = ExitCode::error;
        r.human = "The ignore list cannot be read (" + shown(*why) + "): " + shown(Ignores::fileURL().native()) +
                  "\nNothing will be removed until it can be read.";
        r.json = nlohmann::json{{"error", "ignore_list_unreadable"}, {"reason", *why}, {"file", Ignores::fileURL().string()}};
        return r;
    }
    auto paths = Ignores::paths();
    r.json = nlohmann::json{{"file", Ignores::fileURL().string()}, {"paths", paths}};
    if (paths.empty()) {
        r.human = "Nothing on the ignore list. Add with: Vessiltane ignore add <path>";
    } else {
        r.human = "Ignored paths:";
        for (const auto& p : paths) r.human += "\n  " + shown(p);
    }
    return r;
}

}  // namespace

CLIResult modules(const CLIOptions&) {
    CLIResult r;
    nlohmann::json list = nlohmann::json::array();
    r.human = "Modules:";
    for (auto m : Modules::allCases()) {
        const bool removes = removesFiles(m);
        const bool byDefault = isDefaultForClean(m);
        r.human += "\n  " + padRight(std::string(Modules::rawValue(m)), 18) + std::string(Modules::title(m)) + " (" +
                   (removes ? "removes" : "read-only") + ")" + (byDefault ? " \xC2\xB7 default" : "");
        list.push_back({{"id", Modules::rawValue(m)},
                        {"title", Modules::title(m)},
                        {"group", SidebarGroups::rawValue(Modules::sidebarGroup(m))},
                        {"removes_files", removes},
                        {"default_for_clean", byDefault}});
    }
    r.json = nlohmann::json{{"modules", list}};
    return r;
}

CLIResult ignore(const CLIOptions& options) {
    const auto& words = options.positional;
    if (words.empty() || words[0] == "list") return listIgnores();
    const std::string& sub = words[0];
    if (sub != "add" && sub != "remove") {
        return {ExitCode::usage, "Usage: Vessiltane ignore [list | add <path> | remove <path>]",
                nlohmann::json{{"error", "unknown_subcommand"}}};
    }
    if (words.size() < 2) {
        return {ExitCode::usage, "Usage: Vessiltane ignore " + sub + " <path>",
                nlohmann::json{{"error", "missing_path"}}};
    }
    const std::string& path = words[1];
    const bool adding = sub == "add";
    Ignores::Edit edit = adding ? Ignores::add(path) : Ignores::remove(path);
    CLIResult r;
    if (edit == Ignores::Edit::refused) {
        // An entry that would read back as another one would protect the wrong place.
        const std::string exact = Unicode::sanitizeUtf8(path);
        const std::string expanded = !path.empty() && path.front() == '/' ? path : Locations::expandTilde(path);
        const std::string why = Ignores::unstorable(expanded).value_or("it cannot be stored");
        return {ExitCode::usage, "Not added: " + shown(path) + " (" + why + ")",
                nlohmann::json{{"error", "invalid_path"}, {"path", exact}, {"reason", why}}};
    }
    if (edit == Ignores::Edit::unreadable) {
        // Rewriting it would drop every entry it holds.
        r.exitCode = ExitCode::error;
        const std::string why = Ignores::unreadable().value_or("it cannot be read");
        CLIOutput::writeError("The ignore list cannot be read (" + shown(why) + "), so it was left as it is: " +
                              shown(Ignores::fileURL().native()));
        r.json = nlohmann::json{{"error", "ignore_list_unreadable"},
                                {"reason", why},
                                {"path", Unicode::sanitizeUtf8(path)},
                                {"file", Ignores::fileURL().string()}};
        return r;
    }
    if (edit == Ignores::Edit::writeFailed) {
        // Never report a change that did not reach the file.
        // The message goes to standard error, where errors belong.
        r.exitCode = ExitCode::error;
        CLIOutput::writeError("Could not write the ignore list: " + shown(Ignores::fileURL().native()));
        r.json = nlohmann::json{{"error", "write_failed"},
                                {"path", path},
                                {"file", Ignores::fileURL().string()},
                                {"paths", Ignores::paths()}};
        return r;
    }
    const bool changed = edit == Ignores::Edit::changed;
    if (adding) {
        r.human = (changed ? "Added " : "Already ignored: ") + shown(path);
        r.json = nlohmann::json{{"added", changed}, {"path", path}, {"paths", Ignores::paths()}};
    } else {
        r.human = (changed ? "Removed " : "Not on the list: ") + shown(path);
        r.json = nlohmann::json{{"removed", changed}, {"path", path}, {"paths", Ignores::paths()}};
        if (!changed) r.exitCode = ExitCode::partial;
    }
    return r;
}

}  // namespace CLICommands
