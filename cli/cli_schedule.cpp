// The `schedule` verb: print the daily job, or install it.

#include "cli/cli_commands.h"
#include "modules/system/schedule.h"
#include "platform/plain_text.h"
#include "platform/text_lines.h"

namespace CLICommands {

using PlainText::shown;
using PlainText::twoDigits;
CLIResult schedule(const CLIOptions& options) {
    auto modules = moduleSet(options);
    long long hour = options.hour;
    CLIResult r;
    if (!options.install) {
        std::string executable = Schedule::executablePath();
        std::string xml = Plist::toXml(Schedule::makePlist(hour, modules, executable));
        std::string names;
        for (size_t i = 0; i < modules.size(); ++i) {
            if (i) names += ",";
            names += Modules::rawValue(modules[i]);
        }
        r.human = "Would run daily at " + twoDigits(hour) + ":00:\n\n  " + shown(executable) + " clean --apply --modules " +
                  names + "\n\nNothing has been changed. Re-run with --install, or save this as\n" +
                  shown(Schedule::plistURL().native()) + ":\n\n" + xml;
        r.json = nlohmann::json{{"installed", false}, {"plist_path", Schedule::plistURL().string()}, {"plist", xml}};
        return r;
    }
    try {
        Schedule::install(hour, modules);
    } catch (const Schedule::InstallError& e) {
        r.exitCode = ExitCode::partial;
        // launchctl says what went wrong over several lines: each is shown on
        // a line of its own, escaped, below the headline; a single line
        // follows it.
        const auto lines = TextLines::nonEmpty(e.detail());
        r.human = Schedule::InstallError::headline(e.kind());
        if (lines.size() == 1) {
            r.human += ": " + shown(lines.front());
        } else if (lines.size() > 1) {
            r.human += ":";
            for (std::string_view line : lines) r.human += "\n  " + shown(line);
        }
        r.json = nlohmann::json{{"error", "install_failed"}, {"detail", e.what()}};
        return r;
    }
    r.human = "Installed daily job at " + twoDigits(hour) + ":00. Logs: " + shown(Schedule::logFolder().native());
    r.json = nlohmann::json{
        {"installed", true}, {"plist_path", Schedule::plistURL().string()}, {"loaded", true}, {"hour", hour}};
    return r;
}

}  // namespace CLICommands
