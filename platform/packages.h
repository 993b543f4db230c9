#pragma once
// Folders the system presents as one document or bundle. A walk that meets one
// inside a folder counts it as a single folder and does not enter it.
#include <string_view>

namespace Packages {

// Whether a folder with this name is a package (decided by its extension,
// compared without regard to ASCII case).
bool isPackageName(std::string_view name);

}  // namespace Packages
