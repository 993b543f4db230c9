#include "modules/system/process_control.h"

#include <algorithm>
#include <set>

#include "engine/admin.h"
#include "engine/installed_bundles.h"
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

std::string withoutTrailingSlashes(std::string path) {
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    return path;
}

// The spellings of one path: as written, and where it really leads.
std::vector<std::string> spellings(const std::filesystem::path& path) {
    std::vector<std::string> out{withoutTrailingSlashes(path.string())};
    if (auto real = Locations::realPath(out.front()); real && *real != out.front()) out.push_back(*real);
    return out;
}

// Whether the process runs from the bundle, by its bundle or its executable,
// as written or where they really are.
bool runsFrom(const Workspace::RunningApplication& app, const std::vector<std::string>& bundle) {
    if (app.bundleURL)
        for (const auto& mine : spellings(*app.bundleURL))
            if (std::find(bundle.begin(), bundle.end(), mine) != bundle.end()) return true;
    if (app.executableURL)
        for (const auto& exe : spellings(*app.executableURL))
            for (const auto& b : bundle)
                if (exe.compare(0, b.size() + 1, b + "/") == 0) return true;
    return false;
}

// The labels and agents of one application: those its identifier names (the
// identifier, or it and a dot-suffix), none that another installed
// application's identifier names more exactly.
class JobOwner {
public:
    JobOwner(std::string_view bundleID, std::string_view appName, const std::vector<AppMatch::App>& installed)
        : id_(AppMatch::isSpecific(bundleID) ? std::string(bundleID) : std::string()),
          matcher_(AppMatch::App{std::string(appName), id_, {}}, installed) {}

    bool owns(std::string_view label) const {
        if (id_.empty() || !AppMatch::identifierMatches(label, id_)) return false;
        const AppMatch::Judgement judgement = matcher_.judge(label);
        return !judgement.owner;
    }
    bool hasIdentifier() const { return !id_.empty(); }

private:
    std::string id_;
    AppMatch::Matcher matcher_;
};

}  // namespace

std::vector<Workspace::RunningApplication> runningApplications(std::string_view bundleID,
                                                               const std::filesystem::path& appPath) {
    std::vector<Workspace::RunningApplication> found;
    const std::string bundlePath = withoutTrailingSlashes(appPath.string());
    // Only what runs from the very bundle removed: another copy of the
    // application (a backup in another folder) shares its identifier and its
    // file name, and is not being removed.
    if (isUsableBundlePath(bundlePath)) {
        const std::vector<std::string> bundle = spellings(bundlePath);
        for (auto& app : Workspace::runningApplications(bundleID))
            if (runsFrom(app, bundle)) found.push_back(std::move(app));
        for (auto& app : Workspace::runningApplications())
            if (runsFrom(app, bundle)) found.push_back(std::move(app));
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
                                        std::string_view appName, const std::vector<AppMatch::App>& installed) {
    const JobOwner owner(bundleID, appName, installed);
    // The jobs launchd names after an application's name: "application." and
    // the name, alone or with a dot-suffix. An empty name names none.
    const std::string name = Unicode::lower(appName);
    const std::string appPrefix = name.empty() ? std::string() : "application." + name;

    std::vector<std::string> labels;
    for (std::string_view line : TextLines::nonEmpty(launchctlList)) {
        size_t tab = line.rfind('\t');
        std::string label = Unicode::trimmed(tab == std::string_view::npos ? line : line.substr(tab + 1));
        if (label.empty()) continue;
        const std::string lowered = Unicode::lower(label);
        const bool byName = !appPrefix.empty() && lowered.compare(0, appPrefix.size(), appPrefix) == 0 &&
                            (lowered.size() == appPrefix.size() || lowered[appPrefix.size()] == '.');
        if (owner.owns(label) || byName) labels.push_back(std::move(label));
    }
    return labels;
}

std::vector<std::string> unregisterLoginItems(std::string_view bundleID, std::string_view appName) {
    const uid_t uid = User::uid();
    std::vector<std::string> log;
    const std::vector<AppMatch::App> installed = InstalledBundles::apps();

    // The listing is read whatever launchctl's exit status.
    const Admin::Result listing = Admin::run(Admin::tool("/bin/launchctl") + " list", true);
    for (const auto& label : matchingLabels(listing.output, bundleID, appName, installed)) {
        bool bootedOut = bootout(uid, label);
        bool removed = Admin::run(Admin::tool("/bin/launchctl") + " remove " + Admin::quote(label), true).ok;
        if (bootedOut || removed) log.push_back("Unregistered login item " + label);
    }

    const JobOwner owner(bundleID, appName, installed);
    if (!owner.hasIdentifier()) return log;
    for (const auto& folder : {Locations::home() / "Library" / "LaunchAgents", Locations::system("/Library/LaunchAgents")}) {
        for (const auto& entry : Walker::list(folder)) {
            std::filesystem::path file(entry);
            if (file.extension() != ".plist") continue;
            // The property list stays: removing it is the leftover list's business.
            const std::string agent = file.stem().string();
            if (!owner.owns(agent)) continue;
            if (bootout(uid, agent)) log.push_back("Stopped agent " + agent);
        }
    }
    return log;
}

}  // namespace ProcessControl
