#include "modules/system/bundle_id.h"

namespace BundleID {

bool isSpecific(std::string_view identifier) {
    int parts = 0;
    size_t i = 0;
    while (i <= identifier.size()) {
        size_t j = identifier.find('.', i);
        if (j == std::string_view::npos) j = identifier.size();
        std::string_view part = identifier.substr(i, j - i);
        if (part.find_first_not_of(" \t\r\n") != std::string_view::npos) ++parts;
        i = j + 1;
    }
    return parts >= 2;
}

}  // namespace BundleID
