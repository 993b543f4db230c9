#pragma once
// The main window's content: the sidebar and the detail column side by side,
// the state's banner floating at the top, and the cleanup summary presented
// as a sheet over everything whenever the state holds one. Dismissing the
// sheet empties the state's summary.
#include <QWidget>

#include "app/state/app_state.h"

class BannerView;
class CleanupSummaryView;
class DetailRouter;
class QSplitter;
class SidebarView;
class SystemServices;

class ContentView : public QWidget {
    Q_OBJECT
public:
    ContentView(AppState& state, SystemServices& services, QWidget* parent = nullptr);

    SidebarView* sidebar() const { return sidebar_; }
    DetailRouter* router() const { return router_; }
    // The banner and the summary sheet shown now; null when there is none.
    BannerView* bannerView() const { return banner_; }
    CleanupSummaryView* summaryView() const;

    // Sidebar column widths.
    static constexpr int kSidebarMinimum = 238;
    static constexpr int kSidebarIdeal = 256;
    static constexpr int kSidebarMaximum = 320;

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void showBanner();
    void showSummary();
    void placeOverlays();

    AppState& state_;
    SidebarView* sidebar_;
    DetailRouter* router_;
    QSplitter* split_;
    BannerView* banner_ = nullptr;
    QWidget* sheet_ = nullptr;
    std::optional<Uuid> sheetID_;
};
