#pragma once
// The shell's tests: the window's fixture plus the application state on a
// manual executor, fake desktop services, and a settings file of the test's
// own.
#include <QSettings>
#include <memory>

#include "app/shell/window_configurator.h"
#include "app/state/app_state.h"
#include "app/state/manual_executor.h"
#include "support/window/fake_system_services.h"
#include "support/window/window_test.h"

class ShellTest : public WindowTest {
protected:
    void SetUp() override;
    void TearDown() override;

    AppState& state() { return *state_; }
    // The frame management's services: this test's executor and settings, the
    // given visible area (none: no screen), and a log that keeps its lines.
    WindowConfigurator::Services frameServices(std::optional<QRect> visibleArea = QRect(0, 0, 1440, 900));

    std::shared_ptr<ManualExecutor> executor;
    std::unique_ptr<AppState> state_;
    testing_support::FakeSystemServices services;
    std::unique_ptr<QSettings> settings;
    std::vector<std::string> logLines;
};
