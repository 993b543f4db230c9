#include "diagnostics/render/icon_renderer.h"

#include <QBuffer>
#include <QByteArray>
#include <QImage>

#include "diagnostics/render/app_icon_artwork.h"
#include "engine/command_line.h"
#include "platform/atomic_file.h"

namespace IconRenderer {

const std::array<IconsetRow, 10> iconset = {{
    {"icon_16x16.png", 16},
    {"icon_16x16@2x.png", 32},
    {"icon_32x32.png", 32},
    {"icon_32x32@2x.png", 64},
    {"icon_128x128.png", 128},
    {"icon_128x128@2x.png", 256},
    {"icon_256x256.png", 256},
    {"icon_256x256@2x.png", 512},
    {"icon_512x512.png", 512},
    {"icon_512x512@2x.png", 1024},
}};

namespace {

void writePNG(const QImage& image, const std::filesystem::path& file) {
    const std::string name = file.filename().native();
    QByteArray bytes;
    QBuffer buffer(&bytes);
    if (!buffer.open(QIODevice::WriteOnly)) throw Error(Error::cannotOpen, "Could not open " + name);
    if (!image.save(&buffer, "PNG")) throw Error(Error::cannotWrite, "Could not write " + name);
    if (!AtomicFile::write(file, std::string_view(bytes.constData(), size_t(bytes.size()))))
        throw Error(Error::cannotWrite, "Could not write " + name);
}

}  // namespace

void render(const std::filesystem::path& folder) {
    std::string why;
    if (!AtomicFile::makeFolders(folder, &why)) throw std::runtime_error(why);
    const QImage artwork = AppIconArtwork::render();
    if (artwork.isNull()) throw Error(Error::noArtwork, "Could not rasterise artwork");
    for (const auto& row : iconset) {
        QImage scaled = row.pixels == artwork.width()
                            ? artwork
                            : artwork.scaled(row.pixels, row.pixels, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        if (scaled.isNull()) continue;  // a size that cannot be made is left out
        writePNG(scaled, folder / std::string(row.fileName));
    }
}

bool handleCommandLineIfRequested(const std::vector<std::string>& arguments, std::ostream&, std::ostream& err) {
    auto folder = CommandLine::value(arguments, "--render-icon");
    if (!folder) return false;
    try {
        render(*folder);
        err << "icon: wrote iconset to " << *folder << '\n';
    } catch (const std::exception& error) {
        err << "icon: " << error.what() << '\n';
    }
    return true;
}

}  // namespace IconRenderer
