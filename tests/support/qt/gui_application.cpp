// The widgets tests draw offscreen: one QApplication on the offscreen platform
// for the whole test program, made on the main thread before the first test.
// The window's motion is off: a control takes each new value at once, so a
// test sees what a change ends in. Tests of motion turn it on for themselves
// by driving the animation clock by hand (Motion::ManualClock).
#include <gtest/gtest.h>

#include <QApplication>
#include <cstdlib>
#include <memory>

#include "app/controls/motion.h"

namespace {

class GuiApplicationEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        if (!std::getenv("QT_QPA_PLATFORM")) ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
        static int argc = 1;
        static char name[] = "vessiltane-tests";
        static char* argv[] = {name, nullptr};
        app_ = std::make_unique<QApplication>(argc, argv);
        Motion::setEnabled(false);
    }
    void TearDown() override { app_.reset(); }

private:
    std::unique_ptr<QApplication> app_;
};

const auto* const environment = ::testing::AddGlobalTestEnvironment(new GuiApplicationEnvironment);

}  // namespace
