#pragma once
// A gradient arc over a track circle, from the top and clockwise. The arc is
// centred on the frame's circle, so it reaches half its line width outside the
// frame; the widget keeps that much room around the frame. A new progress
// value is reached with an ease-in-out of 0.45 s from the arc shown.
// Assistive technology reads it as progress: its accessible name and its
// value (the one it is moving to) in percent.
#include <QColor>
#include <QWidget>

#include "app/controls/motion.h"
#include "app/controls/painters.h"

class ProgressRing : public QWidget {
    Q_OBJECT
public:
    // frame: the side of the ring's square frame; gradient: the arc's colours
    // across the frame.
    ProgressRing(double frame, double progress, double lineWidth, Painters::RingGradient gradient, const QColor& track,
                 QWidget* parent = nullptr);
    // The arc's colours from the top edge of the frame to the bottom.
    ProgressRing(double frame, double progress, double lineWidth, const QColor& gradientTop,
                 const QColor& gradientBottom, const QColor& track, QWidget* parent = nullptr);

    // The progress last set; the arc may still be on its way there.
    double progress() const { return progress_; }
    void setProgress(double progress);
    // The progress the arc shows now.
    double shownProgress() const { return motion_.value(); }
    void setGradient(const QColor& top, const QColor& bottom);
    const Painters::RingGradient& gradient() const { return gradient_; }
    // The first and the last colour of the gradient.
    QColor gradientTop() const;
    QColor gradientBottom() const;
    // The frame within the widget.
    QRectF frameRect() const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    double frame_;
    double progress_;
    double lineWidth_;
    Painters::RingGradient gradient_;
    QColor track_;
    Motion::Tween motion_;
};
