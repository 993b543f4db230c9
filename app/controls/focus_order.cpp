#include "app/controls/focus_order.h"

#include <QApplication>
#include <QWidget>
#include <algorithm>

#include "app/controls/focus_ring.h"

namespace FocusOrder {
namespace {

bool isStop(const QWidget* w, const QWidget* within) {
    return (w->focusPolicy() & Qt::TabFocus) && !w->focusProxy() && w->isEnabled() && w->isVisibleTo(within);
}

// Whether a is read before b, two children of one parent.
bool readBefore(const QWidget* a, const QWidget* b) {
    const QRect ra = a->geometry(), rb = b->geometry();
    const bool sideBySide = ra.top() < rb.bottom() && rb.top() < ra.bottom();
    if (sideBySide && ra.left() != rb.left()) return ra.left() < rb.left();
    return ra.top() < rb.top();
}

void collect(QWidget* widget, const QWidget* within, std::vector<QWidget*>& out) {
    if (widget != within && (widget->isWindow() || !widget->isVisibleTo(within))) return;
    if (isStop(widget, within)) out.push_back(widget);
    std::vector<QWidget*> children;
    for (QObject* child : widget->children())
        if (child->isWidgetType()) children.push_back(static_cast<QWidget*>(child));
    // Siblings are few; a guarded insertion keeps them in their own order
    // where their places do not say (overlays lying over everything).
    for (size_t i = 1; i < children.size(); ++i)
        for (size_t j = i; j > 0 && readBefore(children[j], children[j - 1]); --j) std::swap(children[j], children[j - 1]);
    for (QWidget* child : children) collect(child, within, out);
}

}  // namespace

std::vector<QWidget*> stops(QWidget* within) {
    std::vector<QWidget*> out;
    if (within) collect(within, within, out);
    return out;
}

bool move(const std::vector<QWidget*>& stops, bool next) {
    if (stops.empty()) return false;
    QWidget* focus = QApplication::focusWidget();
    auto at = std::find(stops.begin(), stops.end(), focus);
    // Focus inside a stop (a list's own editor, say) counts as on that stop.
    if (at == stops.end() && focus)
        at = std::find_if(stops.begin(), stops.end(), [focus](QWidget* stop) { return stop->isAncestorOf(focus); });
    size_t index;
    if (at == stops.end())
        index = next ? 0 : stops.size() - 1;
    else
        index = (size_t(at - stops.begin()) + (next ? 1 : stops.size() - 1)) % stops.size();
    // The only stop keeps the focus it has: Tab still came from the
    // keyboard, so its ring shows.
    if (stops[index] == focus) FocusRing::keyboardMoved(focus);
    else stops[index]->setFocus(next ? Qt::TabFocusReason : Qt::BacktabFocusReason);
    return true;
}

KeepIn::KeepIn(QWidget* part) : part_(part) {
    QWidget* focus = QApplication::focusWidget();
    if (!part || !focus || !part->isAncestorOf(focus)) return;
    focus_ = focus;
    had_ = true;
    byKeyboard_ = FocusRing::fromKeyboard(focus);
}

KeepIn::~KeepIn() {
    if (!had_ || !part_) return;
    if (focus_ && focus_->isVisible() && focus_->isEnabled()) return;
    const std::vector<QWidget*> inside = stops(part_);
    if (!inside.empty()) inside.front()->setFocus(byKeyboard_ ? Qt::TabFocusReason : Qt::OtherFocusReason);
}

}  // namespace FocusOrder
