#pragma once
// The home screen: the Smart Scan over eight modules, its progress on a ring,
// what the four main cleanup modules hold, the review sheet for what was
// found but not ticked, and Clean for what is ticked. Ticks here and in the
// sheet change only the Smart Scan report; Clean deletes exactly what that
// report has ticked.
#include <QPointer>
#include <QWidget>
#include <array>

#include "app/shell/screen_catalog.h"

class EmptyStateView;
class ListColumn;
class PrimaryButton;
class ProgressRing;
class QVBoxLayout;
class ResultsList;
#include "screens/review_sheet.h"
class ScanningPlaceholder;
class SecondaryButton;
class StatCard;
class NumericLabel;
class TextLabel;

class DashboardView : public QWidget {
    Q_OBJECT
public:
    explicit DashboardView(const ScreenContext& context, QWidget* parent = nullptr);

    // The figures the screen shows, from the state as it stands.
    static bool smartScanning(const AppState& state);
    static std::vector<ScanItem> reviewItems(const ScanReport& report);
    static int64_t reviewSize(const ScanReport& report);
    static double ringFraction(const AppState& state);
    static QString heroMessage(const AppState& state);
    static QString headline(const AppState& state);

    // The parts the tests look at.
    ProgressRing* ring() const { return ring_; }
    QString ringValue() const;
    QString ringCaption() const;
    QString headlineText() const;
    QString messageText() const;
    SecondaryButton* stopButton() const { return stop_; }
    PrimaryButton* scanButton() const { return scan_; }
    SecondaryButton* reviewButton() const { return review_; }
    PrimaryButton* cleanButton() const { return clean_; }
    const std::array<StatCard*, 4>& stats() const { return stats_; }
    QWidget* statsRow() const { return statsRow_; }
    ResultsList* results() const { return results_; }
    // The one scrolling column the screen is.
    ListColumn* column() const { return scroller_; }
    ScanningPlaceholder* placeholder() const { return placeholder_; }
    QWidget* firstRun() const { return firstRun_; }
    // The review sheet while it is presented.
    ReviewSheet* reviewSheet() const { return sheet_; }

private:
    QWidget* makeRing();
    QVBoxLayout* makeHeroTexts();
    QWidget* makeStats();
    void connectState();
    void refresh();
    void showReview();

    const ScreenContext& context_;
    AppState& state_;
    ProgressRing* ring_;
    TextLabel* ringValue_;
    TextLabel* ringCaption_;
    NumericLabel* headline_;
    TextLabel* message_;
    SecondaryButton* stop_;
    PrimaryButton* scan_;
    SecondaryButton* review_;
    PrimaryButton* clean_;
    QWidget* statsRow_;
    std::array<StatCard*, 4> stats_{};
    ResultsList* results_;
    QVBoxLayout* column_;
    ListColumn* scroller_;
    QWidget* placeholderBox_;
    ScanningPlaceholder* placeholder_;
    QWidget* firstRun_;
    QPointer<ReviewSheet> sheet_;
};
