#pragma once
// The sheet that reports one finished cleanup: how much was reclaimed from how
// many items, how much went to the Trash, how the free space really changed,
// what could not be removed (at most five lines, the rest counted) and the
// notes. Done or Escape dismisses it. It asks for its natural height; given
// less (a window shorter than a long summary), its failures and notes scroll
// between the figures and Done.
#include <QWidget>
#include <functional>

#include "app/state/cleanup_summary.h"

class PrimaryButton;
class QScrollArea;

class CleanupSummaryView : public QWidget {
    Q_OBJECT
public:
    CleanupSummaryView(const CleanupSummary& summary, std::function<void()> dismiss, QWidget* parent = nullptr);

    PrimaryButton* doneButton() const { return done_; }
    // The failures and notes, which scroll when the sheet is given less than
    // its natural height; null when there are neither.
    QScrollArea* details() const { return body_; }
    QSize sizeHint() const override;
    static constexpr int kWidth = 440;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    std::function<void()> dismiss_;
    PrimaryButton* done_;
    QScrollArea* body_ = nullptr;
};

namespace SummaryText {
// "reclaimed from <n> item", "s" unless n is 1.
QString reclaimedFrom(int64_t removedCount);
// The space notes: the Trash line when bytes went there, the free-space line
// when it was measured; empty when neither.
QStringList spaceNotes(const CleanupSummary& summary);
// "<n> item(s) could not be removed".
QString failureHeading(size_t failures);
// "…and <m> more of the same." past the fifth failure, else empty.
QString moreFailures(size_t failures);
inline constexpr size_t kListedFailures = 5;
}  // namespace SummaryText
