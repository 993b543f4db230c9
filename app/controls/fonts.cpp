#include "app/controls/fonts.h"

#include <QApplication>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QScreen>
#include <array>
#include <filesystem>

#include "platform/resources.h"

namespace Fonts {
namespace {

// Where the Debian packages put the fonts, for machines whose font
// configuration does not list them; shipped copies come first.
constexpr std::array<const char*, 2> kSystemFolders = {
    "/usr/share/fonts/opentype/inter",
    "/usr/share/fonts/truetype/material-design-icons-iconfont",
};
constexpr std::array<const char*, 5> kTextFiles = {"Inter-Regular.otf", "Inter-Medium.otf", "Inter-SemiBold.otf",
                                                   "Inter-Bold.otf", "Inter-Black.otf"};
constexpr const char* kSymbolFile = "MaterialIcons-Regular.ttf";

bool hasFamily(const char* family) { return QFontDatabase::families().contains(QString::fromLatin1(family)); }

bool addFile(const char* name) {
    std::optional<std::filesystem::path> file = Resources::locate(name);
    if (!file) {
        for (const char* folder : kSystemFolders) {
            std::filesystem::path candidate = std::filesystem::path(folder) / name;
            std::error_code ec;
            if (std::filesystem::is_regular_file(candidate, ec)) {
                file = candidate;
                break;
            }
        }
    }
    return file && QFontDatabase::addApplicationFont(QString::fromStdString(file->string())) >= 0;
}

// Pixels to the points QFont wants, at the screen's logical resolution, so a
// size means the same on every screen and in every render.
double points(double pixels) {
    double dpi = 96.0;
    if (QGuiApplication::primaryScreen()) dpi = QGuiApplication::primaryScreen()->logicalDotsPerInchY();
    return pixels * 72.0 / (dpi > 0 ? dpi : 96.0);
}

}  // namespace

bool setup() {
    bool ok = true;
    if (!hasFamily(kTextFamily)) {
        for (const char* f : kTextFiles) addFile(f);
        ok = hasFamily(kTextFamily) && ok;
    }
    if (!hasFamily(kSymbolFamily)) ok = (addFile(kSymbolFile) && hasFamily(kSymbolFamily)) && ok;
    if (qobject_cast<QApplication*>(QCoreApplication::instance())) QApplication::setFont(text(13));
    return ok;
}

QFont text(double size, QFont::Weight weight) {
    QFont f(QString::fromLatin1(kTextFamily));
    f.setPointSizeF(points(size));
    f.setWeight(weight);
    f.setHintingPreference(QFont::PreferNoHinting);
    f.setStyleStrategy(QFont::PreferAntialias);
    return f;
}

QFont symbols(double size) {
    QFont f(QString::fromLatin1(kSymbolFamily));
    // A Material glyph fills less of its em square than a symbol of the same
    // text size does, so it is drawn a third larger to look as big.
    f.setPointSizeF(points(size * 1.3));
    f.setHintingPreference(QFont::PreferNoHinting);
    f.setStyleStrategy(QFont::PreferAntialias);
    return f;
}

}  // namespace Fonts
