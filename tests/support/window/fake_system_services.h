#pragma once
// The desktop as the window's tests see it: every link the window asks to
// open is recorded, and nothing is opened.
#include <string>
#include <vector>

#include "app/controls/system_services.h"

namespace testing_support {

class FakeSystemServices final : public SystemServices {
public:
    void openURL(const std::string& address) override { opened.push_back(address); }
    std::vector<std::string> opened;
};

}  // namespace testing_support
