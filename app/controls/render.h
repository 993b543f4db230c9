#pragma once
// Drawing any widget offscreen into an image at a device pixel ratio (2 by
// default, as on a Retina screen): the tests, the render switches and the
// screenshots all go through here, so they see the same pixels.
#include <QImage>
#include <QSize>
#include <QString>
#include <filesystem>

class QWidget;

namespace Render {

// Lays the widget out at the logical size (its own size hint when empty) and
// draws it, children included, on the window colour. The widget is shown
// off the screen first when it is not visible yet.
QImage image(QWidget& widget, QSize logicalSize = {}, double ratio = 2.0);

// The same, written as a PNG file (atomically). An error message on failure,
// empty on success; pixels, when given, receives the image's size.
QString png(QWidget& widget, const std::filesystem::path& file, QSize logicalSize = {}, double ratio = 2.0,
            QSize* pixels = nullptr);

}  // namespace Render
