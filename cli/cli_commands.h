#pragma once
// The command-line verbs. Each takes the parsed options and returns a result;
// none prints its result or ends the process itself.
#include <nlohmann/json.hpp>

#include <functional>
#include <vector>

#include "cli/cli_options.h"
#include "cli/cli_output.h"
#include "engine/module_id.h"
#include "engine/scan_model.h"

namespace CLICommands {

CLIResult scan(const CLIOptions& options);
CLIResult clean(const CLIOptions& options);
CLIResult status(const CLIOptions& options);
CLIResult modules(const CLIOptions& options);
CLIResult history(const CLIOptions& options);
CLIResult ignore(const CLIOptions& options);
CLIResult malware(const CLIOptions& options);
CLIResult diagnose(const CLIOptions& options);
CLIResult updates(const CLIOptions& options);
CLIResult schedule(const CLIOptions& options);

// Runs each module's scans in turn and folds their reports into one, each
// category id prefixed with the module's raw value ("systemJunk.user-caches").
// Categories without items are dropped; coverage is kept whole.
ScanReport buildReport(const std::vector<ModuleID>& modules, bool deep, const ProgressCallback& progress);

// The JSON payload of a report: modules, totals, categories (at most 200 items
// each) and coverage.
nlohmann::json describe(const ScanReport& report, const std::vector<ModuleID>& modules);

// The options' modules, or the default cleanable set when none were named.
std::vector<ModuleID> moduleSet(const CLIOptions& options);

// Tests: called by `clean` between its scan and its removals, as a user's
// minutes between the two would let someone change the disk.
void setAfterScanHookForTesting(std::function<void(const ScanReport& report)> hook);

}  // namespace CLICommands
