#include "diagnostics/render/render_switches.h"

#include <QApplication>
#include <QThreadPool>
#include <QVBoxLayout>
#include <algorithm>
#include <charconv>
#include <memory>

#include "app/controls/appearance.h"
#include "app/controls/coverage_list.h"
#include "app/controls/render.h"
#include "app/shell/cleanup_summary_view.h"
#include "engine/command_line.h"

namespace Diagnostics {
namespace {

constexpr long long kDefaultFailures = 30;
// Beyond this the sample would only eat memory: the sheet lists five lines
// and counts the rest.
constexpr long long kMostFailures = 100000;

// The drawing needs an application object; a switch run from the start-up
// chain has none yet and draws off the screen, needing no display.
class Drawing {
public:
    Drawing() {
        if (QApplication::instance()) return;
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
        static int argc = 1;
        static char name[] = "vessiltane";
        static char* argv[] = {name, nullptr};
        app_ = std::make_unique<QApplication>(argc, argv);
        Appearance::apply();
    }

    ~Drawing() {
        // Qt scales and encodes images on its pool; none of it outlives the application.
        if (app_) QThreadPool::globalInstance()->waitForDone();
    }

private:
    std::unique_ptr<QApplication> app_;
};

// Draws the widget into the file and says how it went.
void write(QWidget& widget, const std::string& path, QSize logicalSize, std::ostream& out, std::ostream& err) {
    const std::filesystem::path file = std::filesystem::absolute(path);
    QSize pixels;
    QString error = Render::png(widget, file, logicalSize, 2.0, &pixels);
    if (pixels.isEmpty()) {
        out << "could not render\n";
        return;
    }
    if (!error.isEmpty()) {
        const QString named = QString::fromStdString(file.string()) + QStringLiteral(": ");
        if (error.startsWith(named)) error = error.mid(named.size());
        err << "could not write " << path << ": " << error.toStdString() << '\n';
        return;
    }
    out << "rendered " << pixels.width() << "x" << pixels.height() << " to " << path << '\n';
}

}  // namespace

long long failureCount(const std::vector<std::string>& arguments) {
    auto at = std::find(arguments.begin(), arguments.end(), "--render-summary");
    if (at == arguments.end() || arguments.end() - at < 3) return kDefaultFailures;
    std::string_view text = *(at + 2);
    bool negative = false;
    if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    if (text.empty() || text.find_first_not_of("0123456789") != std::string_view::npos) return kDefaultFailures;
    if (negative) return 0;
    long long value = 0;
    auto [end, problem] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (problem != std::errc() || end != text.data() + text.size()) return kDefaultFailures;
    return value;
}

bool handleRenderSummary(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err) {
    auto path = CommandLine::value(arguments, "--render-summary");
    if (!path) return false;
    const long long failures = failureCount(arguments);
    if (failures > kMostFailures) {
        err << "render-summary: at most " << kMostFailures << " failure lines, not " << failures << '\n';
        return true;
    }
    Drawing drawing;
    CleanupSummary summary;
    summary.reclaimed = 2050000000;
    summary.removedCount = 49;
    for (long long i = 0; i < failures; ++i)
        summary.failures.push_back("com.apple.InferenceProviderService.item" + std::to_string(i) +
                                   ": Could not be removed with administrator rights");
    summary.title = "Smart Scan";
    summary.notes = {"Removed 1 system item with administrator rights"};
    summary.measuredReclaimed = 2390000000;
    summary.trashedBytes = 0;
    CleanupSummaryView view(summary, [] {});
    write(view, *path, {}, out, err);
    return true;
}

bool handleRenderCoverage(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err) {
    auto path = CommandLine::value(arguments, "--render-coverage");
    if (!path) return false;
    Drawing drawing;
    using S = CoverageEntry::Status;
    std::vector<CoverageEntry> entries = {
        {"1", "User Trash", "~/.Trash", S::checked, 2},
        {"2", "Trash on MOLVANE", "/Volumes/MOLVANE/.Trashes/501", S::checked, 0},
        {"3", "Mail Trash", "~/Library/Mail", S::checked, 3},
        {"4", "iCloud Drive Trash", "~/Library/Mobile Documents/.Trash", S::checked, 28},
        {"5", "MacDroid Trash", "~/Library/CloudStorage/MacDroid/.Trash", S::unreadable, 0},
        {"6", "System Trash", "/.Trashes", S::missing, 0},
    };
    QWidget frame;
    auto* padding = new QVBoxLayout(&frame);
    padding->setContentsMargins(20, 20, 20, 20);
    padding->addWidget(new CoverageList(std::move(entries), true));
    constexpr int kWidth = 560;
    frame.setFixedWidth(kWidth);
    const int height = frame.layout()->hasHeightForWidth() ? frame.layout()->heightForWidth(kWidth)
                                                           : frame.sizeHint().height();
    write(frame, *path, QSize(kWidth, height), out, err);
    return true;
}

}  // namespace Diagnostics
