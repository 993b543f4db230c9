#pragma once
// The window's motion, in one place: a damped spring (a response and a
// damping fraction), an ease-in-out over a duration, and a number shown on
// screen that moves to each new target along one of them. Every moving value
// is one QVariantAnimation on Qt's animation clock: no control keeps a timer
// of its own, and a test or a picture can drive that clock by hand.
//
// A value jumps to its target instead of moving while its widget is not
// shown (a change made before the first paint is not a change the user sees)
// and while motion is off (pictures and tests of other behaviour, which want
// each control's final state at once).
#include <QAnimationDriver>
#include <QEasingCurve>
#include <functional>
#include <memory>

class QAbstractAnimation;
class QVariantAnimation;
class QWidget;

namespace Motion {

// A spring released at rest from 0 toward 1. response: the period of the
// undamped oscillation, in seconds; damping: the fraction of critical
// damping (below 1 it passes 1 a little and swings back).
struct Spring {
    double response;
    double damping;

    // Where the spring is after that many seconds: the usual solution of
    // x'' + 2 d w x' + w^2 (x - 1) = 0 from x = 0, x' = 0, with w = 2 pi / response.
    double position(double seconds) const;
    // From when on it stays within kSettleTolerance of 1: where the envelope
    // of its remaining distance falls to the tolerance.
    double settleTime() const;
    // The settle time in whole milliseconds, rounded up: the length of its animation.
    int settleMs() const;
};

// The share of the distance a settled spring may still be away from its end
// (a thousandth: under a pixel for anything smaller than the window).
inline constexpr double kSettleTolerance = 0.001;

// A curve of progress over time and the time it takes.
struct Curve {
    QEasingCurve easing;
    int durationMs;
};

namespace detail {
double springProgress(const Spring& spring, double progress);
template <int ResponseMs, int DampingPermille>
qreal springEasing(qreal progress) {
    return springProgress(Spring{ResponseMs / 1000.0, DampingPermille / 1000.0}, progress);
}
}  // namespace detail

// A spring named by its figures in thousandths, so that its easing curve can
// be the plain function Qt's custom curves take.
template <int ResponseMs, int DampingPermille>
struct SpringOf {
    static constexpr Spring spring{ResponseMs / 1000.0, DampingPermille / 1000.0};
    static Curve curve() {
        QEasingCurve easing;
        easing.setCustomType(&detail::springEasing<ResponseMs, DampingPermille>);
        return {easing, spring.settleMs()};
    }
};

// A card or a list opening and closing, and its chevron turning with it.
using DisclosureSpring = SpringOf<220, 850>;
// The banner coming in, going out and being replaced.
using BannerSpring = SpringOf<350, 850>;

// The ease-in-out of the platform: a cubic curve through (0.42, 0) and (0.58, 1).
Curve easeInOut(double seconds);
// A progress ring moving to a new value.
Curve ring();
// A value text changing (its digits rolling to the new value).
Curve textChange();

// Whether values move (on unless turned off).
bool enabled();
void setEnabled(bool on);

// A number shown on screen that moves to each new target along a curve,
// starting from wherever it is shown now. shown receives every new value,
// the last one being the target itself. Deleting it (or its widget, which
// owns it) mid-way stops the motion without a further call.
class Tween {
public:
    Tween(QWidget* owner, Curve curve, double value, std::function<void(double)> shown);
    ~Tween();
    Tween(const Tween&) = delete;
    Tween& operator=(const Tween&) = delete;

    // Moves to the target: along the curve while the widget shows and motion
    // is on, else at once.
    void moveTo(double target);
    // Takes the target at once.
    void jumpTo(double target);
    // Ends a motion under way at its target.
    void finish();
    // Called once each motion has reached its target (not after a jump).
    void setSettled(std::function<void()> settled);

    double value() const { return value_; }
    double target() const { return target_; }
    bool isMoving() const;
    // The running animation, for tests that read its clock.
    const QAbstractAnimation& animation() const;

private:
    QWidget* owner_;
    std::unique_ptr<QVariantAnimation> animation_;
    double value_;
    double target_;
    std::function<void(double)> shown_;
    std::function<void()> settled_;
};

// Drives every animation of the main thread by hand while it lives, with
// motion on: the tests of motion and the pictures of its frames step it.
class ManualClock : public QAnimationDriver {
public:
    ManualClock();
    ~ManualClock() override;

    // Starts the animations that are waiting for the clock's next tick, then
    // moves time on by that many milliseconds.
    void step(int milliseconds);
    qint64 elapsed() const override { return now_; }

private:
    void startWaiting();

    qint64 now_ = 0;
    std::unique_ptr<QAbstractAnimation> keepRunning_;
    bool wasEnabled_;
};

}  // namespace Motion
