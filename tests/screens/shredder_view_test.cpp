// The shredder's screen: what is gathered, what the confirmation says, what
// is destroyed (only what was ticked and confirmed) and what the summary says.
#include <gtest/gtest.h>

#include <QMimeData>
#include <QTest>
#include <QUrl>

#include "app/controls/buttons.h"
#include "app/controls/checkbox.h"
#include "app/controls/text_label.h"
#include "engine/byte_format.h"
#include "engine/fs.h"
#include "engine/ignores.h"
#include "screens/shredder_view.h"
#include "screen_test.h"

using namespace testing_support;
namespace fs = std::filesystem;

namespace {

class ShredderViewTest : public ScreenTest {
protected:
    void SetUp() override {
        ScreenTest::SetUp();
        view = std::make_unique<ShredderView>(context());
        view->resize(1000, 760);
    }
    void TearDown() override {
        view.reset();
        ScreenTest::TearDown();
    }

    // Drops the URLs on the screen as the desktop would.
    void drop(const QList<QUrl>& urls) {
        QMimeData data;
        data.setUrls(urls);
        QDragEnterEvent enter(QPoint(500, 400), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(view.get(), &enter);
        EXPECT_TRUE(enter.isAccepted());
        QDropEvent dropped(QPointF(500, 400), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(view.get(), &dropped);
        EXPECT_TRUE(dropped.isAccepted());
    }

    void tick(const std::string& name) {
        for (const auto& e : view->entries())
            if (e.item.name == name) return view->setSelected(e.item.id, true);
        ADD_FAILURE() << name << " is not listed";
    }

    std::vector<std::string> listed() const {
        std::vector<std::string> names;
        for (const auto& e : view->entries()) names.push_back(e.item.name);
        return names;
    }

    std::unique_ptr<ShredderView> view;
};

QUrl fileUrl(const fs::path& path) { return QUrl::fromLocalFile(QString::fromStdString(path.string())); }

}  // namespace

TEST_F(ShredderViewTest, GathersDroppedAndChosenEntriesOnceAndMeasuresThemInTheBackground) {
    const fs::path file = home() / "Documents" / "secret.txt";
    const fs::path folder = home() / "Documents" / "old project";
    writeFile(file, std::string(5000, 'x'));
    writeFile(folder / "a.bin", std::string(9000, 'a'));
    writeFile(folder / "deep" / "b.bin", std::string(20000, 'b'));

    EXPECT_EQ(view->shredButton(), nullptr);
    // A drop of several things at once, one of them no file at all.
    drop({fileUrl(file), QUrl("https://example.com/page"), fileUrl(folder)});
    services.chosen = {file, folder / "deep" / ".."};  // the same places again, written otherwise
    view->choose();
    EXPECT_EQ(services.choosePrompts, std::vector<std::string>{"Add"});
    EXPECT_EQ(listed(), (std::vector<std::string>{"secret.txt", "old project"}));

    // Nothing is measured on the main thread: the sizes come in afterwards.
    for (const auto& e : view->entries()) {
        EXPECT_FALSE(e.measured);
        EXPECT_FALSE(e.item.isSelected);
        EXPECT_EQ(e.item.safety, Safety::review);
    }
    EXPECT_EQ(executor->queuedWork(), 2u);
    executor->settle();
    FS::SeenSet seen1, seen2;
    ASSERT_EQ(view->entries().size(), 2u);
    EXPECT_TRUE(view->entries()[0].measured);
    EXPECT_EQ(view->entries()[0].item.size, FS::size(file, seen1));
    EXPECT_EQ(view->entries()[1].item.size, FS::size(folder, seen2));
    EXPECT_GE(view->entries()[1].item.size, 29000);
    EXPECT_EQ(view->entries()[1].item.detail, "~/Documents/old project");

    // Nothing ticked yet: the button shreds nothing and cannot be pressed.
    ASSERT_NE(view->shredButton(), nullptr);
    EXPECT_EQ(view->shredButton()->text(), "Shred 0 items");
    EXPECT_FALSE(view->shredButton()->isEnabled());
    EXPECT_EQ(ShredderView::shredTitle(1), "Shred 1 item");
    // The rows' checkboxes say what they are.
    QStringList labels;
    for (auto* box : view->findChildren<Checkbox*>()) labels << box->accessibleName();
    const QString expected =
        QStringLiteral("secret.txt, ") + QString::fromStdString(ByteFormat::string(view->entries()[0].item.size));
    EXPECT_TRUE(labels.contains(expected)) << labels.join(" | ").toStdString();
}

TEST_F(ShredderViewTest, ShredsOnlyTheTickedEntriesTheConfirmationNamed) {
    const fs::path a = home() / "a.txt", b = home() / "folder b", c = home() / "c.txt";
    const fs::path beside = home() / "beside.txt";
    writeFile(a, std::string(4096, 'a'));
    writeFile(b / "inner.txt", std::string(8192, 'b'));
    writeFile(c, "keep me");
    writeFile(beside, "not chosen");
    view->append({a, b, c});
    executor->settle();
    // The button counts what a press would shred: the ticked entries.
    tick("a.txt");
    EXPECT_EQ(view->shredButton()->text(), "Shred 1 item");
    EXPECT_TRUE(view->shredButton()->isEnabled());
    tick("folder b");
    EXPECT_EQ(view->shredButton()->text(), "Shred 2 items");

    // Cancelled: nothing happens.
    services.answers = {false};
    QTest::mouseClick(view->shredButton(), Qt::LeftButton);
    executor->settle();
    EXPECT_TRUE(fs::exists(a));
    EXPECT_FALSE(state().lastCleanup());
    ASSERT_EQ(services.confirmations.size(), 1u);
    const auto& asked = services.confirmations[0];
    EXPECT_EQ(asked.title, "Shred 2 item(s)?");
    EXPECT_EQ(asked.confirmButton, "Shred");
    EXPECT_TRUE(asked.destructive);
    EXPECT_EQ(asked.message.rfind("Contents will be overwritten before deletion. This cannot be undone.", 0), 0u);
    EXPECT_NE(asked.message.find("a.txt"), std::string::npos);
    EXPECT_NE(asked.message.find("folder b"), std::string::npos);
    EXPECT_EQ(asked.message.find("c.txt"), std::string::npos);

    // Confirmed: the shred runs off the main thread with its progress shown.
    services.answers = {true};
    QTest::mouseClick(view->shredButton(), Qt::LeftButton);
    EXPECT_TRUE(view->running());
    EXPECT_FALSE(view->shredButton()->isEnabled());
    EXPECT_TRUE(fs::exists(a));
    executor->settle();
    EXPECT_FALSE(view->running());
    EXPECT_FALSE(fs::exists(a));
    EXPECT_FALSE(fs::exists(b));
    EXPECT_EQ(readFile(c), "keep me");
    EXPECT_EQ(readFile(beside), "not chosen");
    EXPECT_EQ(listed(), std::vector<std::string>{"c.txt"});
    ASSERT_TRUE(state().lastCleanup());
    const CleanupSummary& summary = *state().lastCleanup();
    EXPECT_EQ(summary.title, "Shredder");
    EXPECT_EQ(summary.removedCount, 2);
    EXPECT_GE(summary.reclaimed, 4096 + 8192);
    EXPECT_TRUE(summary.failures.empty());
    EXPECT_EQ(summary.trashedBytes, 0);
    EXPECT_FALSE(summary.measuredReclaimed);
    // c.txt stays listed, unticked.
    EXPECT_EQ(view->shredButton()->text(), "Shred 0 items");
    EXPECT_FALSE(view->shredButton()->isEnabled());
}

TEST_F(ShredderViewTest, NothingTickedAsksNothingAndShredsNothing) {
    const fs::path a = home() / "a.txt";
    writeFile(a, "x");
    view->append({a});
    executor->settle();
    EXPECT_FALSE(view->shredButton()->isEnabled());
    services.answers = {true};
    QTest::mouseClick(view->shredButton(), Qt::LeftButton);
    EXPECT_FALSE(state().banner());  // a disabled button does nothing
    // Asked all the same (by the keyboard's default button, say), it refuses.
    view->requestShred();
    executor->settle();
    EXPECT_TRUE(services.confirmations.empty());
    ASSERT_TRUE(state().banner());
    EXPECT_EQ(state().banner()->text, "Nothing is selected.");
    EXPECT_TRUE(state().banner()->isError);
    EXPECT_TRUE(fs::exists(a));
    EXPECT_EQ(listed(), std::vector<std::string>{"a.txt"});
}

TEST_F(ShredderViewTest, AnEntryThatCannotBeShreddedStaysTickedAndIsReported) {
    const fs::path kept = home() / "kept.txt", gone = home() / "gone.txt";
    writeFile(kept, "ignored");
    writeFile(gone, "shred me");
    ASSERT_EQ(Ignores::add(kept.string()), Ignores::Edit::changed);
    view->append({kept, gone});
    executor->settle();
    tick("kept.txt");
    tick("gone.txt");
    services.answers = {true};
    view->requestShred();
    executor->settle();
    EXPECT_EQ(readFile(kept), "ignored");
    EXPECT_FALSE(fs::exists(gone));
    ASSERT_EQ(view->entries().size(), 1u);
    EXPECT_EQ(view->entries()[0].item.name, "kept.txt");
    EXPECT_TRUE(view->entries()[0].item.isSelected);
    ASSERT_TRUE(state().lastCleanup());
    EXPECT_EQ(state().lastCleanup()->removedCount, 1);
    ASSERT_EQ(state().lastCleanup()->failures.size(), 1u);
    EXPECT_EQ(state().lastCleanup()->failures[0].rfind(kept.string() + ": ", 0), 0u);
}

TEST_F(ShredderViewTest, LeavingTheScreenWhileItShredsStillFinishesAndReports) {
    const fs::path a = home() / "a.txt";
    writeFile(a, std::string(4096, 'a'));
    const fs::path big = home() / "big";
    writeFile(big / "x.bin", "x");
    view->append({a, big});
    tick("a.txt");
    services.answers = {true};
    view->requestShred();
    // The screen goes (another module is chosen) before the work and the
    // measurements run.
    view.reset();
    executor->settle();
    EXPECT_FALSE(fs::exists(a));
    EXPECT_TRUE(fs::exists(big / "x.bin"));
    ASSERT_TRUE(state().lastCleanup());
    EXPECT_EQ(state().lastCleanup()->removedCount, 1);
}

TEST_F(ShredderViewTest, WhatIsShreddedLeavesTheReportsOfOtherScreens) {
    // A cache folder that System Junk lists, shredded from here.
    const fs::path cache = home() / "Library/Caches/com.example.editor";
    writeFile(cache / "cache.db", std::string(8192, 'c'));
    testing_support::setTimes(cache / "cache.db", std::chrono::system_clock::now() - std::chrono::hours(72));
    testing_support::setTimes(cache, std::chrono::system_clock::now() - std::chrono::hours(72));
    state().scanSystemJunk();
    executor->settle();
    ASSERT_EQ(state().junk().itemCount(), 1);

    view->append({cache});
    executor->settle();
    tick("com.example.editor");
    services.answers = {true};
    QTest::mouseClick(view->shredButton(), Qt::LeftButton);
    executor->settle();
    EXPECT_FALSE(fs::exists(cache));
    // Its one item gone, System Junk's report shows its empty state.
    EXPECT_TRUE(state().junk().categories.empty());
}
