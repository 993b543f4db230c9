#pragma once
// The fixture of the journeys: the application as the executable makes it (its
// own session, the screens, a real thread pool and the desktop's services) on
// a sample home, shown on the test program's virtual display and driven the
// way a user drives it, by the names the controls show or announce.
#include <QString>
#include <QWidget>

class QMessageBox;
#include <functional>
#include <memory>

#include "app/shell/vessiltane_app.h"
#include "support/test_env.h"

class JourneyTest : public TestEnv {
protected:
    // A temporary home filled by scripts/sample-home, and a settings file of
    // the test's own.
    void SetUp() override;
    // Ends the session and waits for its background work, before the home goes.
    void TearDown() override;

    // Makes the session and shows the main window (once per test).
    VessiltaneApp& start();
    VessiltaneApp::Session& session() { return *session_; }
    AppState& state() { return *session_->state; }

    // The first visible widget of any top-level window (sheets and message
    // boxes included) whose accessible name, or button or label text (without
    // its mnemonic marks), is name; null when there is none.
    static QWidget* find(const QString& name);
    // Finds and clicks it; the test fails when it is missing or disabled.
    static void click(const QString& name);
    // Processes events until done() holds, for at most ms milliseconds.
    static bool waitFor(const std::function<bool()>& done, int ms = 30000);
    // Whether a widget named so appears within ms milliseconds.
    static bool waitForWidget(const QString& name, int ms = 30000);
    // Answers the next message box the application asks, once it shows, by
    // clicking its button with that text.
    static void answerNextMessageBox(const QString& button);
    // Hands the next message box shown to act, which says whether it did
    // what it came for (else the next one shown is tried).
    static void onNextMessageBox(std::function<bool(QMessageBox&)> act);

private:
    std::unique_ptr<VessiltaneApp::Session> session_;
};
