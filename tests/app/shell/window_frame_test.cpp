// The frame management's arithmetic: the stored text form, what counts as a
// usable frame, the centred default and fitting a frame to the screen.
#include "app/shell/window_configurator.h"
#include "support/window/window_test.h"

class WindowFrameTest : public WindowTest {};

TEST_F(WindowFrameTest, StoredTextFormReadsBackAndToleratesOtherText) {
    EXPECT_EQ(WindowFrame::format(QRect(120, 80, 1200, 800)), "{{120, 80}, {1200, 800}}");
    EXPECT_EQ(WindowFrame::format(QRect(-40, -3, 1020, 680)), "{{-40, -3}, {1020, 680}}");
    struct Row {
        const char* text;
        QRect frame;
    } rows[] = {
        {"{{120, 80}, {1200, 800}}", QRect(120, 80, 1200, 800)},
        {"{{120.7,80},{1200.5,800}}", QRect(120, 80, 1200, 800)},
        {"{{-40, -3}, {1020, 680}}", QRect(-40, -3, 1020, 680)},
        {"{{1, 2}, {3}}", QRect(1, 2, 3, 0)},
        {"", QRect()},
        {"not a frame", QRect()},
        {"{{1e300, 0}, {1200, 800}}", QRect()},
    };
    for (const Row& r : rows) EXPECT_EQ(WindowFrame::parse(r.text), r.frame) << r.text;
    EXPECT_FALSE(WindowFrame::isUsable(QRect(0, 0, 200, 900)));
    EXPECT_FALSE(WindowFrame::isUsable(QRect(0, 0, 150, 900)));
    EXPECT_FALSE(WindowFrame::isUsable(QRect(0, 0, 900, 200)));
    EXPECT_TRUE(WindowFrame::isUsable(QRect(0, 0, 201, 201)));
    EXPECT_EQ(WindowFrame::describe(QRect(120, 80, 1200, 800)), "120,80 1200x800");
}

TEST_F(WindowFrameTest, DefaultIsCentredAndCappedByTheScreen) {
    EXPECT_EQ(WindowFrame::centredDefault(QRect(0, 0, 1440, 900)), QRect(120, 50, 1200, 800));
    EXPECT_EQ(WindowFrame::centredDefault(QRect(0, 0, 1100, 700)), QRect(0, 0, 1100, 700));
    EXPECT_EQ(WindowFrame::centredDefault(QRect(1440, 25, 1920, 1055)), QRect(1800, 152, 1200, 800));
}

TEST_F(WindowFrameTest, FittingKeepsTheFrameOnTheScreenWithinAPoint) {
    const QRect screen(0, 0, 1440, 900);
    struct Row {
        QRect frame;
        std::optional<QRect> fitted;
    } rows[] = {
        {QRect(120, 50, 1200, 800), std::nullopt},
        // Within a point of the edge: left alone; two points: moved.
        {QRect(241, 50, 1200, 800), std::nullopt},
        {QRect(242, 50, 1200, 800), QRect(240, 50, 1200, 800)},
        {QRect(-1, 50, 1200, 800), std::nullopt},
        {QRect(-2, 50, 1200, 800), QRect(0, 50, 1200, 800)},
        // From a larger screen: the whole visible area.
        {QRect(3000, 200, 2400, 1500), QRect(0, 0, 1440, 900)},
        // Below the minimum: grown to it.
        {QRect(100, 100, 600, 400), QRect(100, 100, 1020, 680)},
    };
    for (const Row& r : rows) EXPECT_EQ(WindowFrame::fitted(r.frame, screen), r.fitted) << WindowFrame::describe(r.frame);
    // A screen smaller than the minimum: the window fills it.
    EXPECT_EQ(WindowFrame::fitted(QRect(0, 0, 1200, 800), QRect(0, 0, 800, 600)), QRect(0, 0, 800, 600));
}

TEST_F(WindowFrameTest, TheSettingsWindowGoesOverTheMainWindowAndStaysOnTheScreen) {
    const QRect screen(0, 0, 1440, 900);
    const QSize settings(520, 428);  // 520 x 400 and a title bar
    struct Case {
        QRect over;
        QRect placed;
    } cases[] = {
        {QRect(120, 50, 1200, 800), QRect(460, 236, 520, 428)},   // centred on the main window
        {QRect(600, 500, 1200, 800), QRect(920, 472, 520, 428)},  // the main window hangs off: pulled onto the screen
        {QRect(-900, -700, 1200, 800), QRect(0, 0, 520, 428)},    // off the other way
        {screen, QRect(460, 236, 520, 428)},                       // no main window: the screen's middle
    };
    for (const Case& c : cases) {
        EXPECT_EQ(WindowFrame::centredOver(settings, c.over, screen), c.placed) << c.over.x() << "," << c.over.y();
    }
    // On a screen smaller than the window, its top left corner stays on it.
    EXPECT_EQ(WindowFrame::centredOver(settings, QRect(0, 0, 400, 300), QRect(0, 0, 400, 300)).topLeft(), QPoint(0, 0));
}

TEST_F(WindowFrameTest, OnlyTheValueOneTurnsTheDebugLinesOn) {
    EXPECT_TRUE(WindowFrame::debugFlag("1"));
    for (const char* other : {"true", "01", "", "0", "yes", " 1"}) EXPECT_FALSE(WindowFrame::debugFlag(other)) << other;
    EXPECT_FALSE(WindowFrame::debugFlag(nullptr));
}
