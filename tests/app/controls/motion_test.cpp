// The window's motion with the animation clock driven by hand: the spring and
// the ease-in-out themselves, the progress ring's arc, rolling figures, the
// result list's cards and the coverage list opening with the spring, the
// spinner, and widgets deleted while they move.
#include <QSignalSpy>
#include <QTest>
#include <QVBoxLayout>
#include <cmath>
#include <memory>
#include <numbers>

#include "app/controls/busy_indicator.h"
#include "app/controls/coverage_list.h"
#include "app/controls/fonts.h"
#include "app/controls/list_column.h"
#include "app/controls/motion.h"
#include "app/controls/numeric_label.h"
#include "app/controls/progress_ring.h"
#include "app/controls/results_delegate.h"
#include "app/controls/results_list.h"
#include "app/controls/results_model.h"
#include "app/controls/stat_card.h"
#include "app/controls/theme.h"
#include "support/window/window_test.h"

using testing_support::near;

namespace {

ScanItem item(std::string name, int64_t size) {
    ScanItem it;
    it.url = "/tmp/" + name;
    it.name = std::move(name);
    it.detail = "~/Library/Caches/";
    it.size = size;
    it.safety = Safety::safe;
    it.isSelected = true;
    return it;
}

ScanReport report(std::vector<int> itemCounts) {
    ScanReport r;
    for (size_t c = 0; c < itemCounts.size(); ++c) {
        ScanCategory category;
        category.id = "category-" + std::to_string(c);
        category.title = "Category " + std::to_string(c);
        category.detail = "Detail";
        for (int i = 0; i < itemCounts[c]; ++i) category.items.push_back(item("file-" + std::to_string(i), 1000 + i));
        r.categories.push_back(std::move(category));
    }
    return r;
}

}  // namespace

class MotionTest : public WindowTest {
protected:
    void SetUp() override {
        WindowTest::SetUp();
        clock = std::make_unique<Motion::ManualClock>();
    }
    void TearDown() override {
        clock.reset();
        WindowTest::TearDown();
    }
    std::unique_ptr<Motion::ManualClock> clock;
};

// ---- The curves -----------------------------------------------------------------

TEST(MotionCurves, SpringsFollowTheDampedSpringAndSettleWhereTheirEnvelopeSays) {
    struct Case {
        Motion::Spring spring;
        int settleMs;  // from the envelope exp(-d w t) / sqrt(1 - d^2), or by halving at and above 1
    };
    const Case cases[] = {
        {Motion::DisclosureSpring::spring, 311},
        {Motion::BannerSpring::spring, 495},
        {{0.5, 1.0}, 735},
        {{0.3, 1.5}, 884},
    };
    for (const Case& c : cases) {
        const Motion::Spring& s = c.spring;
        SCOPED_TRACE(testing::Message() << "response " << s.response << ", damping " << s.damping);
        EXPECT_EQ(s.position(0), 0);
        EXPECT_EQ(s.settleMs(), c.settleMs);
        // Settled means it stays within the tolerance from then on.
        for (double t = s.settleTime(); t < 4 * s.settleTime(); t += 0.001)
            ASSERT_LE(std::abs(1 - s.position(t)), Motion::kSettleTolerance + 1e-12) << "at " << t;
        // Released from rest: it leaves 0 slowly.
        EXPECT_LT(s.position(0.001), 0.01);
        double highest = 0;
        for (double t = 0; t < s.settleTime(); t += 0.0005) highest = std::max(highest, s.position(t));
        if (s.damping < 1) {
            // The first swing peaks half a damped period in, past 1 by exp(-d pi / sqrt(1 - d^2)): the
            // response is the undamped period.
            const double w = 2 * std::numbers::pi / s.response, wd = w * std::sqrt(1 - s.damping * s.damping);
            const double overshoot = std::exp(-s.damping * std::numbers::pi / std::sqrt(1 - s.damping * s.damping));
            EXPECT_NEAR(s.position(std::numbers::pi / wd), 1 + overshoot, 1e-9);
            EXPECT_NEAR(highest, 1 + overshoot, 1e-6);
        } else {
            EXPECT_LE(highest, 1.0);
        }
    }
}

TEST(MotionCurves, TheSpringCurveIsTheSpringOverItsSettleTimeAndTheEaseIsSymmetric) {
    const Motion::Curve card = Motion::DisclosureSpring::curve();
    EXPECT_EQ(card.durationMs, 311);
    for (int ms : {0, 30, 100, 155, 250, 310})
        EXPECT_NEAR(card.easing.valueForProgress(ms / 311.0), Motion::DisclosureSpring::spring.position(ms / 1000.0),
                    1e-12)
            << ms;
    EXPECT_EQ(card.easing.valueForProgress(1), 1);

    const Motion::Curve ring = Motion::ring();
    EXPECT_EQ(ring.durationMs, 450);
    EXPECT_NEAR(ring.easing.valueForProgress(0), 0, 1e-9);
    EXPECT_NEAR(ring.easing.valueForProgress(0.5), 0.5, 1e-3);
    EXPECT_NEAR(ring.easing.valueForProgress(1), 1, 1e-9);
    // Slow at both ends, the same way round.
    EXPECT_LT(ring.easing.valueForProgress(0.1), 0.05);
    EXPECT_NEAR(ring.easing.valueForProgress(0.25) + ring.easing.valueForProgress(0.75), 1, 1e-3);
    EXPECT_EQ(Motion::textChange().durationMs, 350);
}

// ---- The progress ring ------------------------------------------------------------

TEST_F(MotionTest, TheRingEasesToEachNewValueOver045Seconds) {
    ProgressRing ring(100, 0.2, 10, Theme::color(Theme::accent), Theme::color(Theme::accent), Theme::primary(0.08));
    render(ring);
    const QRectF frame = ring.frameRect();
    // A point on the arc at a share of the circle, clockwise from the top.
    auto onArc = [&](double share) {
        const double a = 2 * std::numbers::pi * share, r = frame.width() / 2;
        return QPointF(frame.center().x() + r * std::sin(a), frame.center().y() - r * std::cos(a));
    };
    const QColor accent = Theme::color(Theme::accent);

    ring.setProgress(0.8);
    EXPECT_EQ(ring.progress(), 0.8);  // what was set, at once
    clock->step(0);
    EXPECT_DOUBLE_EQ(ring.shownProgress(), 0.2);
    clock->step(225);
    EXPECT_NEAR(ring.shownProgress(), 0.5, 0.002);
    QImage half = render(ring);
    EXPECT_TRUE(near(pixel(half, onArc(0.4)), accent, 30));
    EXPECT_FALSE(near(pixel(half, onArc(0.7)), accent, 30));
    clock->step(225);
    EXPECT_DOUBLE_EQ(ring.shownProgress(), 0.8);
    EXPECT_TRUE(near(pixel(render(ring), onArc(0.7)), accent, 30));

    // A new value mid-way goes on from the arc shown, never from where the
    // last motion began.
    ring.setProgress(0.2);
    clock->step(100);
    const double shown = ring.shownProgress();
    EXPECT_LT(shown, 0.8);
    EXPECT_GT(shown, 0.2);
    ring.setProgress(0.9);
    clock->step(0);
    EXPECT_NEAR(ring.shownProgress(), shown, 1e-9);
    clock->step(450);
    EXPECT_DOUBLE_EQ(ring.shownProgress(), 0.9);
}

TEST_F(MotionTest, ARingNotShownOrWithMotionOffTakesItsValueAtOnce) {
    ProgressRing hidden(100, 0, 10, Theme::color(Theme::accent), Theme::color(Theme::accent), Theme::primary(0.08));
    hidden.setProgress(0.6);
    EXPECT_EQ(hidden.shownProgress(), 0.6);

    ProgressRing shown(100, 0, 10, Theme::color(Theme::accent), Theme::color(Theme::accent), Theme::primary(0.08));
    render(shown);
    Motion::setEnabled(false);
    shown.setProgress(0.6);
    Motion::setEnabled(true);
    EXPECT_EQ(shown.shownProgress(), 0.6);
}

// ---- Rolling figures --------------------------------------------------------------

TEST_F(MotionTest, AChangedValueRollsItsChangedCharactersUpAndKeepsTheSameOnes) {
    StatCard card(QStringLiteral("Trash"), QStringLiteral("1.2 GB"), std::nullopt, Theme::color(Theme::rose), "trash.fill");
    card.resize(260, card.sizeHint().height());
    auto* label = card.findChild<NumericLabel*>(QStringLiteral("value"));
    ASSERT_TRUE(label);
    render(card, card.size());

    card.setValue(QStringLiteral("1.5 GB"));
    EXPECT_EQ(card.value(), "1.5 GB");
    clock->step(0);
    ASSERT_TRUE(label->isRolling());
    EXPECT_EQ(label->outgoing(), "1.2 GB");
    clock->step(175);
    EXPECT_NEAR(label->rollProgress(), 0.5, 0.01);
    const QImage middle = render(*label, label->size());
    clock->step(175);
    EXPECT_FALSE(label->isRolling());
    const QImage end = render(*label, label->size());

    // The "1." both values begin with is drawn as at the end; what follows
    // is on its way (half of the old digit gone up, half of the new come up).
    const QFontMetricsF metrics(label->font());
    const int ratio = 2;
    const int prefixEnd = int(metrics.horizontalAdvance(QStringLiteral("1.")) * ratio) - 1;
    auto columns = [&](const QImage& a, const QImage& b, int from, int to) {
        for (int x = from; x < to; ++x)
            for (int y = 0; y < a.height(); ++y)
                if (a.pixel(x, y) != b.pixel(x, y)) return false;
        return true;
    };
    EXPECT_TRUE(columns(middle, end, 0, prefixEnd));
    EXPECT_FALSE(columns(middle, end, prefixEnd + 1, end.width()));
}

// ---- The result list's cards ---------------------------------------------------------

TEST_F(MotionTest, ACardOpensAndClosesWithTheSpringAndWhatIsBelowMovesWithIt) {
    ResultsList list(ModuleID::systemJunk);
    list.setReport(report({5, 2}));
    render(list, QSize(700, 600));
    ResultsModel& model = *list.resultsModel();
    ResultsDelegate& delegate = *list.resultsDelegate();
    const QModelIndex first = model.index(0, 0), second = model.index(1, 0);
    const QModelIndex row0 = model.index(0, 0, first), row2 = model.index(2, 0, first);
    // The card open and closed at once: its heights, and where its rows lie open.
    const int closed = delegate.cardHeight(first);
    const int secondTop = list.visualRect(second).top();
    list.setCategoryExpanded(0, true);
    const int open = delegate.cardHeight(first);
    const QRect band0 = list.visualRect(row0), band2 = list.visualRect(row2);
    list.setCategoryExpanded(0, false);
    ASSERT_EQ(delegate.cardHeight(first), closed);
    const Motion::Spring& spring = Motion::DisclosureSpring::spring;
    // How many pixels of a band of the list differ between two pictures by
    // more than the card's shading does (its gradient follows its height).
    auto differing = [](const QImage& a, const QImage& b, const QRect& band) {
        int n = 0;
        const QRect pixels(band.topLeft() * 2, band.size() * 2);
        for (int y = pixels.top(); y <= pixels.bottom(); ++y)
            for (int x = pixels.left(); x <= pixels.right(); ++x)
                if (!near(a.pixelColor(x, y), b.pixelColor(x, y), 8)) ++n;
        return n;
    };

    // The card's own button opens it, at once as far as what it says goes.
    QSignalSpy heights(&list, &ResultsList::contentHeightChanged);
    QTest::mouseClick(list.viewport(), Qt::LeftButton, {},
                      delegate.expandButtonRect(list.visualRect(first), first).center().toPoint());
    EXPECT_TRUE(list.isCategoryExpanded(0));
    EXPECT_TRUE(list.isCardMoving(0));
    clock->step(0);
    EXPECT_EQ(delegate.cardHeight(first), closed);

    // 40 ms in: as tall as the spring says, the next card pushed down as far;
    // the first row drawn already where it will stay, the third still past
    // the card's edge.
    clock->step(40);
    int expected = closed + int(std::lround(spring.position(0.040) * (open - closed)));
    EXPECT_GT(expected, closed);
    EXPECT_LT(expected, open);
    EXPECT_EQ(delegate.cardHeight(first), expected);
    EXPECT_EQ(list.visualRect(second).top(), secondTop + (expected - closed));
    EXPECT_NEAR(list.openFraction(0), spring.position(0.040), 1e-9);
    const QImage early = render(list, QSize(700, 600));

    clock->step(100);
    expected = closed + int(std::lround(spring.position(0.140) * (open - closed)));
    EXPECT_EQ(delegate.cardHeight(first), expected);
    EXPECT_GT(heights.count(), 2);

    // At the settle time the card is open and still: its rows are the view's own.
    clock->step(spring.settleMs() - 140);
    EXPECT_FALSE(list.isCardMoving(0));
    EXPECT_EQ(delegate.cardHeight(first), open);
    EXPECT_EQ(list.visualRect(second).top(), secondTop + (open - closed));
    EXPECT_EQ(list.visualRect(row2), band2);
    const QImage settled = render(list, QSize(700, 600));
    EXPECT_EQ(differing(early, settled, band0), 0);
    EXPECT_GT(differing(early, settled, band2), 200);

    // Closing: the view lets go of the rows at once; the card shrinks with the spring.
    list.setCategoryExpanded(0, false, true);
    EXPECT_FALSE(list.isCategoryExpanded(0));
    EXPECT_FALSE(list.visualRect(row0).isValid());
    clock->step(0);
    EXPECT_EQ(delegate.cardHeight(first), open);
    clock->step(40);
    const int closing = closed + int(std::lround((1 - spring.position(0.040)) * (open - closed)));
    EXPECT_EQ(delegate.cardHeight(first), closing);
    // Turned back mid-way, it opens again from where it is.
    list.setCategoryExpanded(0, true, true);
    clock->step(0);
    EXPECT_EQ(delegate.cardHeight(first), closing);
    clock->step(spring.settleMs());
    EXPECT_EQ(delegate.cardHeight(first), open);
    EXPECT_TRUE(list.visualRect(row0).isValid());
    clock->step(spring.settleMs());
    EXPECT_EQ(delegate.cardHeight(first), open);
}

TEST_F(MotionTest, TheDashboardsColumnFollowsACardAsItOpens) {
    auto* lead = new QWidget;
    auto* leadRows = new QVBoxLayout(lead);
    leadRows->setContentsMargins(0, 0, 0, 0);
    leadRows->addSpacing(200);
    auto* list = new ResultsList(ModuleID::smartScan);
    list->setReport(report({3, 1}));
    ListColumn column(lead, list);
    render(column, QSize(700, 900));
    const int closed = column.contentHeight();
    list->setCategoryExpanded(0, true, true);
    clock->step(0);
    clock->step(60);
    const int between = column.contentHeight();
    EXPECT_GT(between, closed);
    // The list is laid out as tall as its cards are now, below the lead.
    EXPECT_EQ(list->geometry().top(), 200);
    EXPECT_EQ(list->height(), list->contentHeight());
    clock->step(Motion::DisclosureSpring::curve().durationMs);
    EXPECT_GT(column.contentHeight(), between);
    EXPECT_EQ(list->height(), list->contentHeight());
}

TEST_F(MotionTest, ACoverageListOpensWithTheSpringItsChevronTurningWithIt) {
    std::vector<CoverageEntry> entries;
    for (int i = 0; i < 6; ++i) {
        CoverageEntry e;
        e.label = "Place " + std::to_string(i);
        e.path = "/tmp/place-" + std::to_string(i);
        e.status = CoverageEntry::Status::checked;
        entries.push_back(e);
    }
    CoverageList list(entries);
    list.resize(500, list.sizeHint().height());
    render(list, list.size());
    const int closed = list.sizeHint().height();
    QWidget& rows = *list.rows();
    EXPECT_FALSE(rows.isVisible());
    const int rowsHeight = rows.sizeHint().height();

    QTest::mouseClick(list.headerButton(), Qt::LeftButton);
    EXPECT_TRUE(list.isExpanded());
    clock->step(0);
    clock->step(50);
    const double open = Motion::DisclosureSpring::spring.position(0.050);
    EXPECT_NEAR(list.openFraction(), open, 1e-9);
    render(list, QSize(500, list.sizeHint().height()));
    EXPECT_TRUE(rows.isVisible());
    EXPECT_EQ(rows.height(), int(std::lround(open * rowsHeight)));
    EXPECT_EQ(list.sizeHint().height(), closed + rows.height());
    clock->step(Motion::DisclosureSpring::curve().durationMs);
    render(list, QSize(500, list.sizeHint().height()));
    EXPECT_EQ(rows.height(), rowsHeight);
    EXPECT_EQ(list.openFraction(), 1);

    // Closed again: gone once the spring has come back to rest.
    QTest::mouseClick(list.headerButton(), Qt::LeftButton);
    EXPECT_FALSE(list.isExpanded());
    clock->step(0);
    clock->step(100);
    render(list, QSize(500, list.sizeHint().height()));
    EXPECT_TRUE(rows.isVisible());
    EXPECT_LT(rows.height(), rowsHeight);
    clock->step(Motion::DisclosureSpring::curve().durationMs);
    EXPECT_FALSE(rows.isVisible());
    EXPECT_EQ(list.sizeHint().height(), closed);

    // Opened by its creator, it is open at once.
    CoverageList opened(entries, true);
    EXPECT_EQ(opened.openFraction(), 1);
}

TEST_F(MotionTest, TheSpinnerTurnsATwelfthEvery50MillisecondsWhileItShows) {
    BusyIndicator spinner(BusyIndicator::Size::large);
    render(spinner);
    clock->step(0);
    const int start = spinner.angle();
    clock->step(50);
    EXPECT_EQ(spinner.angle(), (start + 30) % 360);
    clock->step(600);
    EXPECT_EQ(spinner.angle(), (start + 30) % 360);
    spinner.hide();
    clock->step(100);
    EXPECT_EQ(spinner.angle(), (start + 30) % 360);
}

// Widgets deleted while they move take their motion with them: the clock
// ticks on without calling into anything that has gone (AddressSanitizer
// watches the same test).
TEST_F(MotionTest, WidgetsDeletedMidMotionEndCleanly) {
    auto ring = std::make_unique<ProgressRing>(100, 0, 10, Theme::color(Theme::accent), Theme::color(Theme::accent),
                                               Theme::primary(0.08));
    auto label = std::make_unique<NumericLabel>(QStringLiteral("10"), Fonts::text(21), Theme::primary());
    auto list = std::make_unique<ResultsList>(ModuleID::systemJunk);
    list->setReport(report({40, 3}));
    auto coverage = std::make_unique<CoverageList>(std::vector<CoverageEntry>(3));
    auto spinner = std::make_unique<BusyIndicator>();
    render(*ring);
    render(*label);
    render(*list, QSize(600, 500));
    render(*coverage, QSize(400, 200));
    render(*spinner);

    ring->setProgress(1);
    label->setValue(QStringLiteral("20"));
    list->setCategoryExpanded(0, true, true);
    list->setCategoryExpanded(1, true, true);
    coverage->setExpanded(true, true);
    clock->step(0);
    clock->step(60);
    ASSERT_TRUE(list->isCardMoving(0));
    ring.reset();
    label.reset();
    list.reset();
    coverage.reset();
    spinner.reset();
    clock->step(60);
    clock->step(1000);

    // A card of a report replaced mid-way ends where it was going.
    ResultsList replaced(ModuleID::systemJunk);
    replaced.setReport(report({4}));
    render(replaced, QSize(600, 400));
    replaced.setCategoryExpanded(0, true, true);
    clock->step(30);
    replaced.setReport(report({4}));
    EXPECT_FALSE(replaced.isCardMoving(0));
    EXPECT_TRUE(replaced.isCategoryExpanded(0));
    EXPECT_TRUE(replaced.visualRect(replaced.resultsModel()->index(3, 0, replaced.resultsModel()->index(0, 0))).isValid());
    clock->step(1000);
}
