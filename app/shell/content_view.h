#pragma once
// The main window's content: the sidebar and the detail column side by side,
// the state's banner floating at the top, and the cleanup summary presented
// as a sheet over everything whenever the state holds one. Dismissing the
// sheet empties the state's summary.
#include <QPointer>
#include <QWidget>

#include "app/shell/banner_stage.h"
#include "app/shell/screen_catalog.h"
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
    // catalog and context: the screens of the detail column (none: each
    // module's header alone).
    ContentView(AppState& state, SystemServices& services, const ScreenCatalog* catalog = nullptr,
                const ScreenContext* context = nullptr, QWidget* parent = nullptr);
    ~ContentView() override;

    SidebarView* sidebar() const { return sidebar_; }
    DetailRouter* router() const { return router_; }
    // The banner and the summary sheet shown now; null when there is none.
    BannerView* bannerView() const { return banner_.current(); }
    // Where the banners are, on their way in, out or replaced too.
    const BannerStage& bannerStage() const { return banner_; }
    CleanupSummaryView* summaryView() const;
    // Presents a sheet over everything (the summary sheet is one); it ends
    // when the widget is deleted. A new sheet replaces the one shown.
    void presentSheet(QWidget* sheet);
    QWidget* sheet() const;

    // Sidebar column widths.
    static constexpr int kSidebarMinimum = 238;
    static constexpr int kSidebarIdeal = 256;
    static constexpr int kSidebarMaximum = 320;

protected:
    void resizeEvent(QResizeEvent* event) override;
    bool focusNextPrevChild(bool next) override;

private:
    void showBanner();
    void showSummary();
    void placeOverlays();
    void giveFocusBack(QWidget* before, bool byKeyboard);

    AppState& state_;
    SidebarView* sidebar_;
    DetailRouter* router_;
    QSplitter* split_;
    BannerStage banner_;
    QPointer<QWidget> sheet_;      // the overlay holding the sheet
    std::optional<Uuid> sheetID_;  // the summary's, while the sheet is the summary
    QMetaObject::Connection sheetEnded_;
};
