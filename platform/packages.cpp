#include "platform/packages.h"

#include <array>
#include <cctype>

namespace Packages {
namespace {

constexpr std::array<std::string_view, 38> kExtensions = {
    "app",        "appex",       "bundle",      "framework",   "plugin",     "kext",
    "xpc",        "prefpane",    "mdimporter",  "qlgenerator", "saver",      "photoslibrary",
    "musiclibrary", "sparsebundle", "rtfd",     "component",   "systemextension", "driver",
    "wdgt",       "playground",  "xcodeproj",   "xcworkspace", "xcarchive",  "pages",
    "numbers",    "key",         "lpdf",        "fcpbundle",   "logicx",     "band",
    "imovielibrary", "tvlibrary", "aplibrary",  "photolibrary", "dSYM",      "scptd",
    "action",     "docset",
};

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

}  // namespace

bool isPackageName(std::string_view name) {
    size_t dot = name.rfind('.');
    if (dot == std::string_view::npos || dot == 0 || dot + 1 == name.size()) return false;
    std::string_view ext = name.substr(dot + 1);
    for (auto e : kExtensions)
        if (equalsIgnoringCase(ext, e)) return true;
    return false;
}

}  // namespace Packages
