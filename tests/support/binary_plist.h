#pragma once
// The binary form of a property list, as most applications ship their
// Info.plist (the system itself only ever writes XML).
#include <string>

#include "platform/plist.h"

namespace testing_support {

std::string binaryPlist(const Plist::Value& value);

}  // namespace testing_support
