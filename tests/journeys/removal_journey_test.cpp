// Removing in the real application on a sample home: while a removal runs
// its header and footer count the items, nothing else of the module starts,
// Stop ends it between items, and Quit waits in view for the item under way.
#include <QAction>
#include <QMainWindow>
#include <QTest>

#include <condition_variable>
#include <mutex>

#include "app/shell/content_view.h"
#include "app/shell/detail_router.h"
#include "app/shell/footer_status.h"
#include "engine/byte_format.h"
#include "engine/clean_history.h"
#include "engine/cleaning.h"
#include "platform/file_facts.h"
#include "screens/junk_module_view.h"
#include "screens/scan_screen.h"
#include "support/window/journey.h"

namespace fs = std::filesystem;

namespace {

// Holds the removal after an item until the test lets it go on.
class Gate {
public:
    explicit Gate(size_t at) : at_(at) {
        Cleaning::setAfterItemHookForTesting([this](const Cleaning::Step& step) {
            if (step.done != at_) return;
            std::unique_lock lock(m_);
            reached_ = true;
            cv_.wait(lock, [this] { return open_; });
        });
    }
    ~Gate() {
        open();
        Cleaning::setAfterItemHookForTesting({});
    }
    bool reached() {
        std::lock_guard lock(m_);
        return reached_;
    }
    void open() {
        {
            std::lock_guard lock(m_);
            open_ = true;
        }
        cv_.notify_all();
    }

private:
    size_t at_;
    std::mutex m_;
    std::condition_variable cv_;
    bool reached_ = false;
    bool open_ = false;
};

}  // namespace

class RemovalJourney : public JourneyTest {
protected:
    // System Junk scanned, with some more old caches ticked.
    JunkModuleView* scanned(VessiltaneApp& app) {
        for (int i = 0; i < 6; ++i) {
            const fs::path cache = home() / "Library/Caches" / ("com.example.bulk" + std::to_string(i));
            testing_support::writeFile(cache / "data.bin", std::string(20000, 'c'));
            const auto old = std::chrono::system_clock::now() - std::chrono::hours(24 * 5);
            testing_support::setTimes(cache / "data.bin", old);
            testing_support::setTimes(cache, old);
        }
        state().setModule(ModuleID::systemJunk);
        auto* screen = qobject_cast<JunkModuleView*>(app.content()->router()->screen());
        EXPECT_TRUE(screen);
        if (!screen) return nullptr;
        EXPECT_TRUE(waitFor([&] { return !screen->isScanning() && !state().junk().categories.empty(); }));
        return screen;
    }

    QString removeLabel() {
        return "Remove " + QString::fromStdString(ByteFormat::compact(ScanScreen::selectedBytes(state().junk())));
    }

    // The bytes of the report's ticked items that are no longer on disk.
    std::pair<int64_t, int64_t> goneOf(const ScanReport& report) {
        int64_t count = 0, bytes = 0;
        for (const auto& category : report.categories)
            for (const auto& item : category.items)
                if (item.isSelected && !existsItself(item.url)) {
                    ++count;
                    bytes += item.size;
                }
        return {count, bytes};
    }
};

TEST_F(RemovalJourney, StopEndsTheRemovalBetweenItemsWithOneTrueRecord) {
    VessiltaneApp& app = start();
    JunkModuleView* screen = scanned(app);
    ASSERT_TRUE(screen);
    const ScanReport cleaned = state().junk();
    const int total = state().totals(ModuleID::systemJunk).selectedItems;
    ASSERT_GE(total, 6);

    Gate gate(2);
    click(removeLabel());
    ASSERT_TRUE(waitFor([&] { return gate.reached(); }));
    // The header and the footer count the items; Remove and Rescan are gone.
    const QString counting = QStringLiteral("Removing 3 of %1 items\u2026").arg(total);
    auto* status = screen->findChild<ScanStatus*>();
    ASSERT_TRUE(status);
    EXPECT_TRUE(waitFor([&] { return status->message() == counting; })) << status->message().toStdString();
    auto* footer = app.mainWindow()->findChild<FooterStatus*>();
    ASSERT_TRUE(footer);
    EXPECT_EQ(footer->showing(), FooterStatus::Shows::progress);
    EXPECT_NEAR(footer->barValue(), 2.0 / total, 1e-9);
    EXPECT_FALSE(find(removeLabel()));
    EXPECT_FALSE(find("Rescan"));
    EXPECT_TRUE(screen->isScanning());

    click("Stop");
    EXPECT_EQ(status->message(), QStringLiteral("Stopping after the item under way\u2026"));
    // Still shown as removing, and Remove still cannot start a second one.
    EXPECT_TRUE(screen->isScanning());
    EXPECT_FALSE(find(removeLabel()));
    gate.open();
    ASSERT_TRUE(waitFor([&] { return state().lastCleanup().has_value() && !state().isRemoving(); }));
    EXPECT_EQ(state().lastCleanup()->title, "System Junk \u2014 stopped");

    const auto [count, bytes] = goneOf(cleaned);
    EXPECT_EQ(count, 2);
    EXPECT_EQ(state().lastCleanup()->removedCount, count);
    EXPECT_EQ(state().lastCleanup()->reclaimed, bytes);
    const auto history = CleanHistory::recent(10);
    ASSERT_EQ(history.size(), 1u);
    EXPECT_TRUE(history[0].stopped);
    EXPECT_EQ(history[0].removedCount, count);
    EXPECT_EQ(history[0].reclaimedBytes, bytes);
    ASSERT_TRUE(waitFor([&] { return !state().progress().isRunning; }));
}

TEST_F(RemovalJourney, QuitDuringARemovalWaitsInViewForTheItemUnderWay) {
    VessiltaneApp& app = start();
    JunkModuleView* screen = scanned(app);
    ASSERT_TRUE(screen);
    const ScanReport cleaned = state().junk();

    Gate gate(1);
    click(removeLabel());
    ASSERT_TRUE(waitFor([&] { return gate.reached(); }));
    // Closing the window, then Quit: neither hides a removal that runs on.
    app.mainWindow()->close();
    EXPECT_TRUE(app.mainWindow()->isVisible());
    app.quitAction()->trigger();
    QTest::qWait(100);
    EXPECT_TRUE(app.mainWindow()->isVisible());
    EXPECT_TRUE(state().isRemoving());
    EXPECT_TRUE(CleanHistory::recent(10).empty());

    gate.open();
    ASSERT_TRUE(waitFor([&] { return !app.mainWindow()->isVisible(); }));
    EXPECT_FALSE(state().isRemoving());
    // By then the one record of what went is written.
    const auto history = CleanHistory::recent(10);
    ASSERT_EQ(history.size(), 1u);
    EXPECT_TRUE(history[0].stopped);
    EXPECT_EQ(history[0].removedCount, goneOf(cleaned).first);
    EXPECT_EQ(history[0].removedCount, 1);
}
