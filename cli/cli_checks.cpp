// The read-only verbs `malware` and `diagnose`.

#include "cli/cli.h"
#include "cli/cli_commands.h"
#include "engine/byte_format.h"
#include "engine/fs.h"
#include "modules/protection/malware_scan.h"
#include "modules/system/schedule.h"
#include "platform/plain_text.h"

namespace CLICommands {

using PlainText::number;
CLIResult malware(const CLIOptions& options) {
    ScanToken token;
    ScanReport report = MalwareScan::scan(token, CLIOutput::progressHandler(options));
    CLIResult r;
    r.json = describe(report, {ModuleID::malware});
    r.human = "Heuristic adware scan (no signature set; read-only)\n";
    if (report.categories.empty()) {
        r.human += "Nothing matched.";
        return r;
    }
    for (const auto& c : report.categories) {
        r.human += "  " + c.title + ": " + number(int64_t(c.items.size())) + " match(es)\n";
        for (size_t i = 0; i < c.items.size() && i < 10; ++i) {
            if (i) r.human += "\n";
            r.human += "    " + PlainText::shown(c.items[i].url.native()) + "  [" + PlainText::shown(c.items[i].detail) + "]";
        }
        r.human += "\n";
    }
    return r;
}

CLIResult diagnose(const CLIOptions& options) {
    std::vector<ModuleID> modules(Schedule::cleanableModules.begin(), Schedule::cleanableModules.end());
    ScanReport report = buildReport(modules, true, [](double, const std::string&) {});
    int64_t bytes = 0, eligible = 0, elevated = 0;
    for (const auto& c : report.categories)
        for (const auto& item : c.items) {
            if (!(item.safety == Safety::safe || (item.safety == Safety::review && options.includeReview))) continue;
            bytes += item.size;
            ++eligible;
            if (FS::requiresElevation(item.url)) ++elevated;
        }
    CLIResult r;
    r.json = describe(report, modules);
    r.human = "Would clean " + ByteFormat::string(bytes) + " from " + number(eligible) + " items; " +
              number(elevated) + " need administrator rights.";
    return r;
}

}  // namespace CLICommands
