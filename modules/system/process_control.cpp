#include "modules/system/process_control.h"

#include <set>

#include "engine/admin.h"
#include "modules/system/bundle_id.h"
#include "platform/locations.h"
#include "platform/text_lines.h"
#include "platform/unicode.h"
#include "platform/user.h"
#include "platform/walker.h"

namespace ProcessControl {
namespace {

std::string displayName(const Workspace::RunningApplication& app) {
    if (app.localizedName && !app.localizedName->empty()) return *app.localizedName;
    return "the running app";
}

// "gui/<uid>/<name>", the user's session domain, as one quoted argument.
std::string guiTarget(uid_t uid, std::string_view name) {
    return Admin::quote("gui/" + std::to_string(uid) + "/" + std::string(name));
}

bool bootout(uid_t uid, std::string_view name) {
    return Admin::run(Admin::tool("/bin/launchctl") + " bootout " + guiTarget(uid, name), true).ok;
}

// Whether the path names a bundle narrowly enough to compare processes with:
// an absolute path below the root folder.
bool isUsableBundlePath(const std::string& path) {
    return path.size() > 1 && path.front() == '/' && path.find_first_not_of('/') != std::string::npos;
}

}  // namespace

std::vector<Workspace::RunningApplication> runningApplications(std::string_view bundleID,
                                                               const std::filesystem::path& appPath) {
    std::vector<Workspace::RunningApplication> found = Workspace::runningApplications(bundleID);

    std::string bundlePath = appPath.string();
    if (isUsableBundlePath(bundlePath)) {
        while (bundlePath.size() > 1 && bundlePath.back() == '/') bundlePath.pop_back();
        // A copy of the bundle elsewhere, with the same file name, counts too.
        std::string stem = appPath.filename().string();
        for (size_t at = stem.find(".app"); at != std::string::npos; at = stem.find(".app")) stem.erase(at, 4);
        const std::string elsewhere = stem.empty() ? std::string() : "/" + stem + ".app/";

        for (auto& app : Workspace::runningApplications()) {
            bool belongs = app.bundleURL && app.bundleURL->string() == bundlePath;
            if (!belongs && app.executableURL) {
                const std::string exe = app.executableURL->string();
                belongs = exe.compare(0, bundlePath.size() + 1, bundlePath + "/") == 0 ||
                          (!elsewhere.empty() && exe.find(elsewhere) != std::string::npos);
            }
            if (belongs) found.push_back(std::move(app));
        }
    }

    std::vector<Workspace::RunningApplication> unique;
    std::set<int32_t> seen;
    for (auto& app : found)
        if (seen.insert(app.processIdentifier).second) unique.push_back(std::move(app));
    return unique;
}

std::vector<std::string> terminate(std::string_view bundleID, const std::filesystem::path& appPath) {
    std::vector<std::string> log;
    const auto instances = runningApplications(bundleID, appPath);
    if (instances.empty()) return log;

    for (const auto& app : instances)
        if (Workspace::terminate(app)) log.push_back("Quit " + displayName(app));

    Workspace::waitForExit(instances, quitGracePeriod, quitPollInterval);

    for (const auto& app : instances) {
        if (Workspace::isTerminated(app)) continue;
        Workspace::forceTerminate(app);
        log.push_back("Force quit " + displayName(app));
    }
    return log;
}

std::vector<std::string> matchingLabels(std::string_view launchctlList, std::string_view bundleID,
                                        std::string_view appName) {
    // An identifier such as "" or "com" would claim every job; an empty name
    // every "application." job.
    const std::string id = BundleID::isSpecific(bundleID) ? Unicode::lower(bundleID) : std::string();
    const std::string name = Unicode::lower(appName);
    const std::string appPrefix = name.empty() ? std::string() : "application." + name;

    std::vector<std::string> labels;
    for (std::string_view line : TextLines::nonEmpty(launchctlList)) {
        size_t tab = line.rfind('\t');
        std::string label = Unicode::trimmed(tab == std::string_view::npos ? line : line.substr(tab + 1));
        if (label.empty()) continue;
        const std::string lowered = Unicode::lower(label);
        bool matches = (!id.empty() && Unicode::contains(lowered, id)) ||
                       (!appPrefix.empty() && Unicode::hasPrefix(lowered, appPrefix));
        if (matches) labels.push_back(std::move(label));
    }
    return labels;
}

std::vector<std::string> unregisterLoginItems(std::string_view bundleID, std::string_view appName) {
    const uid_t uid = User::uid();
    std::vector<std::string> log;

    // The listing is read whatever launchctl's exit status.
    const Admin::Result listing = Admin::run(Admin::tool("/bin/launchctl") + " list", true);
    for (const auto& label : matchingLabels(listing.output, bundleID, appName)) {
        bool bootedOut = bootout(uid, label);
        bool removed = Admin::run(Admin::tool("/bin/launchctl") + " remove " + Admin::quote(label), true).ok;
        if (bootedOut || removed) log.push_back("Unregistered login item " + label);
    }

    if (!BundleID::isSpecific(bundleID)) return log;
    const std::string id = Unicode::lower(bundleID);
    for (const auto& folder : {Locations::home() / "Library" / "LaunchAgents", Locations::system("/Library/LaunchAgents")}) {
        for (const auto& entry : Walker::list(folder)) {
            std::filesystem::path file(entry);
            if (file.extension() != ".plist" || !Unicode::contains(Unicode::lower(entry), id)) continue;
            // The property list stays: removing it is the leftover list's business.
            const std::string agent = file.stem().string();
            if (bootout(uid, agent)) log.push_back("Stopped agent " + agent);
        }
    }
    return log;
}

}  // namespace ProcessControl
