#include "engine/own_files.h"

#include <algorithm>

#include "platform/file_facts.h"
#include "platform/locations.h"

namespace OwnFiles {
namespace {

// Standardised and with ASCII letters in lower case: the names that make the
// places the program's own are ASCII, and a scan's items are many.
std::string comparable(std::string_view path) {
    std::string out = Locations::standardize(path);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
    return out;
}

struct Place {
    std::string form;  // comparable()
    bool present;      // only a place that is there can be taken along with a folder holding it
};

bool touchesAny(const std::filesystem::path& path, const std::vector<Place>& placeForms) {
    const std::string& raw = path.native();
    if (raw.empty() || raw.front() != '/') return false;
    const std::string p = comparable(raw);
    for (const auto& place : placeForms)
        if (Locations::isWithin(p, place.form) || (place.present && Locations::isWithin(place.form, p))) return true;
    return false;
}

std::vector<Place> comparablePlaces() {
    std::vector<Place> out;
    for (const auto& place : places()) out.push_back({comparable(place), existsItself(place)});
    return out;
}

}  // namespace

std::filesystem::path logFolder() { return Locations::home() / "Library" / "Logs" / "Vessiltane"; }

std::filesystem::path dailyJobFile() {
    return Locations::home() / "Library" / "LaunchAgents" / "com.vessiltane.daily.plist";
}

std::vector<std::string> places() {
    std::vector<std::string> out;
    for (const auto& place : {Locations::supportFolder(), logFolder(), dailyJobFile()}) {
        out.push_back(place.native());
        // Reached by its real path too, when a link on the way leads elsewhere.
        if (auto real = Locations::realPath(place.native()); real && *real != place.native())
            out.push_back(*real);
    }
    return out;
}

bool touches(const std::filesystem::path& path) { return touchesAny(path, comparablePlaces()); }

void dropFrom(std::vector<ScanCategory>& categories) {
    const std::vector<Place> placeForms = comparablePlaces();
    for (auto& category : categories)
        std::erase_if(category.items, [&](const ScanItem& item) { return touchesAny(item.url, placeForms); });
}

void dropFrom(ScanReport& report) { dropFrom(report.categories); }

}  // namespace OwnFiles
