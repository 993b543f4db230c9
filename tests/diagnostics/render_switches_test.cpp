// The two screen renders: the summary sheet with N sample failures and the
// coverage list, written as PNGs at twice their size in points.
#include <gtest/gtest.h>

#include <QImage>

#include "app/controls/theme.h"
#include "diagnostics/render/render_switches.h"
#include "diagnostics/switch_run.h"
#include "support/window/window_test.h"

using namespace testing_support;
namespace fs = std::filesystem;

namespace {

class RenderSwitches : public WindowTest {};

// Pixels of the image that are plainly amber (the failures card's tint).
int amberPixels(const QImage& image) {
    const QColor amber = Theme::color(Theme::amber);
    int count = 0;
    for (int y = 0; y < image.height(); y += 2)
        for (int x = 0; x < image.width(); x += 2) {
            const QColor c = image.pixelColor(x, y);
            if (c.red() > 200 && c.green() > 120 && c.blue() < c.green() - 60 && std::abs(c.hue() - amber.hue()) < 12)
                ++count;
        }
    return count;
}

}  // namespace

TEST_F(RenderSwitches, SummaryGrowsWithItsFailureLinesUpToFiveAndShowsTheCardOnlyWithSome) {
    struct Rendered {
        std::string count;
        QSize size;
        int amber;
    };
    std::vector<Rendered> runs;
    for (std::string count : {"0", "5", "6", "30", "-3", "+5"}) {
        SCOPED_TRACE(count);
        const fs::path out = tmp() / ("summary" + count + ".png");
        SwitchRun run = runSwitch(Diagnostics::handleRenderSummary, {"--render-summary", out.string(), count});
        EXPECT_TRUE(run.taken);
        const QImage image(QString::fromStdString(out.string()));
        ASSERT_FALSE(image.isNull()) << run.err;
        EXPECT_EQ(run.out, "rendered " + std::to_string(image.width()) + "x" + std::to_string(image.height()) +
                               " to " + out.string() + "\n");
        EXPECT_EQ(run.err, "");
        EXPECT_EQ(image.width(), 880);
        runs.push_back({count, image.size(), amberPixels(image)});
    }
    EXPECT_LT(runs[0].size.height(), runs[1].size.height());
    EXPECT_LT(runs[1].size.height(), runs[2].size.height());
    EXPECT_EQ(runs[2].size.height(), runs[3].size.height());
    EXPECT_EQ(runs[4].size, runs[0].size);  // a negative count is none
    EXPECT_EQ(runs[5].size, runs[1].size);
    EXPECT_EQ(runs[0].amber, 0);
    EXPECT_GT(runs[1].amber, 50);
}

TEST_F(RenderSwitches, TheCountDefaultsTo30AndTheSwitchWantsItsPath) {
    using Args = std::vector<std::string>;
    struct Case {
        Args arguments;
        long long count;
    } cases[] = {
        {{"--render-summary", "a.png"}, 30},
        {{"--render-summary", "a.png", "seven"}, 30},
        {{"--render-summary", "a.png", "7"}, 7},
        {{"--render-summary", "a.png", "-12"}, 0},
        {{"--render-summary", "a.png", "+-2"}, 30},
        {{"--render-summary", "a.png", "3x"}, 30},
        {{"--render-summary", "a.png", ""}, 30},
        {{"--render-summary", "a.png", "99999999999999999999999"}, 30},
        {{"--render-summary", "a.png", "-99999999999999999999999"}, 0},
        {{"x", "--render-summary", "a.png", "4", "--render-summary", "b.png", "9"}, 4},
    };
    for (const Case& c : cases) {
        Args arguments = c.arguments;
        arguments.insert(arguments.begin(), "/usr/bin/vessiltane");
        EXPECT_EQ(Diagnostics::failureCount(arguments), c.count) << ::testing::PrintToString(c.arguments);
    }
    // The switch given last is left to the rest of the chain.
    EXPECT_FALSE(runSwitch(Diagnostics::handleRenderSummary, {"--render-summary"}).taken);
    EXPECT_FALSE(runSwitch(Diagnostics::handleRenderCoverage, {"--render-coverage"}).taken);
    EXPECT_FALSE(runSwitch(Diagnostics::handleRenderCoverage, {"--render-summary", "x.png"}).taken);
}

TEST_F(RenderSwitches, APictureThatCannotBeWrittenIsAFailureNotRendered) {
    writeFile(tmp() / "file", "in the way");
    for (auto handler : {Diagnostics::handleRenderSummary, Diagnostics::handleRenderCoverage}) {
        const std::string flag = handler == Diagnostics::handleRenderSummary ? "--render-summary" : "--render-coverage";
        const fs::path out = tmp() / "file" / "out.png";
        SwitchRun run = runSwitch(handler, {flag, out.string(), "2"});
        EXPECT_TRUE(run.taken);
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(run.err.rfind("could not write " + out.string() + ": ", 0), 0u) << run.err;
    }
    SwitchRun huge = runSwitch(Diagnostics::handleRenderSummary, {"--render-summary", "x.png", "100000000"});
    EXPECT_TRUE(huge.taken);
    EXPECT_EQ(huge.out, "");
    EXPECT_NE(huge.err.find("at most 100000"), std::string::npos);
}

TEST_F(RenderSwitches, CoverageListIsDrawnExpanded) {
    const fs::path out = tmp() / "coverage.png";
    SwitchRun run = runSwitch(Diagnostics::handleRenderCoverage, {"--render-coverage", out.string()});
    ASSERT_TRUE(run.taken);
    const QImage image(QString::fromStdString(out.string()));
    ASSERT_FALSE(image.isNull());
    EXPECT_EQ(image.width(), 1120);
    EXPECT_EQ(run.out, "rendered 1120x" + std::to_string(image.height()) + " to " + out.string() + "\n");
    // The header and six rows, each well over ten points high.
    EXPECT_GT(image.height(), 2 * (40 + 6 * 14));
    // The unreadable place is marked in amber.
    EXPECT_GT(amberPixels(image), 0);
}
