#include "app/controls/motion.h"

#include <QCoreApplication>
#include <QVariantAnimation>
#include <QWidget>
#include <algorithm>
#include <cmath>
#include <numbers>

namespace Motion {
namespace {

bool motionOn = true;

// The longest any motion may take: a spring so weakly damped that it would
// ring for longer is cut there.
constexpr double kLongest = 10.0;

// What is left of the distance at t for a spring at or above critical
// damping: it falls without swinging, so it can be solved for by halving.
double remaining(const Spring& s, double t) { return 1.0 - s.position(t); }

}  // namespace

double Spring::position(double t) const {
    if (response <= 0 || t <= 0) return response <= 0 ? 1.0 : 0.0;
    const double w = 2 * std::numbers::pi / response;
    if (damping < 1) {
        const double wd = w * std::sqrt(1 - damping * damping);
        return 1 - std::exp(-damping * w * t) * (std::cos(wd * t) + damping * w / wd * std::sin(wd * t));
    }
    if (damping == 1) return 1 - std::exp(-w * t) * (1 + w * t);
    const double root = std::sqrt(damping * damping - 1);
    const double r1 = -w * (damping - root), r2 = -w * (damping + root);
    return 1 - (r2 * std::exp(r1 * t) - r1 * std::exp(r2 * t)) / (r2 - r1);
}

double Spring::settleTime() const {
    if (response <= 0) return 0;
    if (damping <= 0) return kLongest;
    const double w = 2 * std::numbers::pi / response;
    if (damping < 1) {
        // |1 - x(t)| <= exp(-d w t) / sqrt(1 - d^2): the envelope's time.
        const double t = std::log(1 / (kSettleTolerance * std::sqrt(1 - damping * damping))) / (damping * w);
        return std::min(t, kLongest);
    }
    double low = 0, high = kLongest;
    if (remaining(*this, high) > kSettleTolerance) return kLongest;
    for (int i = 0; i < 60; ++i) {
        const double mid = (low + high) / 2;
        (remaining(*this, mid) > kSettleTolerance ? low : high) = mid;
    }
    return high;
}

int Spring::settleMs() const { return int(std::ceil(settleTime() * 1000 - 1e-9)); }

namespace detail {

// The spring over its animation: progress 1 is its settle time, where it
// takes its end exactly (the thousandth left is not worth a frame).
double springProgress(const Spring& spring, double progress) {
    if (progress >= 1) return 1;
    return spring.position(progress * spring.settleMs() / 1000.0);
}

}  // namespace detail

Curve easeInOut(double seconds) {
    QEasingCurve easing(QEasingCurve::BezierSpline);
    easing.addCubicBezierSegment(QPointF(0.42, 0), QPointF(0.58, 1), QPointF(1, 1));
    return {easing, int(std::lround(seconds * 1000))};
}

Curve ring() { return easeInOut(0.45); }
Curve textChange() { return easeInOut(0.35); }

bool enabled() { return motionOn; }
void setEnabled(bool on) { motionOn = on; }

// ---- Tween --------------------------------------------------------------------

Tween::Tween(QWidget* owner, Curve curve, double value, std::function<void(double)> shown)
    : owner_(owner),
      animation_(std::make_unique<QVariantAnimation>()),
      value_(value),
      target_(value),
      shown_(std::move(shown)) {
    animation_->setEasingCurve(curve.easing);
    animation_->setDuration(std::max(1, curve.durationMs));
    QVariantAnimation* animation = animation_.get();
    QObject::connect(animation, &QVariantAnimation::valueChanged, animation, [this, animation](const QVariant& v) {
        // Setting the ends of a stopped animation makes it say a value for
        // its old time: not one to show.
        if (animation->state() != QAbstractAnimation::Running) return;
        value_ = v.toDouble();
        if (shown_) shown_(value_);
    });
    QObject::connect(animation, &QAbstractAnimation::finished, animation, [this] {
        value_ = target_;
        if (settled_) settled_();
    });
}

Tween::~Tween() {
    // Stopping says nothing to the callbacks: they may belong to a widget
    // that is going too.
    QObject::disconnect(animation_.get(), nullptr, nullptr, nullptr);
    animation_->stop();
}

void Tween::moveTo(double target) {
    if (!enabled() || !owner_ || !owner_->isVisible()) {
        jumpTo(target);
        return;
    }
    if (target == target_ && (isMoving() || value_ == target)) return;
    target_ = target;
    animation_->stop();
    if (value_ == target) {
        if (shown_) shown_(value_);
        return;
    }
    animation_->setStartValue(value_);
    animation_->setEndValue(target);
    animation_->start();
    // The animation says its first value only when it differs from the last
    // it said: the start is shown here, now that the motion is under way.
    if (shown_) shown_(value_);
}

void Tween::jumpTo(double target) {
    animation_->stop();
    target_ = target;
    value_ = target;
    if (shown_) shown_(value_);
}

void Tween::finish() {
    if (!isMoving()) return;
    animation_->stop();
    value_ = target_;
    if (shown_) shown_(value_);
    if (settled_) settled_();
}

void Tween::setSettled(std::function<void()> settled) { settled_ = std::move(settled); }

bool Tween::isMoving() const { return animation_->state() == QAbstractAnimation::Running; }

const QAbstractAnimation& Tween::animation() const { return *animation_; }

// ---- ManualClock --------------------------------------------------------------

namespace {

// Runs for ever and does nothing: while it runs, the animation clock stays
// with the manual driver, so an animation started later is counted from its
// own start and not from when the driver began.
class Endless : public QAbstractAnimation {
public:
    int duration() const override { return -1; }

protected:
    void updateCurrentTime(int) override {}
};

}  // namespace

ManualClock::ManualClock() : keepRunning_(std::make_unique<Endless>()), wasEnabled_(enabled()) {
    setEnabled(true);
    install();
    keepRunning_->start();
    startWaiting();
    // The clock's own start may have taken a moment of the wall clock: one
    // tick of no time lines the timer up with this driver from here on.
    advance();
}

ManualClock::~ManualClock() {
    keepRunning_->stop();
    uninstall();
    setEnabled(wasEnabled_);
}

// An animation joins the clock, and the clock its driver, through calls
// queued on the thread: they are delivered here, not by an event loop.
void ManualClock::startWaiting() {
    for (int pass = 0; pass < 3; ++pass) QCoreApplication::sendPostedEvents(nullptr, QEvent::MetaCall);
}

void ManualClock::step(int milliseconds) {
    startWaiting();
    now_ += milliseconds;
    advance();
}

}  // namespace Motion
