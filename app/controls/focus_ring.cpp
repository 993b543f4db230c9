#include "app/controls/focus_ring.h"

#include <QAbstractScrollArea>
#include <QApplication>
#include <QEvent>
#include <QFocusEvent>
#include <QHash>
#include <QPainterPath>
#include <QPointer>
#include <QScrollArea>
#include <QWidget>
#include <algorithm>
#include <vector>

#include "app/controls/theme.h"

namespace FocusRing {
namespace {

constexpr const char* kKeyboardProperty = "focusFromKeyboard";
constexpr const char* kOverlayName = "FocusRingOverlay";

QHash<const QWidget*, std::function<Shape()>>& shapes() {
    static QHash<const QWidget*, std::function<Shape()>> table;
    return table;
}

// Forgets a widget's shape when the widget goes.
void forgetOnDestruction(QWidget* widget) {
    if (shapes().contains(widget)) return;
    QObject::connect(widget, &QObject::destroyed, [widget] { shapes().remove(widget); });
}

// The one ring of a window: above everything else in it, taking no clicks
// and no focus, drawn around the focused control and cut where a scrolled
// area cuts the control.
class Overlay : public QWidget {
public:
    explicit Overlay(QWidget* window) : QWidget(window) {
        setObjectName(QString::fromLatin1(kOverlayName));
        setAttribute(Qt::WA_TransparentForMouseEvents);
        setAttribute(Qt::WA_NoSystemBackground);
        setFocusPolicy(Qt::NoFocus);
        hide();
    }

    void follow(QWidget* target) {
        if (target != target_) {
            unwatch();
            target_ = target;
            for (QWidget* w = target; w && w != parentWidget(); w = w->parentWidget()) {
                w->installEventFilter(this);
                watched_.emplace_back(w);
            }
        }
        place();
    }

    void stop() {
        unwatch();
        target_ = nullptr;
        hide();
    }

    QWidget* target() const { return target_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        switch (event->type()) {
            case QEvent::Move:
            case QEvent::Resize:
            case QEvent::Show:
            case QEvent::Hide:
            case QEvent::ParentChange:
                if (target_) place();
                break;
            default:
                break;
        }
        return QObject::eventFilter(watched, event);
    }

    void paintEvent(QPaintEvent*) override {
        if (!target_) return;
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        p.setClipRect(clip_.translated(-pos()));
        paint(p, shape_.translated(-pos()), radius_);
    }

private:
    void unwatch() {
        for (const QPointer<QWidget>& w : watched_)
            if (w) w->removeEventFilter(this);
        watched_.clear();
    }

    // Where the ring goes in the window, and what cuts it: the window's own
    // edges and the visible part of every scrolled area the control lies in.
    void place() {
        QWidget* window = parentWidget();
        if (!target_ || !target_->isVisible() || target_->window() != window) {
            hide();
            return;
        }
        const Shape shape = shapeOf(target_);
        if (shape.rect.isEmpty()) {
            hide();
            return;
        }
        shape_ = QRectF(target_->mapTo(window, shape.rect.topLeft()), shape.rect.size());
        radius_ = shape.radius;
        QRectF clip(window->rect());
        for (QWidget* w = target_; w && w != window; w = w->parentWidget()) {
            auto* area = qobject_cast<QAbstractScrollArea*>(w->parentWidget());
            if (area && area->viewport() == w) clip &= QRectF(w->mapTo(window, QPointF(0, 0)), QSizeF(w->size()));
        }
        const double outset = kGap + kWidth + 1;
        const QRect ring = shape_.adjusted(-outset, -outset, outset, outset).toAlignedRect() & clip.toAlignedRect();
        if (ring.isEmpty()) {
            hide();
            return;
        }
        clip_ = clip;
        setGeometry(ring);
        raise();
        show();
        update();
    }

    QPointer<QWidget> target_;
    std::vector<QPointer<QWidget>> watched_;
    QRectF shape_;
    double radius_ = 4;
    QRectF clip_;
};

Overlay* overlayFor(QWidget* window, bool create) {
    for (QObject* child : window->children())
        if (child->objectName() == QLatin1String(kOverlayName)) return static_cast<Overlay*>(child);
    return create ? new Overlay(window) : nullptr;
}

// Puts every window's ring where the focus is now.
void update() {
    QWidget* focus = QApplication::focusWidget();
    const bool show = focus && fromKeyboard(focus) && !shapeOf(focus).rect.isEmpty();
    for (QWidget* window : QApplication::topLevelWidgets()) {
        // A hidden window shows no ring, and one that is being destroyed (a
        // dialog hides itself first) may have children that are gone already:
        // its popups hand the focus back while it goes.
        if (!window->isVisible()) continue;
        Overlay* overlay = overlayFor(window, show && focus->window() == window);
        if (!overlay) continue;
        if (show && focus->window() == window)
            overlay->follow(focus);
        else
            overlay->stop();
    }
}

// Which focus changes the keyboard made. A window coming back to the front
// (or a popup closing) gives the focus back as it was, ring and all.
class Watcher : public QObject {
protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        // A scrolled column is no stop of Tab: its controls are, and the
        // column scrolls to each as it takes the focus.
        if (event->type() == QEvent::Polish) {
            if (auto* scroll = qobject_cast<QScrollArea*>(watched)) scroll->setFocusPolicy(Qt::NoFocus);
        }
        if (event->type() == QEvent::FocusIn && watched->isWidgetType()) {
            const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
            switch (reason) {
                case Qt::TabFocusReason:
                case Qt::BacktabFocusReason:
                case Qt::ShortcutFocusReason:
                    watched->setProperty(kKeyboardProperty, true);
                    break;
                case Qt::ActiveWindowFocusReason:
                case Qt::PopupFocusReason:
                case Qt::MenuBarFocusReason:
                case Qt::NoFocusReason:
                    break;
                default:
                    watched->setProperty(kKeyboardProperty, false);
                    break;
            }
            auto* widget = static_cast<QWidget*>(watched);
            widget->update();
            if (auto* area = qobject_cast<QAbstractScrollArea*>(widget)) area->viewport()->update();
            FocusRing::update();
        } else if (event->type() == QEvent::FocusOut && watched->isWidgetType()) {
            auto* widget = static_cast<QWidget*>(watched);
            widget->update();
            if (auto* area = qobject_cast<QAbstractScrollArea*>(widget)) area->viewport()->update();
            FocusRing::update();
        }
        return QObject::eventFilter(watched, event);
    }
};

}  // namespace

void install() {
    static Watcher* watcher = nullptr;
    if (watcher || !qApp) return;
    watcher = new Watcher;
    watcher->setParent(qApp);
    qApp->installEventFilter(watcher);
}

bool fromKeyboard(const QWidget* widget) {
    return widget && widget->hasFocus() && widget->property(kKeyboardProperty).toBool();
}

void keyboardMoved(QWidget* widget) {
    if (!widget || widget->property(kKeyboardProperty).toBool()) return;
    widget->setProperty(kKeyboardProperty, true);
    widget->update();
    if (auto* area = qobject_cast<QAbstractScrollArea*>(widget)) area->viewport()->update();
    update();
}

namespace {

class KeyWatcher : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::KeyPress) keyboardMoved(static_cast<QWidget*>(watched));
        return QObject::eventFilter(watched, event);
    }
};

}  // namespace

void watchKeys(QWidget* widget) { widget->installEventFilter(new KeyWatcher(widget)); }

void setShape(QWidget* widget, std::function<Shape()> shape) {
    forgetOnDestruction(widget);
    shapes().insert(widget, std::move(shape));
}

void drawsItsOwn(QWidget* widget) {
    setShape(widget, [] { return Shape{}; });
}

Shape shapeOf(const QWidget* widget) {
    if (auto it = shapes().constFind(widget); it != shapes().constEnd() && *it) return (*it)();
    return {QRectF(widget->rect()), 4};
}

void paint(QPainter& p, const QRectF& shape, double radius) {
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    const double offset = kGap + kWidth / 2;
    const QRectF ring = shape.adjusted(-offset, -offset, offset, offset);
    const double r = std::min(radius + offset, std::min(ring.width(), ring.height()) / 2);
    QPainterPath path;
    path.addRoundedRect(ring, r, r);
    p.setPen(QPen(Theme::color(Theme::accent, 0.75), kWidth));
    p.setBrush(Qt::NoBrush);
    p.drawPath(path);
    p.restore();
}

QWidget* overlayOf(const QWidget* window) {
    if (!window) return nullptr;
    Overlay* overlay = overlayFor(const_cast<QWidget*>(window), false);
    return overlay && overlay->isVisible() ? overlay : nullptr;
}

}  // namespace FocusRing
