// The command line never needs Qt: a command verb runs with no Qt library loaded.
#include <gtest/gtest.h>

#include "engine/admin.h"
#include "support/test_env.h"

using namespace testing_support;
namespace fs = std::filesystem;

class QtLayers : public TestEnv {};

TEST_F(QtLayers, ACommandVerbLoadsNoQtLibrary) {
    // The dynamic loader lists every file it loads into a log of its own.
    const fs::path log = tmp() / "loader";
    const std::string line = "HOME=" + Admin::quote(home().native()) + " VESSILTANE_ROOT=" + Admin::quote(root().native()) +
                             " LD_DEBUG=files LD_DEBUG_OUTPUT=" + Admin::quote(log.native()) + " " +
                             Admin::quote(std::string(VESSILTANE_BINARY_DIR) + "/vessiltane") + " modules --json";
    const Admin::Result result = Admin::run(line);
    ASSERT_TRUE(result.ok) << result.output;
    std::string loaded;
    for (const auto& entry : fs::directory_iterator(tmp()))
        if (entry.path().filename().native().rfind("loader", 0) == 0) loaded += readFile(entry.path());
    ASSERT_NE(loaded.find("libc.so"), std::string::npos) << "the loader wrote no log";
    EXPECT_EQ(loaded.find("libQt"), std::string::npos) << loaded.substr(loaded.find("libQt"), 200);
}
