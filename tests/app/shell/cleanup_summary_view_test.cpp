// The cleanup summary sheet: its figures, its notes, the failures it lists
// and counts, and its dismissal.
#include <QLabel>
#include <QTest>

#include "app/controls/buttons.h"
#include "app/controls/text_label.h"
#include "app/shell/cleanup_summary_view.h"
#include "support/window/window_test.h"

namespace {

std::vector<std::string> failures(int n) {
    std::vector<std::string> out;
    for (int i = 0; i < n; ++i) out.push_back("/Library/Caches/item" + std::to_string(i) + ": Needs administrator access");
    return out;
}

QStringList texts(const QWidget& w, const char* name) {
    QStringList out;
    for (auto* l : w.findChildren<TextLabel*>(name)) out << l->text();
    return out;
}

}  // namespace

class CleanupSummaryViewTest : public WindowTest {};

TEST_F(CleanupSummaryViewTest, FiguresReadZeroForNothingAndCountItems) {
    struct Row {
        int64_t reclaimed;
        int64_t removed;
        const char* figure;
        const char* from;
    } rows[] = {{0, 0, "0 KB", "reclaimed from 0 items"},
                {-20, 1, "0 KB", "reclaimed from 1 item"},
                {1500000, 7, "1.5 MB", "reclaimed from 7 items"}};
    for (const Row& row : rows) {
        CleanupSummary s;
        s.title = "System Junk";
        s.reclaimed = row.reclaimed;
        s.removedCount = row.removed;
        CleanupSummaryView view(s, {});
        EXPECT_EQ(texts(view, "reclaimed"), QStringList{row.figure});
        EXPECT_EQ(texts(view, "reclaimedFrom"), QStringList{row.from});
        EXPECT_EQ(texts(view, "title"), QStringList{"System Junk"});
    }
}

TEST_F(CleanupSummaryViewTest, SpaceNotes) {
    struct Row {
        int64_t trashed;
        std::optional<int64_t> measured;
        QStringList lines;
    } rows[] = {
        {0, std::nullopt, {}},
        {0, 0, {"Volume free space increased by 0 KB."}},
        {2000000, std::nullopt, {"2 MB of that went to the Trash \u2014 the space is freed when you empty it."}},
        {0, -5000, {"Volume free space decreased by 5 KB \u2014 other activity was writing to the disk."}},
        {0, INT64_MIN, {"Volume free space decreased by 9223.37 PB \u2014 other activity was writing to the disk."}},
        {3000, 3000,
         {"3 KB of that went to the Trash \u2014 the space is freed when you empty it.",
          "Volume free space increased by 3 KB."}},
    };
    for (const Row& row : rows) {
        CleanupSummary s;
        s.trashedBytes = row.trashed;
        s.measuredReclaimed = row.measured;
        EXPECT_EQ(SummaryText::spaceNotes(s), row.lines);
        CleanupSummaryView view(s, {});
        EXPECT_EQ(view.findChild<QWidget*>("spaceNotes") != nullptr, !row.lines.isEmpty());
    }
}

TEST_F(CleanupSummaryViewTest, SpaceNotesWrapCentredAndWholeAtTheSheetsNaturalHeight) {
    // Sizes of every length of text, so some line ends just past the width
    // it is given and wraps one short word onto a line of its own.
    std::vector<int64_t> sizes;
    for (int64_t n = 999; n < 900'000'000'000'000; n = n * 37 / 10 + 7) sizes.push_back(n);
    for (int64_t trashed : sizes)
        for (std::optional<int64_t> measured : {std::optional<int64_t>(), std::optional<int64_t>(-trashed * 3)}) {
            CleanupSummary s;
            s.title = "Mail Attachments";
            s.trashedBytes = trashed;
            s.measuredReclaimed = measured;
            s.notes = {"Removed the attachments Mail had kept for messages that are gone"};
            CleanupSummaryView view(s, {});
            render(view, view.sizeHint());
            ASSERT_EQ(view.height(), view.sizeHint().height());
            auto* space = view.findChild<QWidget*>("spaceNotes");
            ASSERT_TRUE(space);
            const auto lines = space->findChildren<QLabel*>();
            ASSERT_EQ(lines.size(), measured ? 2 : 1);
            const QRect spaceAt(space->mapTo(&view, QPoint(0, 0)), space->size());
            const int doneTop = view.doneButton()->mapTo(&view, QPoint(0, 0)).y();
            EXPECT_LE(spaceAt.bottom(), doneTop);
            for (QLabel* line : lines) {
                SCOPED_TRACE(line->text().toStdString());
                EXPECT_TRUE(line->alignment() & Qt::AlignHCenter);
                const QRect needed = line->fontMetrics().boundingRect(QRect(0, 0, line->width(), 10000),
                                                                      Qt::TextWordWrap | Qt::AlignHCenter, line->text());
                EXPECT_GE(line->height(), needed.height());
                EXPECT_TRUE(space->rect().contains(QRect(line->mapTo(space, QPoint(0, 0)), line->size())));
            }
        }
}

TEST_F(CleanupSummaryViewTest, ListsFiveFailuresAndCountsTheRest) {
    struct Row {
        int failures;
        const char* heading;
        int listed;
        const char* more;
    } rows[] = {{0, "", 0, ""},
                {1, "1 item could not be removed", 1, ""},
                {5, "5 items could not be removed", 5, ""},
                {6, "6 items could not be removed", 5, "\u2026and 1 more of the same."}};
    for (const Row& row : rows) {
        CleanupSummary s;
        s.failures = failures(row.failures);
        CleanupSummaryView view(s, {});
        const bool card = row.failures > 0;
        ASSERT_EQ(view.findChild<QWidget*>("failures") != nullptr, card) << row.failures;
        EXPECT_EQ(texts(view, "failureHeading"), card ? QStringList{row.heading} : QStringList{});
        const QStringList listed = texts(view, "failure");
        ASSERT_EQ(listed.size(), row.listed);
        for (int i = 0; i < row.listed; ++i) EXPECT_EQ(listed[i].toStdString(), s.failures[size_t(i)]);
        EXPECT_EQ(texts(view, "moreFailures"), *row.more ? QStringList{row.more} : QStringList{});
        // The Full Disk Access sentence ends every failures card.
        EXPECT_EQ(texts(view, "fullDiskAccessHint").size(), card ? 1 : 0);
    }
}

TEST_F(CleanupSummaryViewTest, CardsAppearOnlyForWhatThereIs) {
    struct Row {
        bool failures, notes;
    } rows[] = {{false, false}, {true, false}, {false, true}, {true, true}};
    for (const Row& row : rows) {
        CleanupSummary s;
        if (row.failures) s.failures = failures(2);
        if (row.notes) s.notes = {"Removed 3 system items with administrator rights"};
        CleanupSummaryView view(s, {});
        EXPECT_EQ(view.findChild<QWidget*>("failures") != nullptr, row.failures);
        EXPECT_EQ(view.findChild<QWidget*>("notes") != nullptr, row.notes);
        const QImage img = render(view);
        EXPECT_EQ(img.width(), CleanupSummaryView::kWidth * 2);
        EXPECT_EQ(texts(view, "note"),
                  row.notes ? QStringList{"Removed 3 system items with administrator rights"} : QStringList{});
    }
}

TEST_F(CleanupSummaryViewTest, DoneEscapeAndReturnDismiss) {
    int dismissed = 0;
    CleanupSummary s;
    CleanupSummaryView view(s, [&] { ++dismissed; });
    render(view);
    QTest::mouseClick(view.doneButton(), Qt::LeftButton, {}, view.doneButton()->rect().center());
    EXPECT_EQ(dismissed, 1);
    QTest::keyClick(&view, Qt::Key_Escape);
    EXPECT_EQ(dismissed, 2);
    // Return presses Done, the default, from the button itself too.
    QTest::keyClick(&view, Qt::Key_Return);
    EXPECT_EQ(dismissed, 3);
    QTest::keyClick(view.doneButton(), Qt::Key_Enter, Qt::KeypadModifier);
    EXPECT_EQ(dismissed, 4);
    // A key with a modifier is not the sheet's.
    QTest::keyClick(&view, Qt::Key_Return, Qt::ControlModifier);
    EXPECT_EQ(dismissed, 4);
    EXPECT_EQ(view.doneButton()->text(), "Done");
}
