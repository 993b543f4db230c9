#include "app/controls/render.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QLayout>
#include <QPainter>
#include <QWidget>
#include <cmath>

#include "app/controls/theme.h"
#include "platform/atomic_file.h"

namespace Render {
namespace {

// Sends the layout requests and resizes still queued, all the way down, so
// every child has its final geometry before anything is drawn.
void settle(QWidget& widget) {
    for (int pass = 0; pass < 3; ++pass) {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
        QCoreApplication::sendPostedEvents();
        if (widget.layout()) widget.layout()->activate();
    }
}

}  // namespace

QImage image(QWidget& widget, QSize logicalSize, double ratio) {
    if (!widget.isVisible()) {
        widget.setAttribute(Qt::WA_DontShowOnScreen);
        widget.show();
    }
    settle(widget);
    QSize size = logicalSize.isEmpty() ? widget.sizeHint().expandedTo(widget.minimumSizeHint()) : logicalSize;
    if (size.isEmpty()) size = widget.size();
    if (widget.size() != size) widget.resize(size);
    settle(widget);

    QImage img(QSize(int(std::lround(size.width() * ratio)), int(std::lround(size.height() * ratio))),
               QImage::Format_ARGB32_Premultiplied);
    img.setDevicePixelRatio(ratio);
    img.fill(Theme::windowBackground());
    widget.render(&img, QPoint(), QRegion(), QWidget::DrawChildren | QWidget::DrawWindowBackground);
    return img;
}

QString png(QWidget& widget, const std::filesystem::path& file, QSize logicalSize, double ratio, QSize* pixels) {
    QImage img = image(widget, logicalSize, ratio);
    if (pixels) *pixels = img.size();
    if (img.isNull()) return QStringLiteral("could not render");
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    if (!img.save(&buffer, "PNG")) return QStringLiteral("cannot encode the image as PNG");
    std::string error;
    if (!AtomicFile::write(file, std::string_view(bytes.constData(), size_t(bytes.size())), &error))
        return QString::fromStdString(file.string() + ": " + error);
    return {};
}

}  // namespace Render
