// The module scans, Smart Scan and the Rescan command.
#include <array>
#include <string_view>
#include <utility>

#include "app/state/app_state.h"
#include "engine/catalog.h"
#include "engine/scanner.h"
#include "engine/scanner_trash.h"
#include "engine/system_junk.h"
#include "modules/protection/extensions.h"
#include "modules/protection/malware_scan.h"
#include "modules/system/module_reports.h"
#include "modules/system/thinning.h"
#include "platform/locations.h"

namespace {

// The modules Smart Scan merges into its own report, each with the tag its
// categories' ids take, in report order.
constexpr std::array<std::pair<ModuleID, std::string_view>, 7> kSmartScanParts{{
    {ModuleID::systemJunk, "junk"},
    {ModuleID::trashBins, "trash"},
    {ModuleID::mailAttachments, "mail"},
    {ModuleID::privacy, "privacy"},
    {ModuleID::malware, "malware"},
    {ModuleID::photos, "photos"},
    {ModuleID::music, "music"},
}};

// The categories that hold items of the seven reports, copied with their
// selection under "<tag>.<id>", and the coverage of all seven, in order.
ScanReport smartScanReport(const std::vector<ScanReport>& parts) {
    ScanReport combined;
    for (size_t i = 0; i < kSmartScanParts.size() && i < parts.size(); ++i) {
        const std::string prefix = std::string(kSmartScanParts[i].second) + ".";
        for (const auto& category : parts[i].categories) {
            if (category.items.empty()) continue;
            ScanCategory copy = category;
            copy.id = prefix + category.id;
            combined.categories.push_back(std::move(copy));
        }
        combined.coverage.insert(combined.coverage.end(), parts[i].coverage.begin(), parts[i].coverage.end());
    }
    combined.scannedAt = Clock::now();
    return combined;
}

// Whether Smart Scan's one task scans the module (its parts and Extensions).
bool smartScanCovers(ModuleID module) {
    if (module == ModuleID::smartScan || module == ModuleID::extensions) return true;
    for (const auto& part : kSmartScanParts)
        if (part.first == module) return true;
    return false;
}

}  // namespace

bool AppState::removalBlocks(ModuleID module) const {
    if (!removal_) return false;
    const ModuleID cleaned = removal_->module;
    if (cleaned == module) return true;
    // Smart Scan's report is made of the others': a scan of either side
    // would list what the removal is taking away.
    if (cleaned == ModuleID::smartScan) return smartScanCovers(module);
    if (module == ModuleID::smartScan) return smartScanCovers(cleaned);
    return false;
}

void AppState::runModuleScan(ModuleID module, const std::string& message) {
    runScan(
        module, message,
        [module](const ScanTokenRef& token, const ProgressCallback& progress) {
            return ModuleReports::report(module, SystemJunk::LanguageFiles::beforeExtras, token, progress);
        },
        module == ModuleID::systemJunk);
}

void AppState::scanSystemJunk() { runModuleScan(ModuleID::systemJunk, "Preparing\u2026"); }
void AppState::scanMail() { runModuleScan(ModuleID::mailAttachments, "Reading Mail\u2026"); }
void AppState::scanTrash() { runModuleScan(ModuleID::trashBins, "Looking for Trash\u2026"); }
void AppState::scanPhotos() { runModuleScan(ModuleID::photos, "Reading your photo library\u2026"); }
void AppState::scanMusic() { runModuleScan(ModuleID::music, "Reading your media library\u2026"); }
void AppState::scanLargeAndOld() { runModuleScan(ModuleID::largeOldFiles, "Looking for large and old files\u2026"); }
void AppState::scanMalware() { runModuleScan(ModuleID::malware, "Checking for adware\u2026"); }
void AppState::scanExtensions() { runModuleScan(ModuleID::extensions, "Reading extensions\u2026"); }
void AppState::scanPrivacy() { runModuleScan(ModuleID::privacy, "Reading browser traces\u2026"); }

void AppState::smartScanAll() {
    if (removalBlocks(ModuleID::smartScan)) {
        showBanner("Wait until the removal has finished.", false);
        return;
    }
    const Action action = beginScan(ModuleID::smartScan, "Starting\u2026");
    ProgressCallback progress = makeProgress();
    // One module after another with the same token and progress line; the
    // applications' translations and the browsers' own traces are left to
    // the modules' own scans. The Extensions report comes last and is not merged.
    struct Scanned {
        std::vector<ScanReport> reports;
        bool signingTool = false;
    };
    inBackground<Scanned>(
        [token = action.token, progress] {
            const ScanToken& t = *token;
            std::vector<ScanReport> reports;
            reports.push_back(SystemJunk::scan(t, progress, SystemJunk::LanguageFiles::skip));
            reports.push_back(Scanner::scanTrash(t, progress));
            reports.push_back(Scanner::scan(Catalog::mail(), t, progress));
            reports.push_back(Scanner::scan(Catalog::privacy(), t, progress));
            reports.push_back(MalwareScan::scan(t, progress));
            reports.push_back(Scanner::scan(Catalog::photos(), t, progress));
            reports.push_back(Scanner::scan(Catalog::music(), t, progress));
            reports.push_back(Extensions::scan(token, progress));
            return Scanned{std::move(reports), Thinning::codesignIsAvailable()};
        },
        [this, action](Scanned scanned) {
            if (!isCurrent(action.token)) return;
            signingTool_ = scanned.signingTool;
            std::vector<ScanReport>& reports = scanned.reports;
            ScanReport combined = smartScanReport(reports);
            // Each module keeps its report as the engine gave it, empty categories included.
            for (size_t i = 0; i < kSmartScanParts.size(); ++i)
                storeReport(kSmartScanParts[i].first, std::move(reports[i]));
            storeReport(ModuleID::extensions, std::move(reports.back()));
            storeReport(ModuleID::smartScan, std::move(combined));
            endScan(action);
        });
}

void AppState::rescanCurrent() {
    if (!module_) return;
    switch (*module_) {
        case ModuleID::smartScan: smartScanAll(); return;
        case ModuleID::systemJunk: scanSystemJunk(); return;
        case ModuleID::mailAttachments: scanMail(); return;
        case ModuleID::trashBins: scanTrash(); return;
        case ModuleID::photos: scanPhotos(); return;
        case ModuleID::music: scanMusic(); return;
        case ModuleID::largeOldFiles: scanLargeAndOld(); return;
        case ModuleID::malware: scanMalware(); return;
        case ModuleID::privacy: scanPrivacy(); return;
        case ModuleID::extensions: scanExtensions(); return;
        case ModuleID::diskMap:
            // From the top of the breadcrumb, not from the folder shown.
            buildDiskMap(spacePath_.empty() || !spacePath_.front() ? Locations::home() : spacePath_.front()->url);
            return;
        case ModuleID::loginItems: loadLoginItems(); return;
        case ModuleID::uninstaller: reloadApps(); return;
        case ModuleID::updater: checkForUpdates(); return;
        case ModuleID::shredder:
        case ModuleID::optimization: return;
    }
}
