#pragma once
// Translations inside installed applications for languages the user does not
// read: each such "lproj" folder is one review item of the System Junk module's
// "language-files" category.
#include "engine/scan_model.h"

namespace Scanner {

// Looks at the direct children of /Applications, ~/Applications and
// /System/Applications that end in ".app", reporting "Reviewing <name>…" for
// each (fraction: applications seen / 80, at most 1). A folder is kept when its
// language (name without ".lproj", lower-cased) is "en", "base" or the first
// two letters of a preferred language. Items are review, unselected, largest
// first. Neither the ignore list nor the protection rules are consulted.
ScanCategory scanLanguageFiles(const ScanToken& token, const ProgressCallback& progress);

}  // namespace Scanner
