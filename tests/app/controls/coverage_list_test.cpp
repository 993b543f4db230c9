// The coverage card: its header's counts and the status line of each place.
#include <QTest>

#include "app/controls/coverage_list.h"
#include "support/window/window_test.h"

namespace {

CoverageEntry entry(CoverageEntry::Status status, int items = 0, std::string label = "User Caches") {
    return {"c|" + label, label, "/x/" + label, status, items};
}

using S = CoverageEntry::Status;

}  // namespace

class CoverageListTest : public WindowTest {};

TEST_F(CoverageListTest, HeaderCountsCheckedAndUnreadablePlaces) {
    struct Row {
        std::vector<CoverageEntry> entries;
        const char* checked;
        const char* unreadable;
    } rows[] = {
        {{}, "Checked 0 of 0 locations", ""},
        {{entry(S::checked)}, "Checked 1 of 1 location", ""},
        {{entry(S::unreadable)}, "Checked 0 of 1 location", "\u00B7 1 unreadable"},
        {{entry(S::checked, 3), entry(S::missing), entry(S::unreadable), entry(S::ignored), entry(S::unreadable)},
         "Checked 1 of 5 locations", "\u00B7 2 unreadable"},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(CoverageText::checked(row.entries).toStdString(), row.checked);
        EXPECT_EQ(CoverageText::unreadable(row.entries).toStdString(), row.unreadable);
    }
}

TEST_F(CoverageListTest, EachStatusHasItsLine) {
    EXPECT_EQ(CoverageText::status(entry(S::checked, 0)).toStdString(), "checked \u00B7 0");
    EXPECT_EQ(CoverageText::status(entry(S::checked, 12)).toStdString(), "checked \u00B7 12");
    EXPECT_EQ(CoverageText::status(entry(S::missing)), "not present");
    EXPECT_EQ(CoverageText::status(entry(S::unreadable)), "cannot read");
    EXPECT_EQ(CoverageText::status(entry(S::ignored)), "ignored");
}

TEST_F(CoverageListTest, HeaderOpensAndClosesTheList) {
    CoverageList list({entry(S::checked, 2, "A"), entry(S::missing, 0, "B"), entry(S::unreadable, 0, "C")});
    EXPECT_FALSE(list.isExpanded());
    const int closed = render(list, QSize(400, 0).expandedTo(list.sizeHint())).height();
    QTest::mouseClick(list.headerButton(), Qt::LeftButton, {}, list.headerButton()->rect().center());
    EXPECT_TRUE(list.isExpanded());
    const int open = render(list, QSize(400, list.sizeHint().height())).height();
    EXPECT_GT(open, closed);
    QTest::mouseClick(list.headerButton(), Qt::LeftButton, {}, list.headerButton()->rect().center());
    EXPECT_FALSE(list.isExpanded());
    EXPECT_EQ(list.headerButton()->accessibleName(), "Checked 1 of 3 locations");
}
