// The focus ring: shown around the control the keyboard reached, at the
// control's own shape, never after a click; and drawn by the lists around
// their current row.
#include <QAbstractItemView>
#include <QApplication>
#include <QCompleter>
#include <QDialog>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QVBoxLayout>

#include "app/controls/buttons.h"
#include "app/controls/checkbox.h"
#include "app/controls/focus_ring.h"
#include "app/controls/icon_button.h"
#include "app/controls/link_button.h"
#include "app/controls/results_list.h"
#include "app/controls/results_model.h"
#include "app/controls/segmented_control.h"
#include "app/controls/theme.h"
#include "app/controls/toggle_switch.h"
#include "support/window/window_test.h"

namespace {

// The window's picture, its overlay included.
QImage picture(QWidget& window) {
    QCoreApplication::processEvents();
    QImage image(window.size() * 2, QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(2);
    image.fill(Theme::windowBackground());
    window.render(&image);
    return image;
}

// The smallest rectangle (in logical pixels) holding every pixel that differs.
QRect changed(const QImage& a, const QImage& b) {
    QRect r;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x)
            if (a.pixel(x, y) != b.pixel(x, y)) r |= QRect(x / 2, y / 2, 1, 1);
    return r;
}

bool hasAccent(const QImage& img, const QRect& logical) {
    const QColor accent = Theme::color(Theme::accent);
    for (int y = logical.top() * 2; y <= logical.bottom() * 2; ++y)
        for (int x = logical.left() * 2; x <= logical.right() * 2; ++x) {
            if (x < 0 || y < 0 || x >= img.width() || y >= img.height()) continue;
            const QColor c = img.pixelColor(x, y);
            if (c.blue() > 200 && c.red() < 150 && c.green() < 190 && std::abs(c.blue() - accent.blue()) < 40) return true;
        }
    return false;
}

}  // namespace

class FocusRingTest : public WindowTest {
protected:
    void show(QWidget& window) {
        window.show();
        window.activateWindow();
        QCoreApplication::processEvents();
        ASSERT_EQ(QApplication::activeWindow(), &window);
    }
};

TEST_F(FocusRingTest, TabShowsTheRingAroundTheControlAndAClickNever) {
    QWidget window;
    auto* row = new QHBoxLayout(&window);
    row->setContentsMargins(30, 30, 30, 30);
    row->setSpacing(30);
    auto* first = new SecondaryButton("Stop", "stop.fill", {});
    auto* scan = new PrimaryButton("Scan", "sparkles", Theme::color(Theme::accent), true, {});
    auto* box = new Checkbox(BoolBinding::local(false), Theme::color(Theme::violet), false, false, "Caches");
    row->addWidget(first);
    row->addWidget(scan);
    row->addWidget(box);
    window.resize(400, 100);
    show(window);
    first->setFocus(Qt::OtherFocusReason);
    const QImage before = picture(window);
    EXPECT_FALSE(FocusRing::fromKeyboard(first));  // focus given by the program: no ring
    EXPECT_EQ(changed(before, before), QRect());

    // Tab: the ring is around the next control, and nothing else changed.
    QTest::keyClick(first, Qt::Key_Tab);
    ASSERT_TRUE(scan->hasFocus());
    EXPECT_TRUE(FocusRing::fromKeyboard(scan));
    const QImage ringed = picture(window);
    const QRect scanRect(scan->mapTo(&window, QPoint(0, 0)), scan->size());
    const QRect diff = changed(before, ringed);
    ASSERT_FALSE(diff.isEmpty());
    const int outset = int(FocusRing::kGap + FocusRing::kWidth) + 2;
    EXPECT_TRUE(scanRect.adjusted(-outset, -outset, outset, outset).contains(diff)) << diff.x() << "," << diff.y();
    EXPECT_FALSE(scanRect.adjusted(4, 4, -4, -4).contains(diff));  // outside the capsule, not on it
    EXPECT_TRUE(hasAccent(ringed, QRect(scanRect.left() + scanRect.width() / 2, scanRect.top() - outset, 1, outset)));

    // Shift+Tab goes back, and the ring with it.
    QTest::keyClick(scan, Qt::Key_Backtab, Qt::ShiftModifier);
    ASSERT_TRUE(first->hasFocus());
    const QRect firstRect(first->mapTo(&window, QPoint(0, 0)), first->size());
    EXPECT_TRUE(firstRect.adjusted(-outset, -outset, outset, outset).contains(changed(before, picture(window))));

    // A click on the checkbox focuses it without a ring: the picture is the
    // plain one with the box ticked.
    QTest::mouseClick(box, Qt::LeftButton, {}, box->rect().center());
    ASSERT_TRUE(box->hasFocus());
    EXPECT_FALSE(FocusRing::fromKeyboard(box));
    EXPECT_EQ(FocusRing::overlayOf(&window), nullptr);
    const QRect boxRect(box->mapTo(&window, QPoint(0, 0)), box->size());
    EXPECT_TRUE(boxRect.contains(changed(before, picture(window))));
}

TEST_F(FocusRingTest, EachControlGivesItsOwnShape) {
    IconButton icon("xmark", 11, 22, Theme::secondary(), "Close");
    LinkButton link("Fix");
    ToggleSwitch toggle("Daily cleanup", QFont(), ToggleSwitch::Layout::form);
    toggle.resize(300, 24);
    PrimaryButton capsule("Scan", "sparkles", Theme::color(Theme::accent), true, {});
    capsule.resize(capsule.sizeHint());
    Checkbox box(BoolBinding::local(false), Theme::color(Theme::violet), false, false, "x");
    box.resize(30, 30);
    EXPECT_EQ(FocusRing::shapeOf(&capsule).radius, capsule.height() / 2.0);
    EXPECT_EQ(FocusRing::shapeOf(&box).rect, QRectF(7, 7, 16, 16));  // the painted box, not the widget
    EXPECT_EQ(FocusRing::shapeOf(&box).radius, 5);
    // The switch's ring goes around its track at the right end, not its label.
    const QRectF track = FocusRing::shapeOf(&toggle).rect;
    EXPECT_GT(track.left(), 250);
    EXPECT_EQ(FocusRing::shapeOf(&toggle).radius, track.height() / 2);
    // A list draws its own ring.
    ResultsList list(ModuleID::systemJunk);
    EXPECT_TRUE(FocusRing::shapeOf(&list).rect.isEmpty());
    EXPECT_FALSE(FocusRing::shapeOf(&icon).rect.isEmpty());
    EXPECT_FALSE(FocusRing::shapeOf(&link).rect.isEmpty());
}

TEST_F(FocusRingTest, AListRingsItsCurrentRowOnceTheKeyboardMovesInIt) {
    ScanReport report;
    for (int c = 0; c < 2; ++c) {
        ScanCategory category;
        category.id = "c" + std::to_string(c);
        category.title = "Category " + std::to_string(c);
        for (int i = 0; i < 2; ++i) {
            ScanItem item;
            item.id = Uuid::random();
            item.name = "item" + std::to_string(i);
            item.size = 1000;
            item.safety = Safety::safe;
            category.items.push_back(item);
        }
        report.categories.push_back(category);
    }
    QWidget window;
    auto* row = new QHBoxLayout(&window);
    auto* before = new SecondaryButton("Before", "stop.fill", {});
    auto* list = new ResultsList(ModuleID::systemJunk);
    list->setReport(report);
    row->addWidget(before);
    row->addWidget(list, 1);
    window.resize(600, 400);
    show(window);

    // A click on a row: focus, no ring.
    const QRect header = list->visualRect(list->model()->index(1, 0));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, header.center() + QPoint(40, 0));
    ASSERT_TRUE(list->hasFocus());
    EXPECT_FALSE(FocusRing::fromKeyboard(list));
    const QImage clicked = picture(window);

    // Down moves to the next card's header and rings it; the picture changes
    // only within the list.
    QTest::keyClick(list, Qt::Key_Up);
    EXPECT_TRUE(FocusRing::fromKeyboard(list));
    EXPECT_EQ(list->currentIndex(), list->model()->index(0, 0));
    const QImage ringed = picture(window);
    const QRect listRect(list->mapTo(&window, QPoint(0, 0)), list->size());
    EXPECT_TRUE(listRect.contains(changed(clicked, ringed)));
    const QRect first = list->visualRect(list->model()->index(0, 0)).translated(list->viewport()->mapTo(&window, QPoint(0, 0)));
    EXPECT_TRUE(hasAccent(ringed, first));
    // Right opens the card, Left closes it.
    QTest::keyClick(list, Qt::Key_Right);
    EXPECT_TRUE(list->isCategoryExpanded(0));
    QTest::keyClick(list, Qt::Key_Left);
    EXPECT_FALSE(list->isCategoryExpanded(0));
    // Leaving the list takes its ring away.
    before->setFocus(Qt::MouseFocusReason);
    EXPECT_FALSE(FocusRing::fromKeyboard(list));
    EXPECT_FALSE(hasAccent(picture(window), first));
}

TEST_F(FocusRingTest, ArrowsChooseTheNeighbouringSegmentAndKeepTheRing) {
    QWidget window;
    auto* row = new QHBoxLayout(&window);
    auto* before = new SecondaryButton("Before", "stop.fill", {});
    auto* modes = new SegmentedControl({"Applications", "Orphaned Files", "Third"}, 0);
    row->addWidget(before);
    row->addWidget(modes);
    window.resize(500, 80);
    show(window);
    std::vector<int> chosen;
    QObject::connect(modes, &SegmentedControl::selectedChanged, [&](int i) { chosen.push_back(i); });
    before->setFocus(Qt::OtherFocusReason);
    QTest::keyClick(before, Qt::Key_Tab);
    ASSERT_TRUE(modes->segment(0)->hasFocus());
    QTest::keyClick(modes->segment(0), Qt::Key_Right);
    EXPECT_EQ(modes->selected(), 1);
    EXPECT_TRUE(FocusRing::fromKeyboard(modes->segment(1)));
    QTest::keyClick(modes->segment(1), Qt::Key_Right);
    QTest::keyClick(modes->segment(2), Qt::Key_Right);  // the last one stays
    QTest::keyClick(modes->segment(2), Qt::Key_Left);
    EXPECT_EQ(chosen, (std::vector<int>{1, 2, 1}));
    EXPECT_TRUE(modes->segment(1)->hasFocus());
    // The control is one stop of Tab, at its chosen segment, whichever it is.
    QTest::keyClick(modes->segment(1), Qt::Key_Backtab, Qt::ShiftModifier);
    ASSERT_TRUE(before->hasFocus());
    QTest::keyClick(before, Qt::Key_Tab);
    EXPECT_TRUE(modes->segment(1)->hasFocus());
    QTest::keyClick(modes->segment(1), Qt::Key_Tab);
    EXPECT_TRUE(before->hasFocus());
}

TEST_F(FocusRingTest, SpaceTogglesTheFocusedCheckboxOrSwitchAndPressesTheFocusedButton) {
    QWidget window;
    auto* row = new QHBoxLayout(&window);
    bool ticked = true;
    auto* box = new Checkbox({[&] { return ticked; }, [&](bool on) { ticked = on; }}, Theme::color(Theme::accent),
                             false, false, QStringLiteral("Select all in Caches"));
    bool lockedOn = true;
    auto* locked = new Checkbox({[&] { return lockedOn; }, [&](bool on) { lockedOn = on; }},
                                Theme::color(Theme::accent), true, false, QStringLiteral("Protected item"));
    auto* toggle = new ToggleSwitch(QStringLiteral("Include pre-releases"), QFont());
    int pressed = 0;
    auto* button = new PrimaryButton(QStringLiteral("Clean"), "trash.fill", Theme::color(Theme::violet), true,
                                     [&] { ++pressed; });
    row->addWidget(box);
    row->addWidget(locked);
    row->addWidget(toggle);
    row->addWidget(button);
    show(window);

    box->setFocus(Qt::TabFocusReason);
    QTest::keyClick(box, Qt::Key_Space);
    EXPECT_FALSE(ticked);
    QTest::keyClick(box, Qt::Key_Space);
    EXPECT_TRUE(ticked);
    // A disabled checkbox takes no focus and Space changes nothing.
    locked->setFocus(Qt::TabFocusReason);
    QTest::keyClick(locked, Qt::Key_Space);
    EXPECT_TRUE(lockedOn);
    toggle->setFocus(Qt::TabFocusReason);
    const bool was = toggle->isChecked();
    QTest::keyClick(toggle, Qt::Key_Space);
    EXPECT_NE(toggle->isChecked(), was);
    button->setFocus(Qt::TabFocusReason);
    QTest::keyClick(button, Qt::Key_Space);
    EXPECT_EQ(pressed, 1);
}

TEST_F(FocusRingTest, AWindowThatGoesWithAPopupOpenTakesItsRingAlong) {
    // The file chooser, say, closed while its name field's completions show:
    // the popup hands the focus back while the window is going.
    auto* dialog = new QDialog;
    auto* stack = new QVBoxLayout(dialog);
    auto* name = new QLineEdit;
    auto* completer = new QCompleter(QStringList{"notes.txt", "notes-old.txt", "numbers.csv"}, name);
    name->setCompleter(completer);
    stack->addWidget(new QPushButton(QStringLiteral("Before")));
    stack->addWidget(name);
    dialog->resize(300, 120);
    show(*dialog);
    QTest::keyClick(dialog->focusWidget(), Qt::Key_Tab);
    ASSERT_TRUE(name->hasFocus());
    ASSERT_TRUE(FocusRing::overlayOf(dialog));
    QTest::keyClicks(name, QStringLiteral("no"));
    ASSERT_TRUE(completer->popup()->isVisible());
    delete dialog;
    QCoreApplication::processEvents();
    SUCCEED();
}
