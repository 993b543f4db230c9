#include "app/controls/fonts.h"

#include <QApplication>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QScreen>
#include <array>
#include <map>

#include "platform/resources.h"

namespace Fonts {
namespace {

// Where the Debian packages put the fonts; only used when the shipped copy
// is missing.
constexpr std::array<const char*, 2> kSystemFolders = {
    "/usr/share/fonts/opentype/inter",
    "/usr/share/fonts/truetype/material-design-icons-iconfont",
};

// A file loaded once stays loaded: its application-font id by path.
std::map<std::filesystem::path, int>& loaded() {
    static std::map<std::filesystem::path, int> files;
    return files;
}

// Loads one file; a failure as "<name>: <why>".
std::optional<std::string> load(std::string_view name) {
    const std::optional<std::filesystem::path> file = fontFile(name);
    if (!file) return std::string(name) + ": not among the program's files nor in the system's font folders";
    auto known = loaded().find(*file);
    if (known == loaded().end()) {
        const int id = QFontDatabase::addApplicationFont(QString::fromStdString(file->string()));
        known = loaded().emplace(*file, id).first;
    }
    if (known->second < 0) return std::string(name) + ": " + file->string() + " is not a font the window can read";
    return std::nullopt;
}

// Pixels to the points QFont wants, at the screen's logical resolution, so a
// size means the same on every screen and in every render.
double points(double pixels) {
    double dpi = 96.0;
    if (QGuiApplication::primaryScreen()) dpi = QGuiApplication::primaryScreen()->logicalDotsPerInchY();
    return pixels * 72.0 / (dpi > 0 ? dpi : 96.0);
}

}  // namespace

const std::vector<std::string_view>& files() {
    static const std::vector<std::string_view> names = {"Inter-Regular.otf", "Inter-Medium.otf",
                                                        "Inter-SemiBold.otf", "Inter-Bold.otf",
                                                        "Inter-Black.otf",   "MaterialIcons-Regular.ttf"};
    return names;
}

std::optional<std::filesystem::path> fontFile(std::string_view name) {
    if (auto shipped = Resources::locate("fonts", name)) return shipped;
    if (name.empty() || name.find('/') != std::string_view::npos) return std::nullopt;
    for (const char* folder : kSystemFolders) {
        std::filesystem::path candidate = std::filesystem::path(folder) / std::string(name);
        std::error_code ec;
        if (std::filesystem::is_regular_file(candidate, ec)) return candidate;
    }
    return std::nullopt;
}

std::vector<std::string> setup() {
    std::vector<std::string> failures;
    for (std::string_view name : files())
        if (auto failure = load(name)) failures.push_back(std::move(*failure));
    if (qobject_cast<QApplication*>(QCoreApplication::instance())) QApplication::setFont(text(13));
    return failures;
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
