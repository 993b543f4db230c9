#include "support/window/window_test.h"

#include <QApplication>
#include <cmath>

#include "app/controls/appearance.h"
#include "app/controls/render.h"

void WindowTest::SetUp() {
    TestEnv::SetUp();
    static const std::vector<std::string> failures = Appearance::apply();
    ASSERT_TRUE(failures.empty()) << "the window's fonts did not load: " << failures.front();
}

QImage WindowTest::render(QWidget& widget, QSize size) { return Render::image(widget, size, 2.0); }

QColor WindowTest::pixel(const QImage& image, QPointF logical) {
    const double r = image.devicePixelRatio();
    return image.pixelColor(int(std::floor(logical.x() * r)), int(std::floor(logical.y() * r)));
}

namespace testing_support {

bool near(const QColor& a, const QColor& b, int tolerance) {
    return std::abs(a.red() - b.red()) <= tolerance && std::abs(a.green() - b.green()) <= tolerance &&
           std::abs(a.blue() - b.blue()) <= tolerance && std::abs(a.alpha() - b.alpha()) <= tolerance;
}

}  // namespace testing_support
