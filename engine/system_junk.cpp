#include "engine/system_junk.h"

#include <chrono>
#include <set>
#include <string>
#include <string_view>

#include "engine/catalog.h"
#include "engine/scanner.h"
#include "engine/scanner_extras.h"
#include "engine/scanner_languages.h"
#include "platform/locations.h"
#include "platform/unicode.h"

namespace SystemJunk {
namespace {

std::string key(const std::filesystem::path& path) { return Unicode::nfc(Locations::standardize(path.string())); }

// The paths of the items taken so far, kept sorted so that both questions
// (is this path or a folder above it taken; is anything below it taken) cost
// one lookup per path component.
class Taken {
public:
    bool overlaps(const std::string& path) const {
        // The path itself or a folder above it.
        std::string_view up = path;
        while (true) {
            if (paths_.count(std::string(up))) return true;
            size_t slash = up.rfind('/');
            if (slash == std::string_view::npos || slash == 0) break;
            up = up.substr(0, slash);
        }
        if (!path.empty() && path.front() == '/' && paths_.count("/")) return true;
        // Something below it.
        std::string below = path == "/" ? path : path + "/";
        auto it = paths_.lower_bound(below);
        return it != paths_.end() && it->compare(0, below.size(), below) == 0;
    }
    void add(std::string path) { paths_.insert(std::move(path)); }

private:
    std::set<std::string> paths_;
};

}  // namespace

void appendUncounted(ScanReport& report, std::vector<ScanCategory> categories) {
    Taken taken;
    for (const auto& category : report.categories)
        for (const auto& item : category.items) taken.add(key(item.url));
    for (auto& category : categories) {
        bool hadItems = !category.items.empty();
        std::vector<ScanItem> kept;
        for (auto& item : category.items) {
            std::string path = key(item.url);
            if (taken.overlaps(path)) continue;
            taken.add(std::move(path));
            kept.push_back(std::move(item));
        }
        if (hadItems && kept.empty()) continue;
        category.items = std::move(kept);
        report.categories.push_back(std::move(category));
    }
}

ScanReport scan(const ScanToken& token, const ProgressCallback& progress, LanguageFiles languageFiles) {
    auto start = std::chrono::steady_clock::now();
    ScanReport report = Scanner::scan(Catalog::systemJunk(), token, progress);
    // A stopped scan ends with what the catalog found; the checks after it
    // would keep the stop waiting.
    if (token.isCancelled()) {
        report.duration = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        return report;
    }
    std::vector<ScanCategory> later;
    later.push_back(Scanner::scanBrokenPreferences(Scanner::installedBundleIDs()));
    later.push_back(Scanner::scanBrokenLoginItems());
    if (languageFiles == LanguageFiles::beforeExtras) later.push_back(Scanner::scanLanguageFiles(token, progress));
    for (auto& category : Scanner::systemJunkExtras(token, progress)) later.push_back(std::move(category));
    if (languageFiles == LanguageFiles::afterExtras) later.push_back(Scanner::scanLanguageFiles(token, progress));
    appendUncounted(report, std::move(later));
    report.duration = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return report;
}

}  // namespace SystemJunk
