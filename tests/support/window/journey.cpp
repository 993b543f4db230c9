#include "support/window/journey.h"

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <QAbstractButton>
#include <QApplication>
#include <QDeadlineTimer>
#include <QLabel>
#include <QMainWindow>
#include <QMessageBox>
#include <QRegularExpression>
#include <QSettings>
#include <QTest>
#include <QTimer>
#include <cstdlib>
#include <string>

#include "app/state/executor.h"
#include "screens/screen_catalog.h"

namespace {

QString plain(QString text) {
    // "&Remove" announces itself as "Remove".
    text.remove(QRegularExpression(QStringLiteral("&(?!&)")));
    return text;
}

bool named(const QWidget* widget, const QString& name) {
    if (widget->accessibleName() == name) return true;
    if (auto* button = qobject_cast<const QAbstractButton*>(widget)) return plain(button->text()) == name;
    if (auto* label = qobject_cast<const QLabel*>(widget)) return label->text() == name;
    return false;
}

}  // namespace

void JourneyTest::SetUp() {
    TestEnv::SetUp();
    const std::string command = std::string("'") + VESSILTANE_SOURCE_DIR + "/scripts/sample-home' '" + home().string() +
                                "' >/dev/null";
    ASSERT_EQ(home().string().find('\''), std::string::npos);
    const int status = std::system(command.c_str());
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "scripts/sample-home failed";
    // The settings live in the temporary home, never in the user's.
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope,
                       QString::fromStdString((home() / ".config").string()));
}

void JourneyTest::TearDown() {
    for (QWidget* window : QApplication::topLevelWidgets())
        if (auto* box = qobject_cast<QMessageBox*>(window)) box->reject();
    session_.reset();
    waitForBackgroundWork();
    QApplication::processEvents();
    TestEnv::TearDown();
}

VessiltaneApp& JourneyTest::start() {
    VessiltaneApp::prepareApplication();
    session_ = std::make_unique<VessiltaneApp::Session>(std::vector<std::string>{"vessiltane"}, Screens::catalog());
    session_->app->showMain();
    QMainWindow* main = session_->app->mainWindow();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(main, 10000)) << "the main window was never shown";
    return *session_->app;
}

QWidget* JourneyTest::find(const QString& name) {
    for (QWidget* window : QApplication::topLevelWidgets()) {
        if (!window->isVisible()) continue;
        if (named(window, name)) return window;
        for (QWidget* widget : window->findChildren<QWidget*>())
            if (widget->isVisible() && named(widget, name)) return widget;
    }
    return nullptr;
}

void JourneyTest::click(const QString& name) {
    QWidget* widget = find(name);
    ASSERT_NE(widget, nullptr) << "no visible control named \"" << name.toStdString() << "\"";
    ASSERT_TRUE(widget->isEnabled()) << "\"" << name.toStdString() << "\" is disabled";
    if (auto* button = qobject_cast<QAbstractButton*>(widget))
        button->click();
    else
        QTest::mouseClick(widget, Qt::LeftButton);
    QApplication::processEvents();
}

bool JourneyTest::waitFor(const std::function<bool()>& done, int ms) {
    QDeadlineTimer deadline(ms);
    while (!done()) {
        if (deadline.hasExpired()) return false;
        QApplication::processEvents(QEventLoop::AllEvents, 20);
        QTest::qSleep(5);
    }
    return true;
}

bool JourneyTest::waitForWidget(const QString& name, int ms) {
    return waitFor([&] { return find(name) != nullptr; }, ms);
}

void JourneyTest::onNextMessageBox(std::function<bool(QMessageBox&)> act) {
    auto* poll = new QTimer(qApp);
    poll->setInterval(20);
    auto deadline = std::make_shared<QDeadlineTimer>(30000);
    QObject::connect(poll, &QTimer::timeout, poll, [poll, act = std::move(act), deadline] {
        for (QWidget* window : QApplication::topLevelWidgets()) {
            auto* box = qobject_cast<QMessageBox*>(window);
            if (!box || !box->isVisible() || !act(*box)) continue;
            poll->stop();
            poll->deleteLater();
            return;
        }
        if (deadline->hasExpired()) {
            poll->stop();
            poll->deleteLater();
        }
    });
    poll->start();
}

void JourneyTest::answerNextMessageBox(const QString& button) {
    onNextMessageBox([button](QMessageBox& box) {
        for (QAbstractButton* candidate : box.buttons()) {
            if (plain(candidate->text()) != button) continue;
            candidate->click();
            return true;
        }
        return false;
    });
}
