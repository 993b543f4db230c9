#pragma once
// A gradient arc over a track circle, from the top and clockwise. The arc is
// centred on the frame's circle, so it reaches half its line width outside the
// frame; the widget keeps that much room around the frame. Decoration only:
// hidden from accessibility.
#include <QColor>
#include <QWidget>

class ProgressRing : public QWidget {
    Q_OBJECT
public:
    // frame: the side of the ring's square frame; gradientTop/Bottom: the arc's
    // colours from the top edge of the frame to the bottom.
    ProgressRing(double frame, double progress, double lineWidth, const QColor& gradientTop,
                 const QColor& gradientBottom, const QColor& track, QWidget* parent = nullptr);

    double progress() const { return progress_; }
    void setProgress(double progress);
    void setGradient(const QColor& top, const QColor& bottom);
    QColor gradientTop() const { return top_; }
    QColor gradientBottom() const { return bottom_; }
    // The frame within the widget.
    QRectF frameRect() const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    double frame_;
    double progress_;
    double lineWidth_;
    QColor top_;
    QColor bottom_;
    QColor track_;
};
