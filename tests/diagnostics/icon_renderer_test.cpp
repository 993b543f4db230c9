// The application icon and its iconset.
#include "diagnostics/render/icon_renderer.h"

#include <gtest/gtest.h>

#include <QImage>

#include "diagnostics/render/app_icon_artwork.h"
#include "support/test_env.h"
#include "switch_run.h"

using namespace testing_support;
namespace fs = std::filesystem;

namespace {

QImage load(const fs::path& file) { return QImage(QString::fromStdString(file.native())); }

SwitchRun iconSwitch(const std::vector<std::string>& arguments) {
    return runSwitch(IconRenderer::handleCommandLineIfRequested, arguments);
}

}  // namespace

class IconRendererTest : public TestEnv {};

TEST_F(IconRendererTest, WritesTheTenFilesOfTheIconset) {
    const fs::path out = tmp() / "out" / "Vessiltane.iconset";
    SwitchRun run = iconSwitch({"--render-icon", out.native(), "--render-icon", "elsewhere"});
    EXPECT_TRUE(run.taken);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, "icon: wrote iconset to " + out.native() + "\n");
    EXPECT_FALSE(fs::exists("elsewhere"));

    const std::pair<std::string, int> expected[] = {
        {"icon_16x16.png", 16},       {"icon_16x16@2x.png", 32},     {"icon_32x32.png", 32},
        {"icon_32x32@2x.png", 64},    {"icon_128x128.png", 128},     {"icon_128x128@2x.png", 256},
        {"icon_256x256.png", 256},    {"icon_256x256@2x.png", 512},  {"icon_512x512.png", 512},
        {"icon_512x512@2x.png", 1024},
    };
    EXPECT_EQ(std::distance(fs::directory_iterator(out), fs::directory_iterator()), 10);
    for (const auto& [name, pixels] : expected) {
        SCOPED_TRACE(name);
        QImage image = load(out / name);
        ASSERT_FALSE(image.isNull());
        EXPECT_EQ(image.size(), QSize(pixels, pixels));
        EXPECT_TRUE(image.hasAlphaChannel());
        // Outside the rounded tile the icon is transparent; its middle is opaque.
        EXPECT_EQ(qAlpha(image.pixel(0, 0)), 0);
        EXPECT_EQ(qAlpha(image.pixel(pixels - 1, pixels - 1)), 0);
        EXPECT_EQ(qAlpha(image.pixel(pixels / 2, pixels / 2)), 255);
    }
    // Files of the same pixel size are the same picture.
    for (auto [a, b] : {std::pair{"icon_16x16@2x.png", "icon_32x32.png"},
                        std::pair{"icon_128x128@2x.png", "icon_256x256.png"},
                        std::pair{"icon_256x256@2x.png", "icon_512x512.png"}}) {
        SCOPED_TRACE(std::string(a) + " and " + b);
        EXPECT_EQ(load(out / a), load(out / b));
    }
}

TEST_F(IconRendererTest, ArtworkFollowsItsGeometry) {
    const QImage icon = AppIconArtwork::render();
    ASSERT_EQ(icon.size(), QSize(1024, 1024));
    EXPECT_EQ(icon.format(), QImage::Format_ARGB32_Premultiplied);
    auto alpha = [&](int x, int y) { return qAlpha(icon.pixel(x, y)); };
    auto color = [&](int x, int y) { return QColor(icon.pixel(x, y)); };

    // The tile: inset 100 on every side, its corners cut away by the rounding,
    // its edges straight in the middle.
    EXPECT_EQ(alpha(99, 512), 0);
    EXPECT_EQ(alpha(101, 512), 255);
    EXPECT_EQ(alpha(512, 99), 0);
    EXPECT_EQ(alpha(922, 512), 255);
    EXPECT_EQ(alpha(512, 925), 0);
    EXPECT_EQ(alpha(110, 110), 0);
    EXPECT_EQ(alpha(160, 160), 255);
    // The tile's gradient runs from light blue at the top left to violet at
    // the bottom right through its middle stop, where x + y = 1024 (below
    // the gloss, beside the computer).
    QColor middle = color(300, 724);
    EXPECT_NEAR(middle.red(), 0.29 * 255, 2);
    EXPECT_NEAR(middle.green(), 0.45 * 255, 2);
    EXPECT_NEAR(middle.blue(), 0.99 * 255, 2);
    EXPECT_GT(color(200, 200).green(), color(820, 820).green());

    // The big sparkle reaches from y 200 to 480 and from x 602 to 882 (its
    // left point lies on the computer's case).
    for (auto [x, y] : {std::pair{742, 204}, {742, 476}, {606, 340}, {878, 340}, {742, 340}})
        EXPECT_GT(color(x, y).lightness(), 225) << x << "," << y;
    for (auto [x, y] : {std::pair{742, 195}, {742, 486}, {888, 340}, {700, 240}})
        EXPECT_LT(color(x, y).lightness(), 200) << x << "," << y;

    // The computer's case is near white; its screen blue-violet; below the
    // case lies its shadow, darker than the tile beside it.
    EXPECT_GT(color(360, 700).lightness(), 225);
    QColor screen = color(512, 500);
    EXPECT_GT(screen.blue(), screen.red());
    EXPECT_GT(screen.blue(), screen.green());
    EXPECT_LT(color(512, 744).lightness(), color(512, 790).lightness());
}

TEST_F(IconRendererTest, SwitchWithoutAFolderOrWithAFileInItsPlace) {
    EXPECT_FALSE(iconSwitch({}).taken);
    EXPECT_FALSE(iconSwitch({"--render-icon"}).taken);
    EXPECT_FALSE(iconSwitch({"--render-icons", "x"}).taken);

    const fs::path file = tmp() / "taken";
    writeFile(file, "a file");
    SwitchRun run = iconSwitch({"--render-icon", file.native()});
    EXPECT_TRUE(run.taken);
    EXPECT_EQ(run.err.rfind("icon: ", 0), 0u);
    EXPECT_EQ(run.err.find("wrote"), std::string::npos);
    EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1);
    EXPECT_EQ(readFile(file), "a file");
}
