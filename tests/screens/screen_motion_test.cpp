// The screens' motion with the animation clock driven by hand: an orphan
// card's file list opening and closing with the spring, its chevron turning
// with it, and the dashboard's headline, figures and ring moving to what a
// finished Smart Scan found.
#include <QTest>
#include <cmath>
#include <memory>

#include "app/controls/icon_button.h"
#include "app/controls/motion.h"
#include "app/controls/numeric_label.h"
#include "app/controls/progress_ring.h"
#include "app/controls/stat_card.h"
#include "screen_test.h"
#include "screens/dashboard_view.h"
#include "screens/orphans_pane.h"

using namespace testing_support;

class ScreenMotionTest : public ScreenTest {
protected:
    void SetUp() override {
        ScreenTest::SetUp();
        clock = std::make_unique<Motion::ManualClock>();
    }
    void TearDown() override {
        clock.reset();
        ScreenTest::TearDown();
    }
    std::unique_ptr<Motion::ManualClock> clock;
};

TEST_F(ScreenMotionTest, AnOrphanCardsFilesOpenAndCloseWithTheSpringAndTheChevronTurns) {
    ScanCategory category;
    category.id = "orphans-support";
    category.title = "Leftovers in Application Support";
    category.detail = "~/Library/Application Support";
    for (int i = 0; i < 4; ++i) {
        ScanItem item;
        item.name = "com.gone.tool-" + std::to_string(i);
        item.url = "/tmp/" + item.name;
        item.size = 4096;
        category.items.push_back(item);
    }
    OrphanCategoryCard card(state(), category);
    card.resize(800, card.sizeHint().height());
    render(card, card.size());
    const int closed = card.sizeHint().height();
    EXPECT_EQ(card.disclosure()->rotation(), -90);
    const Motion::Spring& spring = Motion::DisclosureSpring::spring;

    QTest::mouseClick(card.disclosure(), Qt::LeftButton);
    EXPECT_TRUE(card.isExpanded());
    EXPECT_EQ(card.itemBoxes().size(), 4u);
    auto* rows = card.findChild<QWidget*>(QStringLiteral("rows"));
    ASSERT_TRUE(rows);
    const int full = rows->sizeHint().height();
    clock->step(0);
    EXPECT_EQ(card.disclosure()->rotation(), -90);
    EXPECT_EQ(card.sizeHint().height(), closed);
    clock->step(60);
    const double s = spring.position(0.060);
    EXPECT_NEAR(card.disclosure()->rotation(), -90 + 90 * s, 1e-9);
    EXPECT_EQ(card.sizeHint().height(), closed + int(std::lround(s * full)));
    clock->step(Motion::DisclosureSpring::curve().durationMs);
    EXPECT_EQ(card.disclosure()->rotation(), 0);
    EXPECT_EQ(card.sizeHint().height(), closed + full);

    // Closing keeps the rows while they still show, and lets them go after.
    QTest::mouseClick(card.disclosure(), Qt::LeftButton);
    EXPECT_FALSE(card.isExpanded());
    EXPECT_EQ(card.disclosure()->accessibleName(), "Show files");
    clock->step(0);
    clock->step(60);
    EXPECT_EQ(card.itemBoxes().size(), 4u);
    EXPECT_NEAR(card.disclosure()->rotation(), -90 * spring.position(0.060), 1e-9);
    EXPECT_EQ(card.sizeHint().height(), closed + int(std::lround((1 - s) * full)));
    clock->step(Motion::DisclosureSpring::curve().durationMs);
    EXPECT_TRUE(card.itemBoxes().empty());
    EXPECT_EQ(card.sizeHint().height(), closed);
    EXPECT_EQ(card.disclosure()->rotation(), -90);
}

TEST_F(ScreenMotionTest, TheDashboardsHeadlineFiguresAndRingMoveToWhatTheScanFound) {
    allocateFile(home() / "Library/Caches/com.example.editor/cache.db", 64 * 1024);
    allocateFile(home() / ".Trash/old-draft.txt", 4096);
    DashboardView view(context());
    render(view, QSize(1000, 760));
    auto* headline = view.findChild<NumericLabel*>(QStringLiteral("headline"));
    ASSERT_TRUE(headline);
    const QString before = view.headlineText();
    const double ringBefore = view.ring()->shownProgress();

    state().smartScanAll();
    settle();
    ASSERT_NE(view.headlineText(), before);
    clock->step(0);
    // The new headline rolls in over the old one.
    EXPECT_TRUE(headline->isRolling());
    EXPECT_EQ(headline->outgoing(), before);
    EXPECT_DOUBLE_EQ(view.ring()->shownProgress(), ringBefore);
    clock->step(350);
    EXPECT_FALSE(headline->isRolling());
    clock->step(100);
    EXPECT_DOUBLE_EQ(view.ring()->shownProgress(), view.ring()->progress());

    // The figures came in with their row, as they were; a later scan that
    // finds more in the Trash rolls the Trash figure to it.
    StatCard* trash = view.stats()[1];
    auto* figure = trash->findChild<NumericLabel*>(QStringLiteral("value"));
    ASSERT_TRUE(figure);
    EXPECT_FALSE(figure->isRolling());
    const QString found = trash->value();
    allocateFile(home() / ".Trash/older-draft.txt", 256 * 1024);
    state().smartScanAll();
    settle();
    clock->step(0);
    ASSERT_NE(trash->value(), found);
    EXPECT_TRUE(figure->isRolling());
    EXPECT_EQ(figure->outgoing(), found);
    clock->step(350);
    EXPECT_FALSE(figure->isRolling());
}
