// Pictures of the real window for looking at the screens (scripts/screenshots
// runs it): the application's own main window over a sample home, one PNG per
// sidebar module, a few screens filled in (the shredder with entries, the
// updates found in sample feeds, Smart Scan after a scan with its review
// sheet, the adware and extensions screens with results) and one of the
// cleanup summary sheet, each 1200 x 800 at ratio 2; the focus ring Tab
// brings, on a capsule button, a checkbox and a sidebar row; two strips of
// four frames of motion on a clock driven by hand (a card opening, a banner
// coming in); each tab of the settings window; the renders of the hidden
// switches and the application icon.
//
//   vessiltane_screenshots DIR
//
// HOME and VESSILTANE_ROOT must name a sample home and a system root made for
// the purpose; it refuses to run on the real home folder.
#include <pwd.h>
#include <unistd.h>

#include <QApplication>
#include <QFileDialog>
#include <QScreen>
#include <QElapsedTimer>
#include <QMainWindow>
#include <QScrollBar>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <tuple>
#include <functional>
#include <string>
#include <thread>

#include <QBuffer>
#include <QPainter>

#include "app/controls/buttons.h"
#include "app/controls/checkbox.h"
#include "app/controls/focus_ring.h"
#include "app/controls/fonts.h"
#include "app/controls/tab_view.h"
#include "app/controls/toggle_switch.h"

#include "app/controls/file_chooser.h"
#include "app/controls/list_column.h"
#include "app/controls/motion.h"
#include "app/controls/render.h"
#include "app/controls/results_list.h"
#include "app/shell/content_view.h"
#include "app/shell/detail_router.h"
#include "app/shell/sidebar_view.h"
#include "app/shell/vessiltane_app.h"
#include "app/state/app_state.h"
#include "app/state/executor.h"
#include "diagnostics/render/icon_renderer.h"
#include "diagnostics/render/render_switches.h"
#include "engine/ignores.h"
#include "modules/system/updater.h"
#include "platform/atomic_file.h"
#include "platform/locations.h"
#include "screens/dashboard_view.h"
#include "screens/junk_module_view.h"
#include "platform/plist.h"
#include "screens/screen_catalog.h"
#include "screens/schedule_tab.h"
#include "screens/settings_view.h"
#include "screens/shredder_view.h"
#include "screens/orphans_pane.h"
#include "screens/screen_catalog.h"
#include "screens/uninstaller_view.h"

namespace {

// Runs the event loop for a while, so the window settles (its frame, the
// screen it shows, the work it started).
void settle(int milliseconds) {
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < milliseconds) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

// Runs the event loop until done() holds or the time is up.
void settleUntil(const std::function<bool()>& done, int milliseconds = 15000) {
    QElapsedTimer clock;
    clock.start();
    while (!done() && clock.elapsed() < milliseconds) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    settle(200);
}

bool onRealHome() {
    const char* home = std::getenv("HOME");
    const passwd* user = ::getpwuid(::getuid());
    if (!home || !*home || !user || !user->pw_dir) return true;
    std::error_code ec;
    return std::filesystem::equivalent(home, user->pw_dir, ec) || !std::getenv("VESSILTANE_ROOT");
}

CleanupSummary sampleSummary() {
    CleanupSummary s;
    s.title = "System Junk";
    s.reclaimed = 1'284'000'000;
    s.removedCount = 214;
    s.trashedBytes = 0;
    s.measuredReclaimed = 1'279'500'000;
    s.failures = {"/Library/Caches/com.example.updater: Needs administrator access"};
    s.notes = {"Removed 3 system items with administrator rights"};
    return s;
}

// A file of that length, its folders made (in the sample home only).
void sampleFile(const std::filesystem::path& path, size_t bytes) {
    std::filesystem::create_directories(path.parent_path());
    if (FILE* f = std::fopen(path.c_str(), "wb")) {
        const std::string data(bytes, 'x');
        std::fwrite(data.data(), 1, data.size(), f);
        std::fclose(f);
    }
}

// Runs the event loop until the state's running action ends (at most 60 s).
void settleScan(const AppState& state) {
    QElapsedTimer clock;
    clock.start();
    settle(200);
    while (state.progress().isRunning && clock.elapsed() < 60000) settle(50);
    settle(200);
}

// Update feeds answered from here, never from the network: each sample
// application's feed advertises the version given.
class SampleFeeds : public FeedFetcher {
public:
    void fetchBatch(const std::vector<std::string>& urls, const Completion& done) override {
        for (size_t i = 0; i < urls.size(); ++i) {
            const std::string version = urls[i].substr(urls[i].rfind('/') + 1, urls[i].size() - urls[i].rfind('/') - 5);
            FeedResponse response;
            response.status = 200;
            response.body = "<?xml version=\"1.0\"?><rss xmlns:sparkle=\"http://www.andymatuschak.org/xml-namespaces/"
                            "sparkle\"><channel><item><title>" + version + "</title><pubDate>Tue, 04 Mar 2025 10:00:00 "
                            "+0000</pubDate><sparkle:releaseNotesLink>https://example.com/notes/" + version +
                            ".html</sparkle:releaseNotesLink><enclosure url=\"https://example.com/download/" + version +
                            ".zip\" sparkle:shortVersionString=\"" + version + "\"/></item></channel></rss>";
            done(i, response);
        }
    }
};

// Sample applications in the sample root: two publish a feed (with a newer
// version in it), one does not.
void sampleApplications() {
    struct App {
        const char* name;
        const char* version;
        const char* advertised;
    } apps[] = {{"Sketchbook", "2.1", "2.4"}, {"Terminal Deluxe", "5.0.3", "5.1"}, {"Notes Plus", "1.0", nullptr}};
    for (const App& app : apps) {
        std::map<std::string, Plist::Value> info{
            {"CFBundleIdentifier", Plist::Value::makeString(std::string("com.example.") + app.name)},
            {"CFBundleName", Plist::Value::makeString(app.name)},
            {"CFBundleShortVersionString", Plist::Value::makeString(app.version)}};
        if (app.advertised)
            info["SUFeedURL"] = Plist::Value::makeString(std::string("https://feeds.example.com/") + app.advertised + ".xml");
        const auto bundle = Locations::system("/Applications") / (std::string(app.name) + ".app");
        AtomicFile::makeFolders(bundle / "Contents");
        AtomicFile::write(bundle / "Contents/Info.plist", Plist::toXml(Plist::Value::makeDict(std::move(info))));
    }
}

// Four moments of a motion, side by side (across) or one below the other:
// the clock moved to each of the times (in milliseconds from the start) and
// the window's area drawn there, at the ratio, with its time written in the
// corner.
void strip(const std::filesystem::path& file, Motion::ManualClock& clock, QWidget& window, QSize size,
           std::initializer_list<int> times, const QRect& area, double ratio, bool across, int& status) {
    const int gap = 12;
    const QSize frame(int(area.width() * ratio), int(area.height() * ratio));
    const int n = int(times.size());
    QImage out(across ? QSize(n * frame.width() + (n - 1) * gap, frame.height())
                      : QSize(frame.width(), n * frame.height() + (n - 1) * gap),
               QImage::Format_ARGB32_Premultiplied);
    out.fill(QColor(0x60, 0x60, 0x66));
    QPainter p(&out);
    int at = 0, index = 0;
    for (int t : times) {
        clock.step(t - at);
        at = t;
        const QImage whole = Render::image(window, size, ratio);
        QImage part = whole.copy(QRect(QPoint(int(area.left() * ratio), int(area.top() * ratio)), frame));
        part.setDevicePixelRatio(1);  // drawn pixel for pixel into the strip
        const QPoint place = across ? QPoint(index * (frame.width() + gap), 0) : QPoint(0, index * (frame.height() + gap));
        p.drawImage(place, part);
        QFont font = Fonts::text(11 * ratio, QFont::DemiBold);
        p.setFont(font);
        const QString label = QString::number(t) + QStringLiteral(" ms");
        const QSize boxSize(int(54 * ratio), int(18 * ratio));
        const QRect box(place + QPoint(frame.width() - boxSize.width() - int(6 * ratio), frame.height() - boxSize.height() - int(4 * ratio)), boxSize);
        p.fillRect(box, QColor(0, 0, 0, 150));
        p.setPen(Qt::white);
        p.drawText(box, Qt::AlignCenter, label);
        ++index;
    }
    p.end();
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    std::string error;
    if (!out.save(&buffer, "PNG") ||
        !AtomicFile::write(file, std::string_view(bytes.constData(), size_t(bytes.size())), &error)) {
        std::fprintf(stderr, "vessiltane_screenshots: %s: %s\n", file.c_str(), error.empty() ? "cannot encode" : error.c_str());
        status = 1;
        return;
    }
    std::printf("%s\n", file.c_str());
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: vessiltane_screenshots DIR\n");
        return 2;
    }
    if (onRealHome()) {
        std::fprintf(stderr, "vessiltane_screenshots: HOME must be a sample home and VESSILTANE_ROOT a sample root\n");
        return 2;
    }
    const std::filesystem::path out = argv[1];
    // An adware match and a plug-in, so those screens have something to list.
    const std::filesystem::path library = Locations::home() / "Library";
    sampleFile(library / "Application Support/com.pirrit.agent/agent.db", 48000);
    sampleFile(library / "LaunchAgents/com.pirrit.update.plist", 900);
    sampleFile(library / "Internet Plug-Ins/Viewer.plugin/Contents/MacOS/Viewer", 180000);
    sampleFile(library / "PreferencePanes/Tuner.prefPane/Contents/MacOS/Tuner", 64000);
    QApplication application(argc, argv);
    // A font that did not load is reported by the preparation itself.
    VessiltaneApp::prepareApplication();
    // Each picture shows where a change ends, not a moment of its motion.
    Motion::setEnabled(false);

    int status = 0;
    {
        VessiltaneApp::Session session({"vessiltane"}, Screens::catalog());
        AppState& state = *session.state;
        VessiltaneApp& app = *session.app;
        app.showMain();
        settle(1200);

        const QSize size(1200, 800);
        auto save = [&](const std::string& name) {
            const std::filesystem::path file = out / (name + ".png");
            const QString error = Render::png(*app.mainWindow(), file, size);
            if (!error.isEmpty()) {
                std::fprintf(stderr, "vessiltane_screenshots: %s\n", error.toLocal8Bit().constData());
                status = 1;
                return;
            }
            std::printf("%s\n", file.c_str());
        };
        int number = 1;
        for (ModuleID module : Modules::allCases()) {
            state.setModule(module);
            settle(300);
            // The disk map measures only when asked: the sample home's.
            if (module == ModuleID::diskMap) {
                state.buildDiskMap(Locations::home());
                for (int i = 0; i < 100 && state.isScanning(ModuleID::diskMap); ++i) settle(100);
            }
            const std::string prefix = (number < 10 ? "0" : "") + std::to_string(number) + "-";
            ++number;
            save(prefix + std::string(Modules::rawValue(module)));
        }
        // Smart Scan after a scan, and its review sheet.
        state.setModule(ModuleID::smartScan);
        state.smartScanAll();
        settleScan(state);
        save("smartScan-scanned");
        if (auto* dashboard = qobject_cast<DashboardView*>(app.content()->router()->screen())) {
            // The dashboard is one column: scrolled to its end, the hero has
            // gone and the last card shows, with its first card opened.
            dashboard->results()->setCategoryExpanded(0, true);
            settle(200);
            QScrollBar* bar = dashboard->column()->scrollBar();
            bar->setValue(bar->maximum());
            settle(200);
            save("dashboard-end");
            dashboard->results()->setCategoryExpanded(0, false);
            bar->setValue(0);
            settle(200);
            dashboard->reviewButton()->click();
            settle(300);
            save("review-sheet");
            if (dashboard->reviewSheet()) dashboard->reviewSheet()->deleteLater();
            // No event loop runs here to end it: its deletion is sent at once.
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
            settle(200);
        }
        // The adware check and the extensions with their results, one match ticked.
        state.setModule(ModuleID::malware);
        settleScan(state);
        if (!state.malware().categories.empty() && !state.malware().categories[0].items.empty())
            state.toggle(state.malware().categories[0].items[0].id, ModuleID::malware);
        settle(200);
        save("malware-results");
        state.setModule(ModuleID::extensions);
        settleScan(state);
        save("extensions-results");
        // The shredder with entries from the sample home, one of them ticked.
        state.setModule(ModuleID::shredder);
        settle(200);
        if (auto* shredder = qobject_cast<ShredderView*>(app.content()->router()->screen())) {
            const auto home = Locations::home();
            shredder->append({home / "Downloads/Installer-2.4.dmg", home / "Documents/Projects",
                              home / "Documents/letter.txt"});
            settle(600);
            shredder->setSelected(shredder->entries().front().item.id, true);
            shredder->update();
            settle(200);
            save("shredder-entries");
        }
        // The update check over sample applications and sample feeds.
        sampleApplications();
        Updater::setFetcherForTesting(std::make_shared<SampleFeeds>());
        state.setModule(ModuleID::updater);
        state.checkForUpdates();
        for (int i = 0; i < 100 && state.updaterRunning(); ++i) settle(50);
        settle(300);
        save("updater-checked");
        // Each tab of the settings window, with two paths on the ignore list.
        Ignores::add((Locations::home() / "Documents/Projects").string());
        Ignores::add((Locations::home() / "Music/Live Recordings").string());
        app.showSettings();
        settle(300);
        auto saveSettings = [&](const std::string& name) {
            const std::filesystem::path file = out / ("settings-" + name + ".png");
            const QString error = Render::png(*app.settingsWindow(), file, QSize(520, 400));
            if (!error.isEmpty()) {
                std::fprintf(stderr, "vessiltane_screenshots: %s\n", error.toLocal8Bit().constData());
                status = 1;
            } else {
                std::printf("%s\n", file.c_str());
            }
        };
        if (auto* tabs = app.settingsWindow()->findChild<TabView*>()) {
            const char* names[] = {"general", "ignore-list", "schedule"};
            for (int tab = 0; tab < tabs->count() && tab < 3; ++tab) {
                tabs->setCurrentIndex(tab);
                settle(200);
                saveSettings(names[tab]);
            }
            // The daily cleanup turned on from the keyboard: the switch stays
            // where it was, its ring around it (launchctl is missing here, so
            // the window says the job could not be loaded).
            if (auto* schedule = app.settingsWindow()->findChild<ScheduleTab*>()) {
                app.settingsWindow()->activateWindow();
                settle(200);
                schedule->enabledSwitch()->setFocus(Qt::TabFocusReason);
                schedule->enabledSwitch()->click();
                settleUntil([&] { return !app.settingsWindow()->findChild<SettingsView*>()->busy(); });
                settle(200);
                saveSettings("schedule-on");
                schedule->setScheduleEnabled(false);
                settleUntil([&] { return !app.settingsWindow()->findChild<SettingsView*>()->busy(); });
            }
        }
        app.settingsWindow()->close();
        // Privacy with its traces listed; the uninstaller with the sample
        // application and its leftovers; the orphaned files with a card open.
        state.setModule(ModuleID::privacy);
        settleUntil([&] { return !state.privacy().categories.empty() && !state.progress().isRunning; });
        save("privacy");
        state.setModule(ModuleID::uninstaller);
        settleUntil([&] { return !state.apps().empty(); });
        save("uninstaller");
        for (const auto& installed : state.apps())
            if (installed.name == "Sample Notes") state.select(installed);
        settleUntil([&] { return !state.leftovers().empty() && !state.progress().isRunning; });
        save("uninstaller-details");
        UninstallerView* uninstaller = nullptr;
        for (auto* screen : app.mainWindow()->findChildren<UninstallerView*>())
            if (screen->isVisible()) uninstaller = screen;  // not one the router has let go
        if (uninstaller) {
            uninstaller->setMode(1);
            settleUntil([&] { return !state.scanningOrphans() && !state.orphanCategories().empty(); });
            if (OrphansPane* pane = uninstaller->orphansPane(); pane && !pane->cards().empty()) {
                pane->cards().front()->setExpanded(true);
                state.setOrphanItemSelected(0, 0, true);
            }
            settle(300);
            save("orphaned-files");
        }

        state.setModule(ModuleID::systemJunk);
        settleScan(state);
        state.setLastCleanup(sampleSummary());
        settle(300);
        save("summary");
        state.setLastCleanup(std::nullopt);
        settle(300);
        // A widget (or the whole display) as a picture of its own size.
        auto saveWidget = [&](QWidget& widget, const std::string& name, QSize size) {
            const std::filesystem::path file = out / (name + ".png");
            const QString error = Render::png(widget, file, size);
            if (!error.isEmpty()) {
                std::fprintf(stderr, "vessiltane_screenshots: %s\n", error.toLocal8Bit().constData());
                status = 1;
                return;
            }
            std::printf("%s\n", file.c_str());
        };
        // A summary of thirty notes in the smallest window: its notes scroll
        // between the figures and Done.
        {
            CleanupSummary thinned;
            thinned.title = "Thinned Universal Binaries";
            thinned.reclaimed = 812'000'000;
            thinned.removedCount = 30;
            for (int i = 0; i < 30; ++i)
                thinned.notes.push_back("Thinned /Applications/Tool " + std::to_string(i) +
                                        ".app/Contents/MacOS/Tool: removed the x86_64 slice");
            const QSize before = app.mainWindow()->size();
            app.mainWindow()->resize(1020, 680);
            state.setLastCleanup(thinned);
            settle(400);
            saveWidget(*app.mainWindow(), "summary-30-notes-1020x680", QSize(1020, 680));
            state.setLastCleanup(std::nullopt);
            app.mainWindow()->resize(before);
            settle(300);
        }
        // The header while System Junk is scanned again over its results.
        // (Drawn at once: the sample home's scan is over in a blink.)
        state.scanSystemJunk();
        save("header-rescan");
        settleScan(state);
        // A banner whose text is too long for one line.
        state.showBanner("Rebuild Spotlight Index failed: mdutil: unable to reach the indexing server for the volume "
                         "because the metadata server is not running; Spotlight keeps its old index until it is "
                         "started again, and searches may miss files added since the last successful indexing run",
                         true);
        settle(400);
        save("banner-long");
        state.dismissBanner();
        settle(300);
        // The shredder's file chooser, opened in the home folder, with a file
        // of the Downloads folder chosen.
        {
            std::unique_ptr<QFileDialog> chooser = FileChooser::make("Add", app.mainWindow());
            chooser->show();
            settle(300);
            chooser->setDirectory(QString::fromStdString((Locations::home() / "Downloads").string()));
            settle(400);
            chooser->selectFile(QStringLiteral("notes.txt"));
            settle(300);
            saveWidget(*chooser, "shredder-chooser", chooser->size());
            chooser->reject();
            settle(200);
        }
        // The settings window over the main window, as the display shows them.
        app.showMain();
        app.showSettings();
        settle(500);
        if (QScreen* screen = app.mainWindow()->screen()) {
            const std::filesystem::path file = out / "settings-over-main.png";
            if (screen->grabWindow(0).save(QString::fromStdString(file.string())))
                std::printf("%s\n", file.c_str());
            else {
                std::fprintf(stderr, "vessiltane_screenshots: could not write %s\n", file.c_str());
                status = 1;
            }
        }
        app.settingsWindow()->close();
        settle(300);

        // The focus ring as the keyboard brings it: on a capsule button (the
        // junk screen's Rescan), on a checkbox (a leftover of the uninstaller)
        // and on the sidebar's selected row.
        app.mainWindow()->activateWindow();
        settle(300);
        auto ringed = [&](QWidget* control, const std::string& name) {
            if (!control) {
                std::fprintf(stderr, "vessiltane_screenshots: nothing to focus for %s\n", name.c_str());
                status = 1;
                return;
            }
            control->setFocus(Qt::TabFocusReason);
            settle(200);
            if (!FocusRing::fromKeyboard(control)) {
                std::fprintf(stderr, "vessiltane_screenshots: %s took no keyboard focus\n", name.c_str());
                status = 1;
            }
            save(name);
        };
        if (auto* junk = qobject_cast<JunkModuleView*>(app.content()->router()->screen()))
            ringed(junk->scanButton(), "focus-capsule-button");
        state.setModule(ModuleID::uninstaller);
        settleUntil([&] { return !state.leftovers().empty() && !state.progress().isRunning; });
        Checkbox* leftover = nullptr;
        for (auto* box : app.content()->router()->findChildren<Checkbox*>())
            if (!leftover && box->isVisible()) leftover = box;
        ringed(leftover, "focus-checkbox");
        ringed(app.content()->sidebar(), "focus-sidebar-row");
        app.content()->sidebar()->clearFocus();
        settle(200);

        // Motion, four frames of each on the clock driven by hand: a card of
        // the junk screen opening (the cards below it moving down), and a
        // banner coming in from the top edge.
        state.setModule(ModuleID::systemJunk);
        settle(300);
        if (auto* junk = qobject_cast<JunkModuleView*>(app.content()->router()->screen())) {
            const ScanReport& report = state.junk();
            int widest = -1;
            for (int c = 0; c < int(report.categories.size()); ++c)
                if (widest < 0 || report.categories[size_t(c)].items.size() > report.categories[size_t(widest)].items.size())
                    widest = c;
            QWidget* window = app.mainWindow();
            const QRect detail(app.content()->router()->mapTo(window, QPoint(0, 0)), app.content()->router()->size());
            const QRect content(app.content()->mapTo(window, QPoint(0, 0)), app.content()->size());
            if (widest >= 0) {
                Motion::ManualClock clock;
                junk->results()->setCategoryExpanded(widest, true, true);
                const int settleMs = Motion::DisclosureSpring::curve().durationMs;
                strip(out / "motion-card-opening.png", clock, *window, size, {0, 50, 110, settleMs},
                      QRect(detail.left(), detail.top(), detail.width(), 480), 1.0, true, status);
                junk->results()->setCategoryExpanded(widest, false);
            }
            {
                Motion::ManualClock clock;
                state.showBanner("Emptied the Trash.", false);
                const int settleMs = Motion::BannerSpring::curve().durationMs;
                const int bannerWidth = 520;
                strip(out / "motion-banner-entering.png", clock, *window, size, {0, 60, 130, settleMs},
                      QRect(content.left() + (content.width() - bannerWidth) / 2, content.top(), bannerWidth, 64),
                      2.0, false, status);
                state.dismissBanner();
                clock.step(2000);
            }
            settle(200);
        }
        app.mainWindow()->close();
        settle(100);

        // The renders of the hidden switches, and the application icon at 1024 pixels.
        for (const auto& [flag, file, count] :
             {std::tuple{"--render-summary", "render-summary-0.png", "0"}, {"--render-summary", "render-summary-6.png", "6"},
              {"--render-coverage", "render-coverage.png", ""}}) {
            std::vector<std::string> arguments{"vessiltane", flag, (out / file).string()};
            if (*count) arguments.emplace_back(count);
            if (std::string(flag) == "--render-summary")
                Diagnostics::handleRenderSummary(arguments, std::cout, std::cerr);
            else
                Diagnostics::handleRenderCoverage(arguments, std::cout, std::cerr);
        }
        try {
            const auto icons = out / "icon";
            IconRenderer::render(icons);
            std::printf("%s\n", (icons / "icon_512x512@2x.png").c_str());
        } catch (const std::exception& error) {
            std::fprintf(stderr, "vessiltane_screenshots: icon: %s\n", error.what());
            status = 1;
        }
        settle(100);
    }
    waitForBackgroundWork();
    return status;
}
