// Journeys through the shredder and the settings window on a sample home:
// what the user drops and confirms is destroyed and nothing else; a path the
// user ignores is left out of the next scan.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QLineEdit>
#include <QMainWindow>
#include <QMimeData>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QUrl>

#include "app/controls/coverage_list.h"
#include "app/controls/tab_view.h"
#include "app/shell/content_view.h"
#include "app/shell/detail_router.h"
#include "screens/shredder_view.h"
#include "support/window/journey.h"

using namespace testing_support;
namespace fs = std::filesystem;

namespace {

class ShredderSettingsJourney : public JourneyTest {
protected:
    // Drops the paths on the widget as the desktop does.
    static void drop(QWidget* on, const std::vector<fs::path>& paths) {
        QMimeData data;
        QList<QUrl> urls;
        for (const fs::path& p : paths) urls << QUrl::fromLocalFile(QString::fromStdString(p.string()));
        data.setUrls(urls);
        const QPoint at = on->rect().center();
        QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(on, &enter);
        ASSERT_TRUE(enter.isAccepted());
        QDropEvent dropped(QPointF(at), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(on, &dropped);
    }

    // What the next file dialog the application opens showed to the user.
    struct Chooser {
        bool seen = false;
        std::filesystem::path openedAt;
        QString button;
        bool buttonEnabled = false;
    };
    // Chooses the path in the next file dialog the application opens, once
    // it shows, as a user does: types it in the name field and presses the
    // button named prompt.
    static std::shared_ptr<Chooser> chooseInNextFileDialog(const fs::path& path, const QString& prompt) {
        auto seen = std::make_shared<Chooser>();
        auto* poll = new QTimer(qApp);
        poll->setInterval(20);
        QObject::connect(poll, &QTimer::timeout, poll, [poll, path, prompt, seen] {
            for (QWidget* window : QApplication::topLevelWidgets()) {
                auto* dialog = qobject_cast<QFileDialog*>(window);
                if (!dialog || !dialog->isVisible()) continue;
                // As on a desktop, the user types once the dialog is in front
                // with its name field focused.
                auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
                if (!dialog->isActiveWindow() || !name || !name->hasFocus()) {
                    dialog->activateWindow();
                    return;
                }
                poll->stop();
                poll->deleteLater();
                seen->seen = true;
                seen->openedAt = dialog->directory().absolutePath().toStdString();
                QTest::keyClicks(name, QString::fromStdString(path.string()));
                QPushButton* accept = nullptr;
                for (auto* button : dialog->findChildren<QPushButton*>())
                    if (button->isVisible() && button->text() == prompt) accept = button;
                seen->button = accept ? accept->text() : QString();
                seen->buttonEnabled = accept && accept->isEnabled();
                if (accept && accept->isEnabled()) QTest::mouseClick(accept, Qt::LeftButton);
                else dialog->reject();
                return;
            }
        });
        poll->start();
        return seen;
    }
};

}  // namespace

TEST_F(ShredderSettingsJourney, ADroppedFileAndFolderAreShreddedAndNothingElse) {
    const fs::path file = home() / "Downloads" / "notes.txt";
    const fs::path folder = home() / "Documents" / "Projects";
    const fs::path beside = home() / "Documents" / "letter.txt";
    ASSERT_TRUE(fs::exists(file));
    ASSERT_TRUE(fs::exists(folder / "site" / "index.html"));
    ASSERT_TRUE(fs::exists(beside));

    VessiltaneApp& app = start();
    state().setModule(ModuleID::shredder);
    ASSERT_TRUE(waitForWidget("Drop files here"));
    auto* shredder = qobject_cast<ShredderView*>(app.content()->router()->screen());
    ASSERT_TRUE(shredder);
    // The folder dropped, the file chosen in the file dialog.
    drop(shredder, {folder});
    auto chooser = chooseInNextFileDialog(file, "Add");
    click("Choose Files\u2026");
    ASSERT_TRUE(waitFor([&] { return shredder->entries().size() >= 2; }));
    // Exactly what was typed: no folder on its way there.
    ASSERT_EQ(shredder->entries().size(), 2u);
    EXPECT_EQ(shredder->entries()[1].item.url, file);
    EXPECT_TRUE(chooser->seen);
    EXPECT_EQ(chooser->openedAt, home());
    EXPECT_EQ(chooser->button, "Add");
    EXPECT_TRUE(chooser->buttonEnabled);
    // Both measured off the main thread, then ticked by the user.
    ASSERT_TRUE(waitFor([&] {
        for (const auto& e : shredder->entries())
            if (!e.measured) return false;
        return true;
    }));
    for (const auto& e : shredder->entries()) {
        const QString box = QString::fromStdString(e.item.name) + ", ";
        QWidget* tick = nullptr;
        for (QWidget* w : shredder->findChildren<QWidget*>())
            if (w->isVisible() && w->accessibleName().startsWith(box)) tick = w;
        ASSERT_TRUE(tick) << e.item.name;
        click(tick->accessibleName());
    }
    answerNextMessageBox("Shred");
    click("Shred 2 items");
    ASSERT_TRUE(waitFor([&] { return state().lastCleanup().has_value(); }));
    EXPECT_EQ(state().lastCleanup()->title, "Shredder");
    EXPECT_EQ(state().lastCleanup()->removedCount, 2);
    EXPECT_TRUE(state().lastCleanup()->failures.empty());
    EXPECT_FALSE(fs::exists(file));
    EXPECT_FALSE(fs::exists(folder));
    EXPECT_TRUE(fs::exists(beside));
    EXPECT_TRUE(fs::exists(home() / "Downloads" / "Installer-2.4.dmg"));
    EXPECT_TRUE(waitForWidget("Drop files here"));
}

TEST_F(ShredderSettingsJourney, AnIgnoredFolderIsLeftOutOfTheNextScan) {
    const fs::path caches = home() / "Library" / "Caches";
    VessiltaneApp& app = start();
    state().setModule(ModuleID::systemJunk);
    state().scanSystemJunk();
    ASSERT_TRUE(waitFor([&] { return !state().progress().isRunning && state().hasReport(ModuleID::systemJunk); }));
    auto offeredUnder = [&](const fs::path& folder) {
        int n = 0;
        for (const auto& category : state().junk().categories)
            for (const auto& item : category.items)
                if (item.url.string().rfind(folder.string() + "/", 0) == 0) ++n;
        return n;
    };
    ASSERT_GT(offeredUnder(caches), 0) << "the sample home has caches to offer";

    app.showSettings();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(app.settingsWindow(), 10000));
    app.settingsWindow()->findChild<TabView*>()->setCurrentIndex(1);
    auto chooser = chooseInNextFileDialog(caches, "Ignore");
    click("Add Folder\u2026");
    ASSERT_TRUE(waitFor([&] { return state().banner() && !app.settingsWindow()->findChild<QWidget*>("nothingIgnored")->isVisible(); }));
    EXPECT_EQ(chooser->button, "Ignore");
    EXPECT_EQ(chooser->openedAt, home());
    EXPECT_EQ(state().banner()->text, "Added to the ignore list.");
    EXPECT_FALSE(state().banner()->isError);
    app.settingsWindow()->close();

    app.rescanAction()->trigger();
    EXPECT_TRUE(state().progress().isRunning);
    ASSERT_TRUE(waitFor([&] { return !state().progress().isRunning; }));
    EXPECT_EQ(offeredUnder(caches), 0);
    bool listedAsIgnored = false;
    for (const auto& entry : state().junk().coverage)
        if (entry.status == CoverageEntry::Status::ignored && entry.path.find("Library/Caches") != std::string::npos)
            listedAsIgnored = true;
    EXPECT_TRUE(listedAsIgnored);
    // Where the screen shows its coverage list, the place is listed there so.
    for (auto* list : app.mainWindow()->findChildren<CoverageList*>()) {
        if (!list->isVisible()) continue;
        bool shown = false;
        for (const auto& entry : list->entries())
            shown = shown || (entry.status == CoverageEntry::Status::ignored &&
                              entry.path.find("Library/Caches") != std::string::npos);
        EXPECT_TRUE(shown);
    }
}
