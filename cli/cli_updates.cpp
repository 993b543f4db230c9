// The `updates` verb: which installed applications advertise a newer version
// in their update feed. Reads feeds only; downloads and installs nothing.

#include "cli/cli_commands.h"
#include "modules/system/uninstaller.h"
#include "modules/system/updater.h"
#include "platform/plain_text.h"

namespace CLICommands {

using PlainText::number;
using PlainText::shown;
CLIResult updates(const CLIOptions&) {
    auto token = std::make_shared<ScanToken>();
    auto silent = [](double, const std::string&) {};
    auto apps = Uninstaller::installedApps(token, silent);
    Updater::Outcome outcome = Updater::check(apps, false, *token, silent);

    CLIResult r;
    r.human = "Checked " + number(outcome.checked) + " app(s) that publish an update feed (" +
              number(outcome.withoutFeed) + " have none).\n";
    nlohmann::json list = nlohmann::json::array();
    if (outcome.updates.empty()) {
        r.human += "Everything is up to date.";
    } else {
        for (const auto& u : outcome.updates) {
            // The name comes from the bundle and the new version from the
            // feed: neither may start a line of its own or reach the terminal
            // as an escape sequence.
            r.human += "  " + shown(u.name) + ": " + shown(u.installedVersion) + " \xE2\x86\x92 " +
                       shown(u.availableVersion) + "\n";
            list.push_back({{"name", u.name},
                            {"installed_version", u.installedVersion},
                            {"available_version", u.availableVersion},
                            {"download_url", u.downloadURL.value_or("")}});
        }
    }
    r.json = nlohmann::json{{"checked", outcome.checked}, {"without_feed", outcome.withoutFeed}, {"updates", list}};
    return r;
}

}  // namespace CLICommands
