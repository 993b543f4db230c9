#pragma once
// The screens' tests: the shell's fixture (the state on a manual executor, the
// fake desktop) and the context a screen is made with, whose sheets, main
// window and settings window are recorded.
#include <QPointer>
#include <QWidget>
#include <memory>
#include <optional>
#include <vector>

#include "app/shell/screen_catalog.h"
#include "support/window/shell_test.h"

class ScreenTest : public ShellTest {
protected:
    void TearDown() override {
        host_.reset();
        context_.reset();
        ShellTest::TearDown();
    }

    // The context over the current state (made on first use).
    const ScreenContext& context() {
        if (!context_) {
            host_ = std::make_unique<QWidget>();
            host_->resize(800, 700);
            context_.emplace(ScreenContext{state(), services,
                                           [this](QWidget* sheet) {
                                               sheet->setParent(host_.get());
                                               sheet->show();
                                               sheets.push_back(sheet);
                                           },
                                           [this] {
                                               ++mainWindowShown;
                                               modulesWhenMainShown.push_back(state().module());
                                               activeWhenMainShown.push_back(state().activeScan());
                                           }, [this] { ++settingsShown; }});
        }
        return *context_;
    }
    // The state made again (after the test prepared the home it reads at start).
    void remakeState() {
        context_.reset();
        state_ = std::make_unique<AppState>(executor, std::vector<std::string>{"vessiltane"});
    }
    void settle() { executor->settle(); }

    std::vector<QPointer<QWidget>> sheets;
    int mainWindowShown = 0;
    // The state's module and active scan each time the main window was shown.
    std::vector<std::optional<ModuleID>> modulesWhenMainShown;
    std::vector<std::optional<ModuleID>> activeWhenMainShown;
    int settingsShown = 0;

private:
    std::unique_ptr<QWidget> host_;
    std::optional<ScreenContext> context_;
};
