// The report the command line builds module by module, and its JSON form.
#include "cli/cli_commands.h"
#include "engine/fs.h"
#include "modules/system/module_reports.h"

namespace CLICommands {

ScanReport buildReport(const std::vector<ModuleID>& modules, bool deep, const ProgressCallback& progress) {
    // One token for the whole build; nothing on the command line cancels it.
    auto token = std::make_shared<ScanToken>();
    ScanReport combined;
    combined.scannedAt = Clock::now();
    combined.duration = 0;
    for (auto module : modules) {
        ScanReport report = ModuleReports::report(
            module, deep ? SystemJunk::LanguageFiles::afterExtras : SystemJunk::LanguageFiles::skip, token, progress);
        const std::string prefix = std::string(Modules::rawValue(module)) + ".";
        for (auto& c : report.categories) {
            if (c.items.empty()) continue;
            c.id = prefix + c.id;
            combined.categories.push_back(std::move(c));
        }
        for (auto& entry : report.coverage) combined.coverage.push_back(std::move(entry));
        // A scan that could not look everywhere says so; the user must hear it.
        for (auto& error : report.errors) combined.errors.push_back(std::move(error));
    }
    return combined;
}

nlohmann::json describe(const ScanReport& report, const std::vector<ModuleID>& modules) {
    nlohmann::json moduleNames = nlohmann::json::array();
    for (auto m : modules) moduleNames.push_back(Modules::rawValue(m));
    nlohmann::json categories = nlohmann::json::array();
    for (const auto& c : report.categories) {
        int64_t bytes = 0;
        for (const auto& item : c.items) bytes += item.size;
        nlohmann::json items = nlohmann::json::array();
        for (size_t i = 0; i < c.items.size() && i < 200; ++i) {
            const ScanItem& item = c.items[i];
            items.push_back({{"name", item.name},
                             {"path", item.url.native()},
                             {"bytes", item.size},
                             {"safety", Safeties::title(item.safety)},
                             {"detail", item.detail},
                             {"needs_admin", FS::requiresElevation(item.url)}});
        }
        categories.push_back({{"id", c.id},
                              {"title", c.title},
                              {"bytes", bytes},
                              {"item_count", int64_t(c.items.size())},
                              {"items", items},
                              {"items_truncated", c.items.size() > 200}});
    }
    nlohmann::json coverage = nlohmann::json::array();
    for (const auto& e : report.coverage)
        coverage.push_back({{"label", e.label},
                            {"path", e.path},
                            {"status", CoverageEntry::rawValue(e.status)},
                            {"items", e.itemCount}});
    return nlohmann::json{{"modules", moduleNames},
                          {"total_bytes", report.totalSize()},
                          {"item_count", report.itemCount()},
                          {"categories", categories},
                          {"coverage", coverage},
                          {"errors", report.errors}};
}

}  // namespace CLICommands
