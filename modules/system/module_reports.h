#pragma once
// One module's report, scanned as its own screen or the command line scans it.
// The window's state and the command line's scan and clean verbs build every
// module report here, so both see the same items for the same module.
#include "engine/module_id.h"
#include "engine/scan_model.h"
#include "engine/system_junk.h"

namespace ModuleReports {

// The module's report; an empty report for the modules that make none (Smart
// Scan, the tools). languageFiles says whether and where System Junk reviews
// the applications' translations.
ScanReport report(ModuleID module, SystemJunk::LanguageFiles languageFiles, const ScanTokenRef& token,
                  const ProgressCallback& progress);

}  // namespace ModuleReports
