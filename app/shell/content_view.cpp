#include "app/shell/content_view.h"

#include <QAccessible>
#include <QApplication>
#include <QGraphicsDropShadowEffect>
#include <QHBoxLayout>
#include <QPainter>
#include <QSplitter>
#include <QVBoxLayout>
#include <algorithm>
#include <vector>

#include "app/controls/bind.h"
#include "app/controls/focus_order.h"
#include "app/controls/focus_ring.h"
#include "app/controls/theme.h"
#include "app/shell/banner_view.h"
#include "app/shell/cleanup_summary_view.h"
#include "app/shell/detail_router.h"
#include "app/shell/sidebar_view.h"

namespace {

// What a sheet lies on: the window faintly dimmed, taking every click, with
// the sheet at the top centre. It goes when its sheet is deleted.
class SheetOverlay : public QWidget {
public:
    SheetOverlay(QWidget* parent, QWidget* sheet) : QWidget(parent), sheet_(sheet) {
        setObjectName(QStringLiteral("SheetOverlay"));
        sheet_->setParent(this);
        auto* shadow = new QGraphicsDropShadowEffect(sheet_);
        shadow->setColor(QColor::fromRgbF(0, 0, 0, 0.25f));
        shadow->setBlurRadius(30);
        shadow->setOffset(0, 6);
        sheet_->setGraphicsEffect(shadow);
        setAttribute(Qt::WA_NoMousePropagation);
        connect(sheet_, &QObject::destroyed, this, [this] {
            sheet_ = nullptr;
            hide();
            deleteLater();
        });
    }
    // The sheet, deleted with the overlay, must not call back into an
    // overlay that is no longer one.
    ~SheetOverlay() override {
        if (sheet_) disconnect(sheet_, nullptr, this, nullptr);
    }
    QWidget* sheet() const { return sheet_; }
    void place() {
        setGeometry(parentWidget()->rect());
        if (!sheet_) return;
        const QSize s = sheet_->sizeHint();
        // Never taller than the window leaves, with a margin below as above;
        // a sheet given less scrolls inside itself.
        sheet_->setGeometry((width() - s.width()) / 2, kTop, s.width(),
                            std::max(sheet_->minimumSizeHint().height(), std::min(s.height(), height() - 2 * kTop)));
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.fillRect(rect(), QColor::fromRgbF(0, 0, 0, 0.12f));
    }
    void mousePressEvent(QMouseEvent*) override {}
    // Tab and Shift+Tab go round the sheet's own controls, never to the
    // window behind it.
    bool focusNextPrevChild(bool next) override {
        if (sheet_) FocusOrder::move(FocusOrder::stops(sheet_), next);
        return true;
    }

private:
    static constexpr int kTop = 12;
    QWidget* sheet_;
};

}  // namespace

ContentView::ContentView(AppState& state, SystemServices& services, const ScreenCatalog* catalog,
                         const ScreenContext* context, QWidget* parent)
    : QWidget(parent), state_(state), banner_(state, *this) {
    setObjectName(QStringLiteral("ContentView"));
    setAutoFillBackground(true);
    setPalette(Theme::palette());
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(0);

    sidebar_ = new SidebarView(state, services);
    sidebar_->setMinimumWidth(kSidebarMinimum);
    sidebar_->setMaximumWidth(kSidebarMaximum);
    router_ = new DetailRouter(state, catalog, context);
    split_ = new QSplitter(Qt::Horizontal);
    split_->setChildrenCollapsible(false);
    split_->setHandleWidth(1);
    split_->addWidget(sidebar_);
    split_->addWidget(router_);
    split_->setStretchFactor(0, 0);
    split_->setStretchFactor(1, 1);
    split_->setSizes({kSidebarIdeal, 1000});
    // The divider between the columns is a hairline.
    QSplitterHandle* divider = split_->handle(1);
    QPalette line = divider->palette();
    line.setColor(QPalette::Window, Theme::primary(0.1));
    divider->setPalette(line);
    divider->setAutoFillBackground(true);
    row->addWidget(split_);

    Bind::value(this, &state_, &AppState::bannerChanged, [this] { showBanner(); });
    Bind::value(this, &state_, &AppState::lastCleanupChanged, [this] { showSummary(); });
}

// A sheet still shown goes with the window, and gives no focus back.
ContentView::~ContentView() { QObject::disconnect(sheetEnded_); }

CleanupSummaryView* ContentView::summaryView() const {
    return sheetID_ ? qobject_cast<CleanupSummaryView*>(sheet()) : nullptr;
}

QWidget* ContentView::sheet() const {
    return sheet_ ? static_cast<SheetOverlay*>(sheet_.data())->sheet() : nullptr;
}

void ContentView::presentSheet(QWidget* sheet) {
    if (sheet_) {
        sheet_->hide();
        sheet_->deleteLater();
    }
    sheetID_.reset();
    // When the sheet ends, the focus goes back where it was before it (a
    // window without a focused control would take Tab to wherever Qt's own
    // chain begins).
    QPointer<QWidget> before = QApplication::focusWidget();
    if (before && !isAncestorOf(before)) before = nullptr;
    const bool byKeyboard = FocusRing::fromKeyboard(before);
    sheet_ = new SheetOverlay(this, sheet);
    // After the overlay's own handler, which lets go of the sheet first.
    QObject::disconnect(sheetEnded_);
    sheetEnded_ = connect(sheet, &QObject::destroyed, this, [this, before, byKeyboard] { giveFocusBack(before, byKeyboard); });
    sheet_->show();
    placeOverlays();
    // The sheet is no stop of its own: its first control takes the focus.
    const std::vector<QWidget*> stops = FocusOrder::stops(sheet);
    (stops.empty() ? sheet : stops.front())->setFocus(Qt::OtherFocusReason);
    // A reader says that a sheet opened, by its name, before the control
    // that has the focus.
    QAccessibleEvent opened(sheet, QAccessible::DialogStart);
    QAccessible::updateAccessibility(&opened);
}

void ContentView::giveFocusBack(QWidget* before, bool byKeyboard) {
    if (sheet() || !window()->isVisible()) return;  // another sheet took its place, or the window went
    QWidget* to = before;
    if (!to || !to->isVisible() || !to->isEnabled() || !(to->focusPolicy() & Qt::TabFocus)) {
        const std::vector<QWidget*> screen = FocusOrder::stops(router_);
        to = screen.empty() ? static_cast<QWidget*>(sidebar_) : screen.front();
    }
    to->setFocus(byKeyboard ? Qt::TabFocusReason : Qt::OtherFocusReason);
}

void ContentView::showBanner() {
    banner_.follow();
    if (sheet_) sheet_->raise();
}

void ContentView::showSummary() {
    const std::optional<CleanupSummary>& summary = state_.lastCleanup();
    if (sheet_ && summary && sheetID_ == summary->id) return;
    if (sheet_ && sheetID_) {
        sheet_->hide();
        sheet_->deleteLater();
        sheet_ = nullptr;
        sheetID_.reset();
    }
    if (!summary) return;
    presentSheet(new CleanupSummaryView(*summary, [this] { state_.setLastCleanup(std::nullopt); }));
    sheetID_ = summary->id;
}

// Tab reads the window as a reader does: the banner while it shows, the
// screen from its header down, then the sidebar, and round again; while a
// sheet shows, the sheet's controls alone.
bool ContentView::focusNextPrevChild(bool next) {
    if (QWidget* shown = sheet()) {
        FocusOrder::move(FocusOrder::stops(shown), next);
        return true;
    }
    std::vector<QWidget*> stops;
    for (QWidget* part : {static_cast<QWidget*>(bannerView()), static_cast<QWidget*>(router_),
                          static_cast<QWidget*>(sidebar_)}) {
        const std::vector<QWidget*> more = FocusOrder::stops(part);
        stops.insert(stops.end(), more.begin(), more.end());
    }
    return FocusOrder::move(stops, next);
}

void ContentView::placeOverlays() {
    banner_.place();
    if (sheet_) {
        static_cast<SheetOverlay*>(sheet_.data())->place();
        sheet_->raise();
    }
}

void ContentView::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    placeOverlays();
}
