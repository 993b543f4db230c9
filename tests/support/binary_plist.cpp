#include "support/binary_plist.h"

#include <plist/plist.h>

namespace testing_support {

std::string binaryPlist(const Plist::Value& value) {
    std::string xml = Plist::toXml(value);
    plist_t node = nullptr;
    plist_from_xml(xml.data(), uint32_t(xml.size()), &node);
    if (!node) return {};
    char* bytes = nullptr;
    uint32_t length = 0;
    plist_to_bin(node, &bytes, &length);
    std::string out(bytes, length);
    plist_to_bin_free(bytes);
    plist_free(node);
    return out;
}

}  // namespace testing_support
