#include "engine/installed_bundles.h"

#include <algorithm>

#include "platform/locations.h"
#include "platform/plist.h"
#include "platform/walker.h"

namespace fs = std::filesystem;

namespace InstalledBundles {
namespace {

constexpr std::string_view kNoVersion = "\xE2\x80\x94";  // an em dash

bool isBundleName(std::string_view name) {
    return name.size() > 4 && name.substr(name.size() - 4) == ".app";
}

std::vector<fs::path> applicationFolders() {
    return {Locations::system("/Applications"), Locations::system("/System/Applications"),
            Locations::home() / "Applications"};
}

}  // namespace

std::string Bundle::bundleID() const { return identifier ? *identifier : url.filename().string(); }

AppMatch::App Bundle::app() const { return AppMatch::App{name, bundleID(), url}; }

Bundle read(const fs::path& url) {
    Bundle bundle;
    bundle.url = url;
    bundle.name = url.stem().string();
    bundle.version = std::string(kNoVersion);
    auto plist = Plist::readFile(url / "Contents" / "Info.plist");
    if (!plist || !plist->isDict()) return bundle;
    if (auto id = plist->string("CFBundleIdentifier")) bundle.identifier = *id;
    if (auto v = plist->string("CFBundleShortVersionString")) bundle.version = *v;
    else if (auto v2 = plist->string("CFBundleVersion")) bundle.version = *v2;
    return bundle;
}

std::vector<fs::path> applicationsIn(const fs::path& folder) {
    std::vector<fs::path> out;
    for (const auto& entry : Walker::list(folder))
        if (isBundleName(entry)) out.push_back(folder / entry);
    return out;
}

std::vector<Bundle> all() {
    std::vector<fs::path> found;
    for (const fs::path& folder : applicationFolders()) {
        Walker::walk(folder, [&](const WalkEntry& e) {
            if (isBundleName(e.name)) {
                found.emplace_back(std::string(e.path));
                return WalkAction::skipSubtree;
            }
            return e.facts.isDirectory() && e.depth <= kFoldersBetween ? WalkAction::proceed : WalkAction::skipSubtree;
        });
    }
    std::sort(found.begin(), found.end());
    found.erase(std::unique(found.begin(), found.end()), found.end());
    std::vector<Bundle> bundles;
    bundles.reserve(found.size());
    for (const auto& url : found) bundles.push_back(read(url));
    return bundles;
}

std::set<std::string> identifiers() {
    std::set<std::string> ids;
    for (const auto& bundle : all())
        if (bundle.identifier) ids.insert(*bundle.identifier);
    return ids;
}

std::vector<AppMatch::App> apps() {
    std::vector<AppMatch::App> out;
    for (const auto& bundle : all()) out.push_back(bundle.app());
    return out;
}

}  // namespace InstalledBundles
