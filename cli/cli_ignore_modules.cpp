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

namespace {

// How bad an outcome is, so that several paths end with the worst exit code:
// a failure to read or write the list, then a refused path, then a path that
// was not on the list.
int severity(int exitCode) {
    switch (exitCode) {
        case ExitCode::success: return 0;
        case ExitCode::partial: return 1;
        case ExitCode::usage: return 2;
        default: return 3;
    }
}

// One path's edit: its line (standard output, or standard error for a
// failure of the list itself), its exit code and its JSON record.
struct PathEdit {
    int exitCode = ExitCode::success;
    std::string line;
    bool lineIsError = false;
    nlohmann::json json;
};

PathEdit editOne(const std::string& path, bool adding) {
    PathEdit out;
    Ignores::Edit edit = adding ? Ignores::add(path) : Ignores::remove(path);
    const std::string exact = Unicode::sanitizeUtf8(path);
    switch (edit) {
        case Ignores::Edit::refused: {
            // An entry that would read back as another one would protect the wrong place.
            const std::string expanded = !path.empty() && path.front() == '/' ? path : Locations::expandTilde(path);
            const std::string why = Ignores::unstorable(expanded).value_or("it cannot be stored");
            out.exitCode = ExitCode::usage;
            out.line = "Not added: " + shown(path) + " (" + why + ")";
            out.json = {{"error", "invalid_path"}, {"path", exact}, {"reason", why}};
            return out;
        }
        case Ignores::Edit::unreadable: {
            // Rewriting it would drop every entry it holds.
            const std::string why = Ignores::unreadable().value_or("it cannot be read");
            out.exitCode = ExitCode::error;
            out.lineIsError = true;
            out.line = "The ignore list cannot be read (" + shown(why) + "), so it was left as it is: " +
                       shown(Ignores::fileURL().native());
            out.json = {{"error", "ignore_list_unreadable"}, {"reason", why}, {"path", exact},
                        {"file", Ignores::fileURL().string()}};
            return out;
        }
        case Ignores::Edit::writeFailed:
            // Never report a change that did not reach the file.
            out.exitCode = ExitCode::error;
            out.lineIsError = true;
            out.line = "Could not write the ignore list (" + shown(path) + " not " + (adding ? "added" : "removed") +
                       "): " + shown(Ignores::fileURL().native());
            out.json = {{"error", "write_failed"}, {"path", path}, {"file", Ignores::fileURL().string()}};
            return out;
        case Ignores::Edit::changed:
        case Ignores::Edit::unchanged: break;
    }
    const bool changed = edit == Ignores::Edit::changed;
    if (adding) {
        out.line = (changed ? "Added " : "Already ignored: ") + shown(path);
        out.json = {{"added", changed}, {"path", path}};
    } else {
        out.line = (changed ? "Removed " : "Not on the list: ") + shown(path);
        out.json = {{"removed", changed}, {"path", path}};
        if (!changed) out.exitCode = ExitCode::partial;
    }
    return out;
}

}  // namespace

CLIResult ignore(const CLIOptions& options) {
    const auto& words = options.positional;
    const std::string sub = words.empty() ? "list" : words[0];
    if (sub != "list" && sub != "add" && sub != "remove") {
        return {ExitCode::usage, "Usage: Vessiltane ignore [list | add <path>... | remove <path>...]",
                nlohmann::json{{"error", "unknown_subcommand"}}};
    }
    if (sub == "list") {
        if (words.size() > 1) {
            std::vector<std::string> extra(words.begin() + 1, words.end());
            CLIOutput::writeError(CLIOutput::unexpectedWordsLine("ignore list", extra));
            return {ExitCode::usage, "", nlohmann::json{{"error", "unexpected_argument"}, {"arguments", extra}}};
        }
        return listIgnores();
    }
    if (words.size() < 2) {
        return {ExitCode::usage, "Usage: Vessiltane ignore " + sub + " <path>...",
                nlohmann::json{{"error", "missing_path"}}};
    }
    // Every path given is edited on its own, each with its own line, and the
    // exit code is the worst of them.
    const bool adding = sub == "add";
    std::vector<PathEdit> edits;
    for (size_t k = 1; k < words.size(); ++k) edits.push_back(editOne(words[k], adding));

    CLIResult r;
    nlohmann::json records = nlohmann::json::array();
    for (auto& e : edits) {
        if (severity(e.exitCode) > severity(r.exitCode)) r.exitCode = e.exitCode;
        if (e.lineIsError) {
            CLIOutput::writeError(e.line);
        } else {
            if (!r.human.empty()) r.human += '\n';
            r.human += e.line;
        }
        records.push_back(e.json);
    }
    if (edits.size() == 1) {
        r.json = edits.front().json;
    } else {
        r.json = nlohmann::json{{"results", records}};
    }
    (*r.json)["paths"] = Ignores::paths();
    return r;
}

}  // namespace CLICommands
