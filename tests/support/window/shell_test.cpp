#include "support/window/shell_test.h"

void ShellTest::SetUp() {
    WindowTest::SetUp();
    executor = std::make_shared<ManualExecutor>();
    state_ = std::make_unique<AppState>(executor, std::vector<std::string>{"vessiltane"});
    settings = std::make_unique<QSettings>(QString::fromStdString((tmp() / "settings.ini").string()), QSettings::IniFormat);
}

void ShellTest::TearDown() {
    state_.reset();
    executor->settle();
    settings.reset();
    WindowTest::TearDown();
}

WindowConfigurator::Services ShellTest::frameServices(std::optional<QRect> visibleArea) {
    WindowConfigurator::Services s;
    s.executor = executor;
    s.settings = settings.get();
    s.visibleArea = [visibleArea](const QWidget&) { return visibleArea; };
    s.log = [this](const std::string& line) { logLines.push_back(line); };
    return s;
}
