#pragma once
// The add-ons installed on the Mac in five groups: Safari app extensions,
// internet plug-ins, preference panes, Spotlight importers and the extensions
// of Chromium-family browsers and Firefox. Folders and bundle property lists
// are read; nothing is run.
#include <string_view>

#include "engine/scan_model.h"

namespace Extensions {

enum class Kind { safariExtensions, internetPlugins, preferencePanes, spotlightPlugins, browserExtensions };

std::string_view title(Kind kind);
std::string_view detail(Kind kind);

// One category per group that found something, in the order above. Safari
// extensions are protected (they go with their app); everything else is
// listed for review. The token is read before each app and each browser
// extension; once cancelled those steps add nothing more.
ScanReport scan(const ScanTokenRef& token, const ProgressCallback& progress);

}  // namespace Extensions
