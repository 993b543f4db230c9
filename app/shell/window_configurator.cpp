#include "app/shell/window_configurator.h"

#include <QApplication>
#include <QEvent>
#include <QGuiApplication>
#include <QScreen>
#include <QSettings>
#include <QWidget>
#include <QWindow>
#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/decimal.h"

namespace WindowFrame {

std::string format(const QRect& f) {
    auto n = [](int v) { return Decimal::text(v); };
    return "{{" + n(f.x()) + ", " + n(f.y()) + "}, {" + n(f.width()) + ", " + n(f.height()) + "}}";
}

QRect parse(const std::string& text) {
    double v[4] = {0, 0, 0, 0};
    int found = 0;
    const char* p = text.data();
    const char* end = p + text.size();
    while (p < end && found < 4) {
        if ((*p >= '0' && *p <= '9') || *p == '-' || *p == '+' || *p == '.') {
            double value = 0;
            const char* start = *p == '+' ? p + 1 : p;
            auto r = std::from_chars(start, end, value);
            if (r.ec == std::errc() && std::isfinite(value)) {
                v[found++] = value;
                p = r.ptr;
                continue;
            }
        }
        ++p;
    }
    // Beyond what a screen could hold the text is not a frame.
    for (double& d : v)
        if (std::fabs(d) > 1e6) return {};
    return QRect(int(v[0]), int(v[1]), int(v[2]), int(v[3]));
}

bool isUsable(const QRect& f) { return f.width() > 200 && f.height() > 200; }

std::string describe(const QRect& f) {
    return Decimal::text(f.x()) + "," + Decimal::text(f.y()) + " " + Decimal::text(std::max(0, f.width())) + "x" +
           Decimal::text(std::max(0, f.height()));
}

QRect centredDefault(const QRect& v) {
    const int w = std::min(v.width(), kDefaultSize.width()), h = std::min(v.height(), kDefaultSize.height());
    // Centred on the area's midpoint, exactly as the area's own halves fall.
    const double midX = v.x() + v.width() / 2.0, midY = v.y() + v.height() / 2.0;
    return QRect(int(std::floor(midX - w / 2.0)), int(std::floor(midY - h / 2.0)), w, h);
}

std::optional<QRect> fitted(const QRect& f, const QRect& v) {
    const int minW = std::min(v.width(), kMinimumSize.width()), minH = std::min(v.height(), kMinimumSize.height());
    const int w = std::min(v.width(), std::max(f.width(), minW));
    const int h = std::min(v.height(), std::max(f.height(), minH));
    const int maxX = v.x() + v.width(), maxY = v.y() + v.height();
    const int x = std::min(maxX - w, std::max(f.x(), v.x()));
    const int y = std::min(maxY - h, std::max(f.y(), v.y()));
    if (std::abs(w - f.width()) <= 1 && std::abs(h - f.height()) <= 1 && std::abs(x - f.x()) <= 1 &&
        std::abs(y - f.y()) <= 1)
        return std::nullopt;
    return QRect(x, y, w, h);
}

QRect centredOver(QSize size, const QRect& over, const QRect& v) {
    QRect r(QPoint(0, 0), size);
    r.moveCenter(over.center());
    // The right and bottom edges first, so the left and top win when the
    // window is larger than the area: its title bar stays reachable.
    r.moveLeft(std::max(v.left(), std::min(r.left(), v.left() + v.width() - r.width())));
    r.moveTop(std::max(v.top(), std::min(r.top(), v.top() + v.height() - r.height())));
    return r;
}

bool debugFlag(const char* value) { return value && std::strcmp(value, "1") == 0; }

}  // namespace WindowFrame

namespace {

constexpr std::chrono::milliseconds kReassertDelay{400};
constexpr std::chrono::milliseconds kTrackingDelay{600};

}  // namespace

WindowConfigurator::WindowConfigurator(QWidget& window, Services services)
    : QObject(&window), window_(&window), services_(std::move(services)) {
    setObjectName(QStringLiteral("WindowConfigurator"));
    if (!services_.visibleArea) services_.visibleArea = screenAreas();
    if (!services_.log) services_.log = standardErrorLog();
    if (!services_.decoration) services_.decoration = windowDecoration();
    applyAttachSettings();
    window.installEventFilter(this);
    if (window.isVisible()) eventFilter(&window, nullptr);
}

WindowConfigurator::~WindowConfigurator() { lifeline_.end(); }

std::function<std::optional<QRect>(const QWidget&)> WindowConfigurator::screenAreas() {
    return [](const QWidget& w) -> std::optional<QRect> {
        QScreen* screen = w.screen();
        if (!screen) screen = QGuiApplication::primaryScreen();
        if (!screen) return std::nullopt;
        return screen->availableGeometry();
    };
}

std::function<void(const std::string&)> WindowConfigurator::standardErrorLog() {
    static const bool debugging = WindowFrame::debugFlag(std::getenv("VESSILTANE_DEBUG_WINDOW"));
    return [](const std::string& line) {
        if (!debugging) return;
        const std::string text = "[window] " + line + "\n";
        std::fwrite(text.data(), 1, text.size(), stderr);
        std::fflush(stderr);
    };
}

void WindowConfigurator::log(const std::string& line) const { services_.log(line); }

std::optional<QRect> WindowConfigurator::areaOf() const {
    if (!window_) return std::nullopt;
    return services_.visibleArea(*window_);
}

void WindowConfigurator::applyAttachSettings() {
    if (!window_) return;
    window_->setMinimumSize(WindowFrame::kMinimumSize);
    // Restoring the frame is this object's job, not the platform's.
    if (QWindow* handle = window_->windowHandle()) handle->setFlag(Qt::WindowDoesNotAcceptFocus, false);
}

bool WindowConfigurator::eventFilter(QObject* watched, QEvent* event) {
    if (watched != window_) return false;
    const QEvent::Type type = event ? event->type() : QEvent::Show;
    if (type == QEvent::Show && !didRunFirstLayout_) {
        didRunFirstLayout_ = true;
        applyAttachSettings();
        services_.executor->post(lifeline_.receiver(), [this] {
            if (!window_ || !window_->isVisible()) return;
            firstLayout();
            services_.executor->postAfter(lifeline_.receiver(), kTrackingDelay, [this] { tracking_ = true; });
        });
    } else if ((type == QEvent::Move || type == QEvent::Resize) && tracking_) {
        save();
    }
    return false;
}

void WindowConfigurator::firstLayout() {
    restoreFrame();
    services_.executor->postAfter(lifeline_.receiver(), kReassertDelay, [this] {
        if (!window_) return;
        log("reassert");
        restoreFrame();
    });
    log("activate " + WindowFrame::describe(frame()));
    if (window_->isMinimized()) window_->setWindowState(window_->windowState() & ~Qt::WindowMinimized);
    window_->raise();
    window_->activateWindow();
}

std::optional<QRect> WindowConfigurator::storedFrame() const {
    if (!services_.settings) return std::nullopt;
    const QVariant value = services_.settings->value(QString::fromLatin1(WindowFrame::kSettingsKey));
    if (!value.isValid()) return std::nullopt;
    const QRect frame = WindowFrame::parse(value.toString().toStdString());
    if (!WindowFrame::isUsable(frame)) return std::nullopt;
    return frame;
}

std::function<QMargins(const QWidget&)> WindowConfigurator::windowDecoration() {
    return [](const QWidget& w) {
        const QRect content = w.geometry(), outer = w.frameGeometry();
        return QMargins(content.left() - outer.left(), content.top() - outer.top(), outer.right() - content.right(),
                        outer.bottom() - content.bottom());
    };
}

// The window's own geometry is its content; the frame adds the title bar and
// borders around it.
QRect WindowConfigurator::frame() const {
    return window_ ? window_->geometry().marginsAdded(services_.decoration(*window_)) : QRect();
}

void WindowConfigurator::setFrame(const QRect& frame) {
    if (!window_) return;
    window_->setGeometry(frame.marginsRemoved(services_.decoration(*window_)));
}

void WindowConfigurator::restoreFrame() {
    if (!window_) return;
    if (std::optional<QRect> stored = storedFrame()) {
        log("restore " + WindowFrame::describe(*stored));
        setFrame(*stored);
    } else if (std::optional<QRect> area = areaOf()) {
        setFrame(WindowFrame::centredDefault(*area));
    }
    fitOnScreen();
}

void WindowConfigurator::fitOnScreen() {
    const std::optional<QRect> area = areaOf();
    if (!area || !window_) return;
    const QRect current = frame();
    const std::optional<QRect> fit = WindowFrame::fitted(current, *area);
    if (!fit) return;
    log("fit " + WindowFrame::describe(current) + " \u2192 " + WindowFrame::describe(*fit));
    // A screen smaller than the minimum size gets a window as small as it is.
    window_->setMinimumSize(WindowFrame::kMinimumSize.boundedTo(area->size()));
    setFrame(*fit);
}

void WindowConfigurator::save() {
    if (!window_ || window_->isMinimized() || !services_.settings) return;
    const QRect frame = this->frame();
    if (!WindowFrame::isUsable(frame)) return;
    services_.settings->setValue(QString::fromLatin1(WindowFrame::kSettingsKey),
                                 QString::fromStdString(WindowFrame::format(frame)));
    log("save " + WindowFrame::describe(frame));
}

void WindowConfigurator::resetFrame() {
    if (!window_) return;
    const QRect area = areaOf().value_or(WindowFrame::kFallbackArea);
    const QRect frame = WindowFrame::centredDefault(area);
    if (services_.settings) services_.settings->remove(QString::fromLatin1(WindowFrame::kSettingsKey));
    setFrame(frame);
    window_->raise();
    window_->activateWindow();
    log("reset to " + std::to_string(frame.width()) + "x" + std::to_string(frame.height()));
}

void WindowConfigurator::resetCurrentWindowFrame() {
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (w->windowType() != Qt::Window) continue;
        if (auto* configurator = w->findChild<WindowConfigurator*>(QString(), Qt::FindDirectChildrenOnly)) {
            configurator->resetFrame();
            return;
        }
    }
}
