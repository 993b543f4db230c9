// The desktop's real dialogs over the real screens, as the router makes and
// deletes them: a question open while work finishes elsewhere must survive
// that work switching the screen away. The dialog goes with its screen,
// unanswered, and nothing the screen asked for runs afterwards.
#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>
#include <QPointer>
#include <QTest>

#include "app/controls/buttons.h"
#include "app/controls/system_services.h"
#include "app/shell/detail_router.h"
#include "engine/admin.h"
#include "screen_test.h"
#include "screens/junk_module_view.h"
#include "screens/screen_catalog.h"
#include "screens/settings_view.h"
#include "screens/shredder_view.h"
#include "support/universal_binary.h"

namespace fs = std::filesystem;
using testing_support::writeFile;

namespace {

class DialogLifetimeTest : public ScreenTest {
protected:
    void SetUp() override {
        ScreenTest::SetUp();
        desktop = SystemServices::desktop(executor);
        catalog = Screens::catalog();
        screenContext.emplace(ScreenContext{state(), *desktop, [](QWidget* sheet) { sheet->deleteLater(); },
                                            [] {}, [] {}});
        router = std::make_unique<DetailRouter>(state(), &catalog, &*screenContext);
        router->resize(900, 700);
        router->show();
    }
    void TearDown() override {
        router.reset();
        screenContext.reset();
        desktop.reset();
        QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        ScreenTest::TearDown();
    }

    template <class Dialog>
    static Dialog* openDialog(QWidget* screen) {
        for (auto* dialog : screen->findChildren<Dialog*>())
            if (dialog->isVisible()) return dialog;
        return nullptr;
    }

    // What a finishing clean does while the dialog is open: the route moves
    // on, from a call posted to the main thread, and the old screen is
    // deleted once the event loop gets to it.
    void switchAwayWhileOpen() {
        executor->post(alive.receiver(), [this] { state().setModule(ModuleID::diskMap); });
        executor->settle();
        QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QApplication::processEvents();
    }

    std::unique_ptr<SystemServices> desktop;
    ScreenCatalog catalog;
    std::optional<ScreenContext> screenContext;
    std::unique_ptr<DetailRouter> router;
    Lifeline alive;
};

}  // namespace

TEST_F(DialogLifetimeTest, TheShreddersQuestionsGoWithTheirScreenUnanswered) {
    const fs::path secret = home() / "secret.txt";
    writeFile(secret, "keep");
    for (const bool confirmation : {true, false}) {
        SCOPED_TRACE(confirmation ? "the confirmation" : "the file chooser");
        state().setModule(ModuleID::shredder);
        QPointer<ShredderView> shredder = qobject_cast<ShredderView*>(router->screen());
        ASSERT_TRUE(shredder);
        shredder->append({secret});
        executor->settle();
        shredder->setSelected(shredder->entries().at(0).item.id, true);
        QPointer<QDialog> dialog;
        if (confirmation) {
            shredder->requestShred();
            dialog = openDialog<QMessageBox>(shredder);
        } else {
            shredder->choose();
            dialog = openDialog<QFileDialog>(shredder);
        }
        // The call came back with the dialog still open: no loop of its own.
        ASSERT_TRUE(dialog);
        EXPECT_EQ(dialog->windowModality(), Qt::WindowModal);

        switchAwayWhileOpen();
        EXPECT_FALSE(shredder);
        EXPECT_FALSE(dialog);
        EXPECT_EQ(router->screen()->objectName(), DetailRouter::screenName(ModuleID::diskMap));
        EXPECT_EQ(executor->queuedWork(), 0u);
        EXPECT_TRUE(fs::exists(secret));
        EXPECT_FALSE(state().lastCleanup());
    }
}

TEST_F(DialogLifetimeTest, TheThinningQuestionGoesWithItsScreenUnanswered) {
    using namespace testing_support;
    writeFile(sys("/usr/bin/codesign"), "");
    int commands = 0;
    Admin::setRunnerForTesting([&commands](const std::string&, bool) {
        ++commands;
        Admin::Result ok;
        ok.ok = true;
        return ok;
    });
    const fs::path tool = sys("/Applications") / "Tool.app/Contents/MacOS/Tool";
    const std::string fat =
        universalBinary({{kCpuX86_64, 3, 14, filledBytes(64 * 1024, 'x')}, {kCpuArm64, 0, 14, filledBytes(20000, 'x')}});
    writeFile(tool, fat);
    state().setModule(ModuleID::systemJunk);
    QPointer<JunkModuleView> junk = qobject_cast<JunkModuleView*>(router->screen());
    ASSERT_TRUE(junk);
    executor->settle();
    for (const ScanCategory& category : state().junk().categories)
        if (category.id == "universal-binaries")
            for (const ScanItem& item : category.items) state().toggle(item.id, ModuleID::systemJunk);
    ASSERT_TRUE(junk->thinButton() && junk->thinButton()->isVisibleTo(junk));
    commands = 0;  // what the scan ran
    QTest::mouseClick(junk->thinButton(), Qt::LeftButton);
    QPointer<QMessageBox> dialog = openDialog<QMessageBox>(junk);
    ASSERT_TRUE(dialog);

    switchAwayWhileOpen();
    EXPECT_FALSE(junk);
    EXPECT_FALSE(dialog);
    EXPECT_FALSE(state().thinning());
    executor->settle();
    EXPECT_EQ(commands, 0);
    EXPECT_EQ(testing_support::readFile(tool), fat);
    Admin::setRunnerForTesting(nullptr);
}

TEST_F(DialogLifetimeTest, AnAnswerGivenWhileTheScreenLivesIsTaken) {
    const fs::path secret = home() / "secret.txt";
    writeFile(secret, "shred me");
    state().setModule(ModuleID::shredder);
    auto* shredder = qobject_cast<ShredderView*>(router->screen());
    ASSERT_TRUE(shredder);
    shredder->choose();
    QPointer<QFileDialog> chooser = openDialog<QFileDialog>(shredder);
    ASSERT_TRUE(chooser);
    chooser->selectFile(QString::fromStdString(secret.string()));
    static_cast<QDialog*>(chooser.data())->accept();
    ASSERT_EQ(shredder->entries().size(), 1u);
    EXPECT_EQ(shredder->entries()[0].item.url, secret);
    executor->settle();
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_FALSE(chooser);  // it deletes itself once answered

    shredder->setSelected(shredder->entries()[0].item.id, true);
    shredder->requestShred();
    QPointer<QMessageBox> box = openDialog<QMessageBox>(shredder);
    ASSERT_TRUE(box);
    EXPECT_FALSE(shredder->running());
    for (QAbstractButton* button : box->buttons())
        if (button->text() == "Shred") button->click();
    EXPECT_TRUE(shredder->running());
    executor->settle();
    EXPECT_FALSE(fs::exists(secret));
}

TEST_F(DialogLifetimeTest, TheIgnoreListsChooserGoesWithTheSettingsUnanswered) {
    auto settings = std::make_unique<SettingsView>(*screenContext);
    settings->show();
    executor->settle();
    settings->addFolder();
    QPointer<QFileDialog> chooser = openDialog<QFileDialog>(settings.get());
    ASSERT_TRUE(chooser);
    settings.reset();
    QApplication::processEvents();
    EXPECT_FALSE(chooser);
    EXPECT_EQ(executor->queuedWork(), 0u);
}
