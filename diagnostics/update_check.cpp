// "--check-updates": a developer's view of the update check, once without and
// once with pre-release versions.

#include <set>

#include "diagnostics/diagnostics.h"
#include "engine/command_line.h"
#include "modules/system/uninstaller.h"
#include "modules/system/updater.h"
#include "platform/decimal.h"

namespace Diagnostics {

bool handleUpdateCheck(const Arguments& arguments, std::ostream& out, std::ostream& err) {
    if (!CommandLine::contains(arguments, "--check-updates")) return false;
    constexpr std::string_view arrow = " \u2192 ";
    auto token = std::make_shared<ScanToken>();
    std::vector<InstalledApp> apps = Uninstaller::installedApps(token, [&err](double, const std::string& message) {
        err << "  " << message << '\n' << std::flush;
    });

    std::vector<std::pair<const InstalledApp*, std::string>> feeds;
    for (const auto& app : apps)
        if (auto feed = Updater::appcastURL(app.url)) feeds.emplace_back(&app, *feed);
    out << "apps: " << Decimal::text(apps.size()) << ", publishing an update feed: " << Decimal::text(feeds.size())
        << '\n';
    for (size_t i = 0; i < feeds.size() && i < 20; ++i)
        out << "  feed: " << feeds[i].first->name << ' ' << feeds[i].first->version << arrow << feeds[i].second << '\n';

    auto silent = [](double, const std::string&) {};
    Updater::Outcome stable = Updater::check(apps, false, *token, silent);
    out << "\nstable only \u2014 checked " << Decimal::text(stable.checked) << ", without feed "
        << Decimal::text(stable.withoutFeed) << '\n';
    for (const auto& update : stable.updates)
        out << "  UPDATE " << update.name << ": " << update.installedVersion << arrow << update.availableVersion << "  "
            << update.downloadURL.value_or("no url") << '\n';
    if (stable.updates.empty()) out << "  (no updates advertised)\n";

    Updater::Outcome withPrereleases = Updater::check(apps, true, *token, silent);
    std::set<std::string> seen;
    for (const auto& update : stable.updates) seen.insert(update.id + "|" + update.availableVersion);
    std::vector<const AppUpdate*> additional;
    for (const auto& update : withPrereleases.updates)
        if (!seen.count(update.id + "|" + update.availableVersion)) additional.push_back(&update);
    out << "\nincluding pre-releases \u2014 " << Decimal::text(additional.size()) << " additional\n";
    for (const AppUpdate* update : additional)
        out << "  PRERELEASE " << update->name << ": " << update->installedVersion << arrow
            << update->availableVersion << '\n';
    return true;
}

}  // namespace Diagnostics
