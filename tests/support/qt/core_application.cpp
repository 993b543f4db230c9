// The Qt event loop for the state tests: one QCoreApplication for the whole
// test program, made on the main thread before the first test runs.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <memory>

namespace {

class CoreApplicationEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        static int argc = 1;
        static char name[] = "vessiltane-tests";
        static char* argv[] = {name, nullptr};
        app_ = std::make_unique<QCoreApplication>(argc, argv);
    }
    void TearDown() override { app_.reset(); }

private:
    std::unique_ptr<QCoreApplication> app_;
};

const auto* const environment = ::testing::AddGlobalTestEnvironment(new CoreApplicationEnvironment);

}  // namespace
