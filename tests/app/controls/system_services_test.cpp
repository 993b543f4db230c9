// The desktop's services as the window uses them: links and reveals go to the
// platform's opener through the one shell helper, quoted, off the main thread;
// a System Settings link has no pane to open off macOS; the file chooser
// takes files and folders alike under the prompt it is given.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QListView>
#include <QPushButton>
#include <QTest>
#include <QThread>
#include <algorithm>
#include <functional>
#include <optional>

#include "app/controls/file_chooser.h"
#include "app/controls/system_services.h"
#include "app/state/manual_executor.h"
#include "engine/admin.h"
#include "support/test_env.h"

namespace fs = std::filesystem;

TEST(DesktopServices, OpensLinksAndRevealsThroughTheOneShellHelper) {
    std::vector<std::string> lines;
    Admin::setRunnerForTesting([&](const std::string& line, bool) {
        lines.push_back(line);
        Admin::Result ok;
        ok.ok = true;
        return ok;
    });
    auto executor = std::make_shared<ManualExecutor>();
    auto services = SystemServices::desktop(executor);
    services->openURL("https://example.com/notes?it's=1");
    services->openURL("");
    services->openURL(SystemLinks::kFullDiskAccess);
    services->reveal("/tmp/some folder/file.txt");
    EXPECT_TRUE(lines.empty());  // nothing runs on the calling thread
    executor->settle();
    Admin::setRunnerForTesting(nullptr);
#ifdef __APPLE__
    EXPECT_EQ(lines, (std::vector<std::string>{"/usr/bin/open 'https://example.com/notes?it'\\''s=1'",
                                               std::string("/usr/bin/open '") + SystemLinks::kFullDiskAccess + "'",
                                               "/usr/bin/open -R '/tmp/some folder/file.txt'"}));
#else
    EXPECT_EQ(lines, (std::vector<std::string>{"xdg-open 'https://example.com/notes?it'\\''s=1'",
                                               "xdg-open '/tmp/some folder'"}));
#endif
    EXPECT_TRUE(SystemLinks::isSystemSettings(SystemLinks::kFullDiskAccess));
    EXPECT_FALSE(SystemLinks::isSystemSettings("https://x-apple.systempreferences:"));
}

namespace {

class FileChooserTest : public TestEnv {};

}  // namespace

namespace {

// The row of the dialog's list that shows the name, once the folder is read
// (the dialog reads it on a thread of its own).
QModelIndex rowNamed(QFileDialog& dialog, const QString& name) {
    auto* list = dialog.findChild<QListView*>(QStringLiteral("listView"));
    QElapsedTimer waited;
    waited.start();
    while (list && waited.elapsed() < 20000) {
        const QModelIndex root = list->rootIndex();
        for (int r = 0; r < list->model()->rowCount(root); ++r) {
            const QModelIndex index = list->model()->index(r, 0, root);
            if (index.data().toString() == name) return index;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(2);
    }
    return {};
}

}  // namespace

TEST_F(FileChooserTest, OpensAtHomeAndTakesFilesAndFoldersUnderThePrompt) {
    using testing_support::writeFile;
    writeFile(home() / "notes.txt", "n");
    writeFile(home() / "Projects" / "site" / "index.html", "i");
    writeFile(home() / "two words.txt", "t");
    struct Case {
        const char* typed;         // typed in the name field
        QStringList clicked;       // or clicked in the list, the control key held from the second on
        std::vector<fs::path> chosen;  // empty: the button stays disabled
    } cases[] = {
        {"notes.txt", {}, {home() / "notes.txt"}},
        {"Projects", {}, {home() / "Projects"}},
        {"missing.txt", {}, {}},
        {nullptr, {"Projects"}, {home() / "Projects"}},
        {nullptr, {"notes.txt", "Projects", "two words.txt"}, {home() / "Projects", home() / "notes.txt", home() / "two words.txt"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.typed ? c.typed : c.clicked.join(", ").toStdString());
        std::unique_ptr<QFileDialog> dialog = FileChooser::make("Add", nullptr);
        dialog->show();
        EXPECT_EQ(fs::path(dialog->directory().absolutePath().toStdString()), home());
        QPushButton* add = FileChooser::acceptButton(*dialog);
        ASSERT_TRUE(add);
        EXPECT_EQ(add->text(), "Add");
        if (c.typed) {
            auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
            ASSERT_TRUE(name);
            QTest::keyClicks(name, QString::fromUtf8(c.typed));
        }
        auto* list = dialog->findChild<QListView*>(QStringLiteral("listView"));
        for (int i = 0; i < c.clicked.size(); ++i) {
            const QModelIndex row = rowNamed(*dialog, c.clicked[i]);
            ASSERT_TRUE(row.isValid());
            QTest::mouseClick(list->viewport(), Qt::LeftButton, i == 0 ? Qt::NoModifier : Qt::ControlModifier,
                              list->visualRect(row).center());
        }
        EXPECT_EQ(add->text(), "Add");  // a folder chosen too: still the prompt, not "Open"
        EXPECT_EQ(add->isEnabled(), !c.chosen.empty());
        if (c.chosen.empty()) continue;
        QTest::mouseClick(add, Qt::LeftButton);
        EXPECT_EQ(dialog->result(), QDialog::Accepted);
        EXPECT_FALSE(dialog->isVisible());
        std::vector<fs::path> chosen = FileChooser::chosen(*dialog);
        std::sort(chosen.begin(), chosen.end());
        EXPECT_EQ(chosen, c.chosen);
    }
    // A dialog that was closed without choosing chose nothing.
    std::unique_ptr<QFileDialog> cancelled = FileChooser::make("Ignore", nullptr);
    cancelled->show();
    EXPECT_EQ(FileChooser::acceptButton(*cancelled)->text(), "Ignore");
    cancelled->reject();
    EXPECT_TRUE(FileChooser::chosen(*cancelled).empty());
}

TEST_F(FileChooserTest, QuestionsReturnAtOnceAndAnswerOnlyWhileTheirAskerLives) {
    using testing_support::writeFile;
    writeFile(home() / "notes.txt", "n");
    auto executor = std::make_shared<ManualExecutor>();
    auto services = SystemServices::desktop(executor);
    SystemServices::Confirmation ask{"Remove it?", "It goes.", "Remove", true};
    auto openDialog = [](QWidget& over) -> QDialog* {
        for (auto* dialog : over.findChildren<QDialog*>())
            if (dialog->isVisible()) return dialog;
        return nullptr;
    };
    // Each question: how the user ends it, and what the asker hears.
    struct Case {
        const char* name;
        bool confirmation;
        std::function<void(QDialog&)> end;  // null: the asker is deleted with the dialog open
        std::optional<bool> answer;         // none: nothing heard
        std::vector<fs::path> chosen;
    } cases[] = {
        {"confirmed", true, [](QDialog& d) {
             for (QAbstractButton* b : static_cast<QMessageBox&>(d).buttons())
                 if (b->text() == "Remove") b->click();
         }, true, {}},
        {"cancelled", true, [](QDialog& d) { d.reject(); }, false, {}},
        {"closed", true, [](QDialog& d) { d.close(); }, false, {}},
        {"asker gone", true, nullptr, std::nullopt, {}},
        {"chosen", false,
         [this](QDialog& d) {
             static_cast<QFileDialog&>(d).selectFile(QString::fromStdString((home() / "notes.txt").string()));
             d.accept();
         },
         true, {home() / "notes.txt"}},
        {"chooser cancelled", false, [](QDialog& d) { d.reject(); }, true, {}},
        {"chooser's asker gone", false, nullptr, std::nullopt, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto over = std::make_unique<QWidget>();
        over->show();
        int heard = 0;
        bool answer = false;
        std::vector<fs::path> chosen;
        if (c.confirmation) {
            services->confirm(ask, over.get(), [&](bool goAhead) {
                ++heard;
                answer = goAhead;
            });
        } else {
            services->chooseFilesAndFolders("Add", over.get(), [&](std::vector<fs::path> paths) {
                ++heard;
                answer = true;
                chosen = std::move(paths);
            });
        }
        QPointer<QDialog> dialog = openDialog(*over);
        ASSERT_TRUE(dialog);
        EXPECT_EQ(dialog->windowModality(), Qt::WindowModal);
        EXPECT_TRUE(dialog->testAttribute(Qt::WA_DeleteOnClose));
        EXPECT_EQ(heard, 0);
        if (c.end)
            c.end(*dialog);
        else
            over.reset();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCoreApplication::processEvents();
        EXPECT_FALSE(dialog);
        EXPECT_EQ(heard, c.answer ? 1 : 0);
        if (c.answer) {
            EXPECT_EQ(answer, *c.answer);
        }
        EXPECT_EQ(chosen, c.chosen);
    }
}
