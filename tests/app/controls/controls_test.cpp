// The shared controls drawn offscreen: their states, what they announce and
// what they do when activated.
#include <QAccessible>
#include <QSignalSpy>
#include <QTest>

#include "app/controls/buttons.h"
#include "app/controls/checkbox.h"
#include "app/controls/empty_state_view.h"
#include "app/controls/icon_button.h"
#include "app/controls/link_button.h"
#include "app/controls/module_header.h"
#include "app/controls/painters.h"
#include "app/controls/pill.h"
#include "app/controls/progress_ring.h"
#include "app/controls/render.h"
#include "app/controls/stat_card.h"
#include "app/controls/symbol_tile.h"
#include "app/controls/text_label.h"
#include "app/controls/theme.h"
#include "support/window/window_test.h"

using testing_support::near;

namespace {

// The colour a translucent colour shows over the window colour.
QColor over(const QColor& c, const QColor& below = Theme::windowBackground()) {
    const double a = c.alphaF();
    return QColor::fromRgbF(float(c.redF() * a + below.redF() * (1 - a)), float(c.greenF() * a + below.greenF() * (1 - a)),
                            float(c.blueF() * a + below.blueF() * (1 - a)));
}

}  // namespace

class ControlsTest : public WindowTest {};

TEST_F(ControlsTest, ThemeColoursAreTheExactOnes) {
    struct Row {
        const Theme::Colour& colour;
        int r, g, b;
    } rows[] = {{Theme::accent, 51, 130, 250},  {Theme::accentSoft, 92, 166, 255}, {Theme::violet, 125, 92, 245},
                {Theme::teal, 28, 184, 173},    {Theme::amber, 250, 166, 51},      {Theme::rose, 240, 82, 112},
                {Theme::green, 56, 194, 107}};
    for (const Row& row : rows) {
        const QColor c = Theme::color(row.colour);
        EXPECT_TRUE(near(c, QColor(row.r, row.g, row.b), 1)) << row.colour.name << " " << c.name().toStdString();
        EXPECT_EQ(c.alpha(), 255);
    }
    EXPECT_NEAR(Theme::color(Theme::amber, 0.16).alphaF(), 0.16, 0.01);
}

TEST_F(ControlsTest, CheckboxAnnouncesItsValueInOrderOfPrecedence) {
    struct Row {
        bool on, mixed, disabled;
        const char* value;
    } rows[] = {
        {false, false, false, "Not selected"}, {true, false, false, "Selected"},
        {false, true, false, "Partially selected"}, {true, true, false, "Partially selected"},
        {true, false, true, "Unavailable"}, {false, true, true, "Unavailable"},
    };
    for (const Row& row : rows) {
        Checkbox box(BoolBinding::local(row.on), Theme::color(Theme::violet), row.disabled, row.mixed, "Cache.db");
        QAccessibleInterface* a = QAccessible::queryAccessibleInterface(&box);
        ASSERT_TRUE(a);
        EXPECT_EQ(a->text(QAccessible::Value).toStdString(), row.value);
        EXPECT_EQ(a->text(QAccessible::Name), "Cache.db");
        EXPECT_EQ(a->role(), QAccessible::CheckBox);
        EXPECT_EQ(a->state().selected, row.on);
    }
}

TEST_F(ControlsTest, CheckboxWritesTheNegationThroughItsBindingUnlessDisabled) {
    bool value = false;
    int writes = 0;
    BoolBinding binding{[&] { return value; }, [&](bool v) { value = v; ++writes; }};
    Checkbox box(binding, Theme::color(Theme::violet), false, false, "x");
    box.resize(16, 16);
    QTest::mouseClick(&box, Qt::LeftButton);
    EXPECT_TRUE(value);
    QTest::mouseClick(&box, Qt::LeftButton);
    EXPECT_FALSE(value);
    EXPECT_EQ(writes, 2);

    // The binding decides: a value that refuses to change stays as it is.
    bool fixed = true;
    Checkbox stubborn({[&] { return fixed; }, [&](bool) {}}, Theme::color(Theme::violet), false, true, "y");
    stubborn.resize(16, 16);
    QTest::mouseClick(&stubborn, Qt::LeftButton);
    EXPECT_TRUE(stubborn.isOn());

    Checkbox disabled(binding, Theme::color(Theme::violet), true, false, "z");
    disabled.resize(16, 16);
    QTest::mouseClick(&disabled, Qt::LeftButton);
    disabled.click();
    EXPECT_EQ(writes, 2);
}

TEST_F(ControlsTest, CheckboxDrawsItsFourLooks) {
    const QColor tint = Theme::color(Theme::violet);
    // The lightest pixel in the middle of the box (where a glyph is drawn),
    // and the fill beside it.
    auto centre = [&](bool on, bool mixed, bool disabled) {
        Checkbox box(BoolBinding::local(on), tint, disabled, mixed, "x");
        QImage img = render(box, QSize(16, 16));
        QColor lightest = pixel(img, {8, 8});
        for (double x = 5; x <= 11; x += 0.5)
            for (double y = 5; y <= 11; y += 0.5)
                if (pixel(img, {x, y}).lightness() > lightest.lightness()) lightest = pixel(img, {x, y});
        return std::pair{lightest, pixel(img, {2.5, 8})};
    };
    // Off: a faint box and no glyph, the same colour in the middle as beside it.
    auto [offMid, offSide] = centre(false, false, false);
    EXPECT_TRUE(near(offMid, offSide, 2));
    EXPECT_TRUE(near(offSide, over(Theme::primary(0.05)), 3));
    // On: the tint, with a white checkmark in the middle.
    auto [onMid, onSide] = centre(true, false, false);
    EXPECT_TRUE(near(onSide, tint, 3));
    EXPECT_GT(onMid.lightness(), onSide.lightness() + 40);
    // Mixed: the tint at 0.55 and a white minus; on and mixed: filled like on.
    auto [mixedMid, mixedSide] = centre(false, true, false);
    EXPECT_TRUE(near(mixedSide, over(Theme::color(Theme::violet, 0.55)), 3));
    EXPECT_GT(mixedMid.lightness(), mixedSide.lightness() + 30);
    auto [bothMid, bothSide] = centre(true, true, false);
    EXPECT_TRUE(near(bothSide, tint, 3));
    // Disabled: the whole box at 0.35.
    auto [disabledMid, disabledSide] = centre(true, false, true);
    EXPECT_TRUE(near(disabledSide, over(Theme::color(Theme::violet, 0.35)), 4));
}

TEST_F(ControlsTest, ProgressRingNeverDrawsNothingAndNeverMoreThanACircle) {
    struct Row {
        double progress, arc;
    } rows[] = {{-2, 0.0001}, {0, 0.0001}, {0.25, 0.25}, {1, 1}, {1.5, 1}, {std::nan(""), 0.0001}};
    for (const Row& row : rows) EXPECT_DOUBLE_EQ(Painters::ringArcFraction(row.progress), row.arc) << row.progress;

    const QColor rose = Theme::color(Theme::rose), track = Theme::primary(0.08);
    ProgressRing empty(46, 0, 6, rose, rose, track);
    QImage img = render(empty);
    const QRectF f = empty.frameRect();
    // A dot of arc at the top (round caps), the track alone on the right.
    EXPECT_TRUE(near(pixel(img, {f.center().x(), f.top() + 0.5}), rose, 40));
    EXPECT_FALSE(near(pixel(img, {f.right() - 2, f.center().y()}), rose, 40));

    ProgressRing full(46, 1.5, 6, rose, rose, track);
    img = render(full);
    for (QPointF at : {QPointF(f.right(), f.center().y()), QPointF(f.center().x(), f.bottom()),
                       QPointF(f.left(), f.center().y())})
        EXPECT_TRUE(near(pixel(img, at), rose, 40)) << at.x() << "," << at.y();
}

TEST_F(ControlsTest, SymbolTileSizesFollowItsSide) {
    EXPECT_DOUBLE_EQ(Painters::tileRadius(24), 7.2);
    EXPECT_DOUBLE_EQ(Painters::tileSymbolSize(24), 11.52);
    EXPECT_DOUBLE_EQ(Painters::tileRadius(42), 12.6);
    EXPECT_DOUBLE_EQ(Painters::tileSymbolSize(42), 20.16);
    SymbolTile tile("trash.fill", Theme::color(Theme::rose), 24);
    EXPECT_EQ(tile.size(), QSize(24, 24));
    QAccessibleInterface* a = QAccessible::queryAccessibleInterface(&tile);
    ASSERT_TRUE(a);
    EXPECT_TRUE(a->state().invisible);
}

TEST_F(ControlsTest, PillIsTintedInsideOrAtItsEdgeButNotBoth) {
    const QColor amber = Theme::color(Theme::amber);
    Pill filled("Review", amber, true, false);
    Pill outlined("Review", amber, false, false);
    QImage f = render(filled), o = render(outlined);
    const QSize s = filled.sizeHint();
    // Just inside the left end, at mid-height: the border's place.
    const QPointF edge(0.5, s.height() / 2.0), inside(s.height() / 2.0, 2.5);
    EXPECT_TRUE(near(pixel(f, inside), over(Theme::color(Theme::amber, 0.16)), 4));
    EXPECT_TRUE(near(pixel(o, inside), Theme::windowBackground(), 3));
    EXPECT_FALSE(near(pixel(o, edge), Theme::windowBackground(), 8));
    EXPECT_GT(Pill("Review", amber, false, false).sizeHint().height(),
              Pill("Review", amber, false, true).sizeHint().height());
}

TEST_F(ControlsTest, PrimaryButtonActsOnlyWhenEnabled) {
    int calls = 0;
    PrimaryButton on("Scan", "sparkles", Theme::color(Theme::accent), true, [&] { ++calls; });
    PrimaryButton off("Scan", "sparkles", Theme::color(Theme::accent), false, [&] { ++calls; });
    SecondaryButton secondary("Stop", "stop.fill", [&] { calls += 10; });
    for (QAbstractButton* b : {static_cast<QAbstractButton*>(&on), static_cast<QAbstractButton*>(&off),
                               static_cast<QAbstractButton*>(&secondary)}) {
        b->resize(b->sizeHint());
        QTest::mouseClick(b, Qt::LeftButton, {}, b->rect().center());
    }
    EXPECT_EQ(calls, 11);

    // The disabled look is the whole button at 0.45.
    QImage a = render(on), b = render(off);
    const QPointF mid(6, on.height() / 2.0);
    EXPECT_TRUE(near(pixel(b, mid), over(QColor::fromRgbF(pixel(a, mid).redF(), pixel(a, mid).greenF(),
                                                           pixel(a, mid).blueF(), 0.45f)), 6));
}

TEST_F(ControlsTest, IconButtonIsNamedForWhatItDoesAndFadesWhenItCannot) {
    int presses = 0;
    IconButton button("xmark", 11, 22, Theme::secondary(), "Close review");
    QObject::connect(&button, &QAbstractButton::clicked, [&] { ++presses; });
    EXPECT_EQ(button.sizeHint(), QSize(22, 22));
    // Its name is what it does, for assistive technology and the tooltip,
    // never the symbol's identifier; a new name replaces both.
    QAccessibleInterface* a = QAccessible::queryAccessibleInterface(&button);
    ASSERT_TRUE(a);
    EXPECT_EQ(a->role(), QAccessible::Button);
    EXPECT_EQ(a->text(QAccessible::Name), "Close review");
    EXPECT_EQ(button.toolTip(), "Close review");
    button.setName("Hide Caches");
    EXPECT_EQ(a->text(QAccessible::Name), "Hide Caches");
    EXPECT_EQ(button.toolTip(), "Hide Caches");
    // Reached with Tab like the capsule buttons, not taken by a click.
    EXPECT_EQ(button.focusPolicy(), Qt::TabFocus);

    button.resize(button.sizeHint());
    QTest::mouseClick(&button, Qt::LeftButton, {}, {2, 2});  // the whole box is hit area
    EXPECT_EQ(presses, 1);
    button.setEnabled(false);
    QTest::mouseClick(&button, Qt::LeftButton, {}, button.rect().center());
    EXPECT_EQ(presses, 1);

    // Disabled, the symbol is at 0.4 of its colour: the darkest pixel is
    // lighter than the enabled one's.
    auto darkest = [](const QImage& img) {
        int least = 255;
        for (int y = 0; y < img.height(); ++y)
            for (int x = 0; x < img.width(); ++x) least = std::min(least, QColor(img.pixel(x, y)).lightness());
        return least;
    };
    IconButton enabled("xmark", 11, 22, Theme::primary(), "x");
    const int on = darkest(render(enabled)), off = darkest(render(button));
    EXPECT_LT(on, 120);
    EXPECT_GT(off, on + 40);
    EXPECT_NEAR(IconButton::shownColor(Theme::primary(), false, false).alphaF(), 0.4 * Theme::primary().alphaF(), 0.01);
    EXPECT_NEAR(IconButton::shownColor(Theme::primary(), true, true).alphaF(), 0.6 * Theme::primary().alphaF(), 0.01);
}

TEST_F(ControlsTest, LinkButtonCutsItsTitleInTheMiddleWhenSqueezed) {
    LinkButton crumb("A rather long folder name", 11.5);
    crumb.setWeight(QFont::DemiBold);
    const QSize full = crumb.sizeHint();
    EXPECT_LT(crumb.minimumSizeHint().width(), full.width());
    // The full title fits its own size; squeezed, the ends stay and the middle goes.
    QImage wide = render(crumb, full), narrow = render(crumb, QSize(60, full.height()));
    auto inkColumns = [](const QImage& img) {
        int columns = 0;
        for (int x = 0; x < img.width(); ++x)
            for (int y = 0; y < img.height(); ++y)
                if (QColor(img.pixel(x, y)).lightness() < 200) {
                    ++columns;
                    break;
                }
        return columns;
    };
    EXPECT_GT(inkColumns(wide), inkColumns(narrow));
    EXPECT_GT(inkColumns(narrow), 0);
}

TEST_F(ControlsTest, OptionalPartsAreLeftOutWhenAbsent) {
    EmptyStateView plain("sparkles", "Nothing scanned yet", "Press Scan.", Theme::color(Theme::accent), std::nullopt);
    EXPECT_EQ(plain.actionButton(), nullptr);
    int handled = 0;
    EmptyStateView withAction("sparkles", "Nothing", "Press Scan.", Theme::color(Theme::accent),
                              EmptyStateView::Action{"Scan", [&] { ++handled; }});
    ASSERT_NE(withAction.actionButton(), nullptr);
    EXPECT_EQ(withAction.actionButton()->text(), "Scan");
    EXPECT_EQ(withAction.actionButton()->icon(), Symbol("magnifyingglass"));
    withAction.actionButton()->click();
    EXPECT_EQ(handled, 1);

    StatCard two("Trash", "0 KB", std::nullopt, Theme::color(Theme::rose), "trash.fill");
    StatCard three("Trash", "0 KB", QString("0 items"), Theme::color(Theme::rose), "trash.fill");
    render(two);
    render(three);
    EXPECT_FALSE(two.caption());
    EXPECT_EQ(three.caption(), QString("0 items"));
    EXPECT_LT(two.sizeHint().height(), three.sizeHint().height());
}

TEST_F(ControlsTest, EmptyStateKeepsItsPartsFourteenApartWithTheMessageAsTallAsItsLines) {
    const QString longMessage = "Choose an application to see its size and everything it left behind in your Library "
                                "folders, then pick what goes with it and what stays where it is.";
    struct Case {
        QString message;
        bool action;
        QSize size;
    } cases[] = {{"Press Scan.", true, QSize(700, 500)},
                 {longMessage, true, QSize(700, 500)},
                 {longMessage, false, QSize(460, 620)},
                 {longMessage, true, QSize(330, 400)}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message.toStdString() + " " + std::to_string(c.size.width()));
        std::optional<EmptyStateView::Action> action;
        if (c.action) action = EmptyStateView::Action{"Reload", [] {}};
        EmptyStateView view("shippingbox", "No applications found", c.message, Theme::color(Theme::accent), action);
        render(view, c.size);
        auto* title = view.findChild<TextLabel*>("title");
        auto* message = view.findChild<TextLabel*>("message");
        ASSERT_TRUE(title && message);
        const QRect t = title->geometry(), m = message->geometry();
        EXPECT_LE(m.width(), 400);
        const QFontMetrics fm(message->font());
        const QRect text = fm.boundingRect(QRect(0, 0, m.width(), 10000), Qt::AlignCenter | Qt::TextWordWrap, c.message);
        EXPECT_EQ(m.height(), text.height());
        EXPECT_EQ(m.top() - (t.top() + t.height()), 14);
        if (PrimaryButton* button = view.actionButton()) {
            EXPECT_EQ(button->geometry().top() - (m.top() + m.height()), 18);
        }
        // The badge is 14 above the title, and the whole column is centred.
        auto* badge = view.findChild<QWidget*>("badge");
        ASSERT_TRUE(badge);
        EXPECT_EQ(t.top() - (badge->geometry().top() + badge->height()), 14);
        const int top = badge->geometry().top();
        const int bottom = view.actionButton() ? view.actionButton()->geometry().bottom() : m.bottom();
        EXPECT_LE(std::abs(top - (view.height() - 1 - bottom)), 1);
    }
}

TEST_F(ControlsTest, ModuleHeaderShowsTheModulesTitleAndSubtitle) {
    ModuleHeader header(ModuleID::photos);
    auto* title = header.findChild<TextLabel*>("title");
    auto* subtitle = header.findChild<TextLabel*>("subtitle");
    ASSERT_TRUE(title && subtitle);
    EXPECT_EQ(title->text(), "Photos Junk");
    EXPECT_EQ(subtitle->text().toStdString(), Modules::subtitle(ModuleID::photos));
    EXPECT_EQ(header.findChild<SymbolTile*>()->symbol(), Symbol("photo.on.rectangle.angled"));
    EXPECT_EQ(header.findChild<SymbolTile*>()->side(), 42);
}

TEST_F(ControlsTest, RenderDrawsAtTwiceTheLogicalSizeAndWritesAPng) {
    ModuleHeader header(ModuleID::systemJunk);
    QImage img = Render::image(header, QSize(300, 60));
    EXPECT_EQ(img.size(), QSize(600, 120));
    EXPECT_DOUBLE_EQ(img.devicePixelRatio(), 2.0);
    // The tile's violet is at its place.
    EXPECT_TRUE(near(pixel(img, {21, 12}), Theme::color(Theme::violet), 40));

    const auto file = tmp() / "header.png";
    EXPECT_EQ(Render::png(header, file, QSize(300, 60)), QString());
    QImage back(QString::fromStdString(file.string()));
    EXPECT_EQ(back.size(), QSize(600, 120));
    EXPECT_FALSE(Render::png(header, tmp() / "no-such-folder" / "x.png", QSize(300, 60)).isEmpty());
}

