// The real-window tests draw on an X display of their own: a virtual one
// started here (1440 x 900, as a laptop's visible area), with one
// QApplication on it for the whole test program.
#include <gtest/gtest.h>

#include <QApplication>
#include <cstdlib>
#include <memory>

#include "support/window/xvfb.h"

// The X keyboard library copies the names of the server's keyboard atoms with
// strndup and a length longer than the buffer it reads from, which the
// AddressSanitizer build reports on connecting to any X server. The fault is
// that library's; this program alone leaves strndup unchecked.
extern "C" __attribute__((visibility("default"), used)) const char* __asan_default_options() {
    return "intercept_strndup=0";
}

namespace {

class RealWindowEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        display_ = std::make_unique<testing_support::Xvfb>(1440, 900);
        ASSERT_TRUE(display_->started()) << "Xvfb did not start (scripts/install-deps installs it)";
        ::setenv("DISPLAY", display_->display().c_str(), 1);
        ::setenv("QT_QPA_PLATFORM", "xcb", 1);
        static int argc = 1;
        static char name[] = "vessiltane-window-tests";
        static char* argv[] = {name, nullptr};
        app_ = std::make_unique<QApplication>(argc, argv);
    }
    void TearDown() override {
        app_.reset();
        display_.reset();
    }

private:
    std::unique_ptr<testing_support::Xvfb> display_;
    std::unique_ptr<QApplication> app_;
};

const auto* const environment = ::testing::AddGlobalTestEnvironment(new RealWindowEnvironment);

}  // namespace
