#pragma once
// The fixture of the window's tests: a temporary home and system root (as
// every test has), the window's fonts and palette, and helpers to draw a
// widget offscreen and read its pixels.
#include <QColor>
#include <QImage>
#include <QPoint>
#include <QWidget>

#include "support/test_env.h"

class WindowTest : public TestEnv {
protected:
    void SetUp() override;

    // The widget drawn at ratio 2 (its size hint when size is empty).
    static QImage render(QWidget& widget, QSize size = {});
    // The colour at a logical point of an image drawn at ratio 2.
    static QColor pixel(const QImage& image, QPointF logical);
};

namespace testing_support {
// Whether two colours are within tolerance on every channel (0-255).
bool near(const QColor& a, const QColor& b, int tolerance = 6);
}  // namespace testing_support
