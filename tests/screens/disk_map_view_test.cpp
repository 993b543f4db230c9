// The disk map screen over real trees measured in the temporary home: the
// measuring states, folding, the bands' figures and colours, drilling in and
// the breadcrumb back.
#include <gtest/gtest.h>

#include <QTest>
#include <set>

#include "app/controls/buttons.h"
#include "app/controls/empty_state_view.h"
#include "app/controls/pill.h"
#include "app/controls/text_label.h"
#include "app/controls/theme.h"
#include "engine/byte_format.h"
#include "platform/locations.h"
#include "screens/disk_map_view.h"
#include "support/window/shell_test.h"

QT_BEGIN_NAMESPACE
inline void PrintTo(const QString& text, std::ostream* os) { *os << '"' << text.toStdString() << '"'; }
QT_END_NAMESPACE

using namespace testing_support;

class DiskMapViewTest : public ShellTest {
protected:
    void SetUp() override {
        ShellTest::SetUp();
        context = std::make_unique<ScreenContext>(ScreenContext{state(), services, {}, {}, {}});
    }
    void TearDown() override {
        view.reset();
        ShellTest::TearDown();
    }

    DiskMapView& open() {
        view = std::make_unique<DiskMapView>(*context);
        view->resize(1000, 900);
        view->show();
        return *view;
    }

    // The buttons of the header that are shown, by title.
    std::vector<QString> headerButtons() {
        std::vector<QString> titles;
        for (auto* b : view->findChildren<SecondaryButton*>())
            if (b->isVisibleTo(view.get())) titles.push_back(b->text());
        return titles;
    }
    void press(const QString& title) {
        for (auto* b : view->findChildren<QAbstractButton*>())
            if (b->text() == title && b->isVisibleTo(view.get())) return QTest::mouseClick(b, Qt::LeftButton);
        ADD_FAILURE() << "no button " << title.toStdString();
    }

    std::vector<NodeBand*> bands() {
        std::vector<NodeBand*> shown;
        for (auto* b : view->findChildren<NodeBand*>())
            if (b->isVisibleTo(view.get())) shown.push_back(b);
        return shown;
    }
    std::vector<QString> bandNames() {
        std::vector<QString> names;
        for (auto* b : bands()) names.push_back(b->text());
        return names;
    }
    std::vector<QAbstractButton*> crumbs() {
        std::vector<QAbstractButton*> shown;
        for (auto* b : view->findChildren<QAbstractButton*>("crumb"))
            if (b->isVisibleTo(view.get())) shown.push_back(b);
        return shown;
    }
    std::vector<QString> crumbNames() {
        std::vector<QString> names;
        for (auto* c : crumbs()) names.push_back(c->text());
        return names;
    }
    QString sizePill() {
        for (auto* p : view->findChildren<Pill*>("size"))
            if (p->isVisibleTo(view.get())) return p->text();
        return {};
    }
    bool saysNothingInside() {
        for (auto* l : view->findChildren<TextLabel*>("nothing"))
            if (l->isVisibleTo(view.get())) return l->text() == "Nothing measurable inside.";
        return false;
    }

    std::unique_ptr<ScreenContext> context;
    std::unique_ptr<DiskMapView> view;
};

TEST_F(DiskMapViewTest, MeasuringTheHomeThenWalkingDownAndBackByTheBreadcrumb) {
    // A crowded folder: eleven large files and two small ones (under 0.5 %),
    // which fold into one band.
    for (int i = 0; i < 11; ++i) allocateFile(home() / "Crowded" / ("big" + std::to_string(i) + ".bin"), (20 + i) << 20);
    allocateFile(home() / "Crowded/small-a.txt", 4096);
    allocateFile(home() / "Crowded/small-b.txt", 4096);
    allocateFile(home() / "Movies/film.mov", 400 << 20);

    open();
    EXPECT_EQ(headerButtons(), (std::vector<QString>{"Home Folder", "Whole Disk"}));
    auto* empty = view->findChild<EmptyStateView*>();
    ASSERT_TRUE(empty->isVisibleTo(view.get()));
    EXPECT_EQ(executor->queuedWork(), 0u);  // nothing is measured by itself

    // The empty state's button measures the home; it stays on screen meanwhile, with Stop above.
    QTest::mouseClick(empty->actionButton(), Qt::LeftButton);
    EXPECT_EQ(state().activeScan(), ModuleID::diskMap);
    EXPECT_EQ(headerButtons(), std::vector<QString>{"Stop"});
    EXPECT_TRUE(empty->isVisibleTo(view.get()));
    executor->settle();
    EXPECT_EQ(headerButtons(), (std::vector<QString>{"Home Folder", "Whole Disk"}));
    EXPECT_FALSE(empty->isVisibleTo(view.get()));
    EXPECT_EQ(crumbNames(), std::vector<QString>{QString::fromStdString(home().filename().string())});
    EXPECT_EQ(sizePill(), QString::fromStdString(ByteFormat::string(state().spaceRoot()->size)));
    EXPECT_EQ(bandNames(), (std::vector<QString>{"Movies", "Crowded"}));  // largest first
    EXPECT_EQ(bands()[0]->accessibleName(), "Movies");

    // Into the crowded folder: eleven bands and the folded rest, which opens onto nothing.
    QTest::mouseClick(bands()[1], Qt::LeftButton);
    EXPECT_EQ(crumbNames(), (std::vector<QString>{QString::fromStdString(home().filename().string()), "Crowded"}));
    std::vector<QString> names = bandNames();
    ASSERT_EQ(names.size(), 12u);
    EXPECT_EQ(names.front(), "big10.bin");
    EXPECT_EQ(names.back(), "2 smaller items");
    NodeBand* rest = bands().back();
    EXPECT_FALSE(NodeBand::opens(*rest->node()));
    EXPECT_FALSE(NodeBand::opens(*bands()[0]->node()));  // a file
    EXPECT_EQ(rest->node()->size, 8192);

    // A file or the folded rest can be opened too: its size, nothing inside.
    QTest::mouseClick(rest, Qt::LeftButton);
    ASSERT_EQ(crumbs().size(), 3u);
    EXPECT_EQ(sizePill(), "8 KB");
    EXPECT_TRUE(bands().empty());
    EXPECT_TRUE(saysNothingInside());

    // The last crumb changes nothing; the first goes back to the measured root.
    QTest::mouseClick(crumbs().back(), Qt::LeftButton);
    EXPECT_EQ(crumbs().size(), 3u);
    QTest::mouseClick(crumbs().front(), Qt::LeftButton);
    EXPECT_EQ(crumbs().size(), 1u);
    EXPECT_EQ(bandNames(), (std::vector<QString>{"Movies", "Crowded"}));

    // Leaving the screen keeps the map.
    view.reset();
    open();
    EXPECT_EQ(crumbs().size(), 1u);
    EXPECT_EQ(bands().size(), 2u);
}

TEST_F(DiskMapViewTest, MeasuringAgainKeepsTheMapWalkableAndStopKeepsWhatWasMeasured) {
    allocateFile(home() / "Documents/report.pdf", 1 << 20);
    // Enough entries for the engine to report progress, every name longer than 35 characters.
    for (int i = 0; i < 520; ++i)
        writeFile(home() / "Cache" / ("a-rather-long-file-name-for-the-progress-line-" + std::to_string(i)), "x");
    open();
    press("Home Folder");
    executor->settle();
    ASSERT_EQ(crumbs().size(), 1u);

    // While measuring again, the old map stays with the progress row over it,
    // which shows the engine's messages (long names cut to 31 characters).
    std::set<QString> shownMessages;
    QObject::connect(&state(), &AppState::progressChanged, view.get(), [&] {
        auto* row = view->findChild<QWidget*>("progress");
        if (row->isVisibleTo(view.get())) shownMessages.insert(view->findChild<TextLabel*>("progressMessage")->text());
    });
    press("Whole Disk");
    EXPECT_EQ(headerButtons(), std::vector<QString>{"Stop"});
    EXPECT_TRUE(view->findChild<QWidget*>("progress")->isVisibleTo(view.get()));
    EXPECT_EQ(bands().size(), 2u);
    QTest::mouseClick(bands()[0], Qt::LeftButton);  // still walkable
    EXPECT_EQ(crumbs().size(), 2u);
    executor->settle();
    EXPECT_EQ(Locations::withoutTrailingSlash(state().spaceRoot()->url.native()), root().native());  // the whole disk is the system root
    EXPECT_EQ(crumbs().size(), 1u);
    EXPECT_FALSE(view->findChild<QWidget*>("progress")->isVisibleTo(view.get()));

    press("Home Folder");
    executor->settle();
    bool cut = false;
    for (const QString& message : shownMessages)
        cut = cut || message == "Measuring a-rather-long-file-name-for-the\u2026\u2026";
    EXPECT_TRUE(cut) << [&] { std::string all; for (auto& m : shownMessages) all += m.toStdString() + "|"; return all; }();

    // Stop: the measure ends at once; what it had (here the root, measured whole) becomes the map.
    press("Home Folder");
    press("Stop");
    EXPECT_EQ(headerButtons(), (std::vector<QString>{"Home Folder", "Whole Disk"}));
    EXPECT_FALSE(view->findChild<QWidget*>("progress")->isVisibleTo(view.get()));
    executor->settle();
    ASSERT_EQ(crumbs().size(), 1u);
    EXPECT_EQ(crumbNames()[0], QString::fromStdString(home().filename().string()));
    EXPECT_TRUE(saysNothingInside());
    EXPECT_GT(state().spaceRoot()->size, 1 << 20);
}

TEST(NodeBandTest, ShareTextAndBarOfABand) {
    struct Case {
        int64_t folder, node;
        QString percent;
        double bar;  // in 400 points
    } cases[] = {
        {1000, 500, "50%", 200},
        {1000, 375, "37%", 150},
        {1000, 4, "0%", 3},  // under 1 %: a sliver all the same
        {1000, 1000, "100%", 400},
        {0, 0, "0%", 3},  // an empty folder divides by nothing
        {0, 10, "0%", 3},
    };
    for (const auto& c : cases) {
        SpaceNode folder, node;
        folder.size = c.folder;
        node.size = c.node;
        const double share = NodeBand::share(folder, node);
        EXPECT_EQ(NodeBand::percentage(share), c.percent) << c.node << "/" << c.folder;
        EXPECT_DOUBLE_EQ(NodeBand::barWidth(400, share), c.bar) << c.node << "/" << c.folder;
    }
}

TEST(NodeBandTest, TheColourFollowsTheNameAndNamesSpreadOverThePalette) {
    EXPECT_EQ(NodeBand::tint("Library"), NodeBand::tint("Library"));
    std::set<QRgb> colours;
    for (int i = 0; i < 60; ++i) colours.insert(NodeBand::tint("folder " + std::to_string(i)).rgba());
    const std::set<QRgb> palette = {Theme::color(Theme::accent).rgba(), Theme::color(Theme::violet).rgba(),
                                    Theme::color(Theme::teal).rgba(),   Theme::color(Theme::amber).rgba(),
                                    Theme::color(Theme::rose).rgba(),   Theme::color(Theme::green).rgba()};
    EXPECT_EQ(colours, palette);
}
