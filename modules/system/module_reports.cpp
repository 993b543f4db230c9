#include "modules/system/module_reports.h"

#include "engine/catalog.h"
#include "engine/own_files.h"
#include "engine/scanner.h"
#include "engine/scanner_extras.h"
#include "engine/scanner_large_old.h"
#include "engine/scanner_trash.h"
#include "modules/protection/extensions.h"
#include "modules/protection/login_items.h"
#include "modules/protection/malware_scan.h"
#include "platform/locations.h"

namespace ModuleReports {

namespace {

ScanReport scanned(ModuleID module, SystemJunk::LanguageFiles languageFiles, const ScanTokenRef& shared,
                   const ProgressCallback& progress) {
    const ScanToken& token = *shared;
    switch (module) {
        case ModuleID::systemJunk:
            return SystemJunk::scan(token, progress, languageFiles);
        case ModuleID::mailAttachments:
            return Scanner::scan(Catalog::mail(), token, progress);
        case ModuleID::trashBins:
            return Scanner::scanTrash(token, progress);
        case ModuleID::photos:
            return Scanner::scan(Catalog::photos(), token, progress);
        case ModuleID::music:
            return Scanner::scan(Catalog::music(), token, progress);
        case ModuleID::largeOldFiles:
            return Scanner::scanLargeAndOld({Locations::home()}, token, progress);
        case ModuleID::malware:
            return MalwareScan::scan(token, progress);
        case ModuleID::privacy: {
            ScanReport report = Scanner::scan(Catalog::privacy(), token, progress);
            for (auto& c : Scanner::chromiumCategories()) report.categories.push_back(std::move(c));
            return report;
        }
        case ModuleID::loginItems: {
            auto entries = LoginItems::entries(shared);
            return LoginItems::scan(shared, entries);
        }
        case ModuleID::extensions:
            return Extensions::scan(shared, progress);
        case ModuleID::smartScan:
        case ModuleID::diskMap:
        case ModuleID::shredder:
        case ModuleID::optimization:
        case ModuleID::uninstaller:
        case ModuleID::updater:
            break;
    }
    return ScanReport{};
}

}  // namespace

ScanReport report(ModuleID module, SystemJunk::LanguageFiles languageFiles, const ScanTokenRef& shared,
                  const ProgressCallback& progress) {
    ScanReport out = scanned(module, languageFiles, shared, progress);
    OwnFiles::dropFrom(out);
    return out;
}

}  // namespace ModuleReports
