// The banner's motion with the animation clock driven by hand: in from above
// the top edge while fading in, out the same way, a replacement growing from
// the old banner's place over it, and a window closed while banners move.
#include <QAbstractButton>
#include <QTest>
#include <memory>

#include "app/controls/motion.h"
#include "app/shell/banner_stage.h"
#include "app/shell/banner_view.h"
#include "app/shell/content_view.h"
#include "support/window/shell_test.h"

class BannerMotionTest : public ShellTest {
protected:
    void SetUp() override {
        ShellTest::SetUp();
        view = std::make_unique<ContentView>(state(), services);
        render(*view, QSize(1200, 800));
        clock = std::make_unique<Motion::ManualClock>();
    }
    void TearDown() override {
        view.reset();
        clock.reset();
        ShellTest::TearDown();
    }
    const BannerStage& stage() { return view->bannerStage(); }

    std::unique_ptr<ContentView> view;
    std::unique_ptr<Motion::ManualClock> clock;
    const Motion::Spring& spring = Motion::BannerSpring::spring;
    const int settle = Motion::BannerSpring::curve().durationMs;
};

TEST_F(BannerMotionTest, ABannerComesInFromAboveTheTopEdgeFadingInAndGoesOutTheSameWay) {
    state().showBanner("Emptied the Trash.", false);
    BannerView* banner = view->bannerView();
    ASSERT_TRUE(banner);
    clock->step(0);
    const double h = banner->sizeHint().height(), w = banner->sizeHint().width();
    // Wholly above the top edge, and invisible.
    EXPECT_DOUBLE_EQ(stage().placeOf(*banner).bottom(), 0);
    EXPECT_DOUBLE_EQ(stage().opacityOf(*banner), 0);
    for (int ms : {60, 120}) {
        clock->step(60);
        const double s = spring.position(ms / 1000.0);
        EXPECT_NEAR(stage().placeOf(*banner).top(), 10 - (1 - s) * (10 + h), 1e-6) << ms;
        EXPECT_NEAR(stage().opacityOf(*banner), std::min(1.0, s), 1e-9) << ms;
        EXPECT_NEAR(banner->geometry().top(), stage().placeOf(*banner).top(), 1) << ms;
    }
    clock->step(settle - 120);
    EXPECT_FALSE(stage().isMoving());
    EXPECT_EQ(banner->geometry(), QRect(int(1200 - w) / 2, 10, int(w), int(h)));
    EXPECT_EQ(stage().opacityOf(*banner), 1);

    // Dismissed: no longer the banner at once, and it takes no more clicks,
    // but it is seen going up and out.
    QTest::mouseClick(banner->dismissButton(), Qt::LeftButton);
    EXPECT_FALSE(view->bannerView());
    ASSERT_EQ(stage().shown(), std::vector<BannerView*>{banner});
    EXPECT_TRUE(banner->testAttribute(Qt::WA_TransparentForMouseEvents));
    clock->step(0);
    clock->step(100);
    const double gone = spring.position(0.100);
    EXPECT_NEAR(stage().placeOf(*banner).top(), 10 - gone * (10 + h), 1e-6);
    EXPECT_NEAR(stage().opacityOf(*banner), std::max(0.0, 1 - gone), 1e-9);
    clock->step(settle);
    EXPECT_TRUE(stage().shown().empty());
    EXPECT_FALSE(banner->isVisible());
}

TEST_F(BannerMotionTest, AReplacementGrowsFromTheOldBannersPlaceAndFadesInOverIt) {
    state().showBanner("Done.", false);
    clock->step(0);
    clock->step(settle);
    BannerView* old = view->bannerView();
    const QRectF oldPlace = stage().placeOf(*old);

    state().showBanner("Could not revoke Full Disk Access for a rather long application name.", true);
    BannerView* replacement = view->bannerView();
    ASSERT_NE(replacement, old);
    EXPECT_EQ(replacement->text(), "Could not revoke Full Disk Access for a rather long application name.");
    EXPECT_EQ(stage().shown(), (std::vector<BannerView*>{old, replacement}));
    EXPECT_TRUE(old->testAttribute(Qt::WA_TransparentForMouseEvents));
    clock->step(0);
    EXPECT_EQ(stage().placeOf(*replacement), oldPlace);
    EXPECT_DOUBLE_EQ(stage().opacityOf(*replacement), 0);
    EXPECT_DOUBLE_EQ(stage().opacityOf(*old), 1);

    clock->step(80);
    const double s = spring.position(0.080);
    const QRectF own((1200 - replacement->sizeHint().width()) / 2, 10, replacement->sizeHint().width(),
                     replacement->sizeHint().height());
    const QRectF now = stage().placeOf(*replacement);
    EXPECT_NEAR(now.width(), oldPlace.width() + (own.width() - oldPlace.width()) * s, 1e-6);
    EXPECT_NEAR(now.left(), oldPlace.left() + (own.left() - oldPlace.left()) * s, 1e-6);
    EXPECT_NEAR(stage().opacityOf(*replacement), std::min(1.0, s), 1e-9);
    // The old one is under it, where it is.
    EXPECT_EQ(stage().placeOf(*old), now);

    clock->step(settle);
    EXPECT_EQ(stage().shown(), std::vector<BannerView*>{replacement});
    EXPECT_FALSE(old->isVisible());
    EXPECT_EQ(QRectF(replacement->geometry()), own);
    EXPECT_EQ(stage().opacityOf(*replacement), 1);
}

TEST_F(BannerMotionTest, AWindowClosedWhileBannersMoveEndsCleanly) {
    state().showBanner("One", false);
    clock->step(0);
    clock->step(settle);
    state().showBanner("Two", false);
    clock->step(50);
    state().dismissBanner();
    state().showBanner("Three", true);
    clock->step(50);
    EXPECT_EQ(stage().shown().size(), 2u);
    view.reset();
    clock->step(50);
    clock->step(1000);
}
