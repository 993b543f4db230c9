// The main window's content against the real widgets: the sidebar's sections
// and rows, the router's screen for every module, the disk ring, the footer's
// three states, the banner's life and the summary sheet.
#include <QAccessible>
#include <QApplication>
#include <QHBoxLayout>
#include <QScrollArea>
#include <QScrollBar>
#include <QTest>

#include "app/controls/buttons.h"
#include "app/controls/focus_ring.h"
#include "app/controls/module_header.h"
#include "app/controls/progress_ring.h"
#include "app/controls/symbol_tile.h"
#include "app/controls/text_label.h"
#include "app/controls/theme.h"
#include "app/shell/banner_view.h"
#include "app/shell/cleanup_summary_view.h"
#include "app/shell/content_view.h"
#include "app/shell/detail_router.h"
#include "app/shell/disk_header_row.h"
#include "app/shell/footer_status.h"
#include "app/shell/sidebar_view.h"
#include "support/window/shell_test.h"

using std::chrono::milliseconds;
using testing_support::near;

class ContentViewTest : public ShellTest {
protected:
    void SetUp() override {
        ShellTest::SetUp();
        view = std::make_unique<ContentView>(state(), services);
        render(*view, QSize(1200, 800));
    }
    void TearDown() override {
        view.reset();
        ShellTest::TearDown();
    }
    SidebarRow* row(ModuleID m) {
        for (SidebarRow* r : view->sidebar()->rows())
            if (r->module() == m) return r;
        return nullptr;
    }
    std::vector<ModuleID> highlighted() {
        std::vector<ModuleID> out;
        for (SidebarRow* r : view->sidebar()->rows())
            if (r->isSelected()) out.push_back(r->module());
        return out;
    }
    std::unique_ptr<ContentView> view;
};

TEST_F(ContentViewTest, SidebarListsTheGroupsAndModulesInOrderWithTheirSymbols) {
    EXPECT_EQ(view->sidebar()->sectionTitles(),
              (QStringList{"Cleanup", "Files", "Protection", "Speed", "Applications"}));
    using M = ModuleID;
    const std::vector<ModuleID> order = {M::smartScan,  M::systemJunk, M::mailAttachments, M::trashBins,
                                         M::photos,     M::music,      M::diskMap,         M::largeOldFiles,
                                         M::shredder,   M::malware,    M::privacy,         M::optimization,
                                         M::loginItems, M::uninstaller, M::updater,        M::extensions};
    std::vector<ModuleID> shown;
    for (SidebarRow* r : view->sidebar()->rows()) {
        shown.push_back(r->module());
        EXPECT_EQ(r->text().toStdString(), Modules::title(r->module()));
        auto* tile = r->findChild<SymbolTile*>();
        ASSERT_TRUE(tile);
        EXPECT_EQ(tile->symbol(), Symbols::named(Modules::icon(r->module())));
        EXPECT_EQ(tile->side(), 24);
        EXPECT_EQ(tile->tint(), Theme::color(Modules::tint(r->module())));
    }
    EXPECT_EQ(shown, order);
    // Each section sits right above its first row.
    const QStringList titles = view->sidebar()->sectionTitles();
    auto* files = view->sidebar()->findChildren<TextLabel*>("sectionTitle")[1];
    EXPECT_EQ(files->text(), "Files");
    EXPECT_LT(files->y(), row(M::diskMap)->y());
    EXPECT_GT(files->y(), row(M::music)->y());
}

TEST_F(ContentViewTest, SidebarSelectionFollowsTheStateBothWays) {
    EXPECT_EQ(highlighted(), std::vector<ModuleID>{ModuleID::smartScan});
    QTest::mouseClick(row(ModuleID::privacy), Qt::LeftButton);
    EXPECT_EQ(state().module(), ModuleID::privacy);
    EXPECT_EQ(highlighted(), std::vector<ModuleID>{ModuleID::privacy});
    state().setModule(ModuleID::updater);
    EXPECT_EQ(highlighted(), std::vector<ModuleID>{ModuleID::updater});
    state().setModule(std::nullopt);
    EXPECT_TRUE(highlighted().empty());
    EXPECT_EQ(view->router()->screen()->objectName(), "DashboardView");
}

TEST_F(ContentViewTest, AfterAClickOnARowTheArrowsMoveTheSelectionAndRingTheRow) {
    view = std::make_unique<ContentView>(state(), services);  // a window on the screen, not a render
    view->resize(1200, 800);
    view->show();
    view->activateWindow();
    QCoreApplication::processEvents();
    ASSERT_EQ(QApplication::activeWindow(), view.get());
    QTest::mouseClick(row(ModuleID::trashBins), Qt::LeftButton);
    EXPECT_TRUE(view->sidebar()->hasFocus());
    EXPECT_FALSE(FocusRing::fromKeyboard(view->sidebar()));  // a click shows no ring
    QTest::keyClick(view->sidebar(), Qt::Key_Down);
    EXPECT_EQ(state().module(), ModuleID::photos);
    EXPECT_EQ(view->router()->screen()->objectName(), "JunkModuleView");
    EXPECT_TRUE(FocusRing::fromKeyboard(view->sidebar()));  // the arrows do
    QTest::keyClick(view->sidebar(), Qt::Key_Up);
    QTest::keyClick(view->sidebar(), Qt::Key_Up);
    EXPECT_EQ(state().module(), ModuleID::mailAttachments);
    // The ring is on the selected row, inside it.
    const QImage ringed = render(*row(ModuleID::mailAttachments));
    bool accent = false;
    for (int x = 0; x < ringed.width() && !accent; ++x) {
        const QColor c = ringed.pixelColor(x, 5);
        accent = c.blue() > 200 && c.red() < 150;
    }
    EXPECT_TRUE(accent);
}

TEST_F(ContentViewTest, TabGoesRoundTheSheetsOwnControlsOnly) {
    view = std::make_unique<ContentView>(state(), services);
    view->resize(1200, 800);
    view->show();
    view->activateWindow();
    QCoreApplication::processEvents();
    auto* sheet = new QWidget;
    auto* row = new QHBoxLayout(sheet);
    auto* first = new SecondaryButton("First", "stop.fill", {});
    auto* hidden = new SecondaryButton("Hidden", "stop.fill", {});
    auto* last = new PrimaryButton("Last", "checkmark", Theme::color(Theme::green), true, {});
    row->addWidget(first);
    row->addWidget(hidden);
    row->addWidget(last);
    hidden->hide();
    view->presentSheet(sheet);
    QCoreApplication::processEvents();
    EXPECT_EQ(QApplication::focusWidget(), first);
    std::vector<QWidget*> visited;
    for (int i = 0; i < 4; ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        visited.push_back(QApplication::focusWidget());
    }
    // The sheet's first control has the focus as it opens; the sheet itself
    // is never a stop.
    EXPECT_EQ(visited, (std::vector<QWidget*>{last, first, last, first}));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab, Qt::ShiftModifier);
    EXPECT_EQ(QApplication::focusWidget(), last);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab, Qt::ShiftModifier);
    EXPECT_EQ(QApplication::focusWidget(), first);
    EXPECT_TRUE(FocusRing::fromKeyboard(first));
}

TEST_F(ContentViewTest, TheSummaryIsNoStopOfItsOwnAndReadsAsADialogByItsTitle) {
    view = std::make_unique<ContentView>(state(), services);
    view->resize(1200, 800);
    view->show();
    view->activateWindow();
    QCoreApplication::processEvents();
    CleanupSummary summary;
    summary.title = "Mail Attachments";
    summary.reclaimed = 1'500'000;
    summary.removedCount = 3;
    summary.trashedBytes = 1'500'000;
    summary.notes = {"Removed the attachments of 3 messages"};
    state().setLastCleanup(summary);
    QCoreApplication::processEvents();
    CleanupSummaryView* sheet = view->summaryView();
    ASSERT_TRUE(sheet);
    QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(sheet);
    ASSERT_TRUE(iface);
    EXPECT_EQ(iface->role(), QAccessible::Dialog);
    EXPECT_EQ(iface->text(QAccessible::Name), "Cleanup summary: Mail Attachments");
    EXPECT_EQ(iface->text(QAccessible::Description), "1.5 megabytes reclaimed from 3 items");
    // The focus is on Done, without a ring, and Tab never rests on the sheet.
    EXPECT_EQ(QApplication::focusWidget(), sheet->doneButton());
    EXPECT_FALSE(FocusRing::fromKeyboard(sheet->doneButton()));
    for (int i = 0; i < 3; ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        EXPECT_EQ(QApplication::focusWidget(), sheet->doneButton());
        EXPECT_TRUE(FocusRing::fromKeyboard(sheet->doneButton()));
    }
    // Escape from Done ends the sheet.
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
    EXPECT_FALSE(state().lastCleanup());
    EXPECT_FALSE(view->summaryView());
}

TEST_F(ContentViewTest, RouterShowsEachModulesScreen) {
    struct Row {
        std::optional<ModuleID> module;
        const char* screen;
        ModuleID header;
    } rows[] = {
        {std::nullopt, "DashboardView", ModuleID::smartScan},
        {ModuleID::smartScan, "DashboardView", ModuleID::smartScan},
        {ModuleID::systemJunk, "JunkModuleView", ModuleID::systemJunk},
        {ModuleID::mailAttachments, "JunkModuleView", ModuleID::mailAttachments},
        {ModuleID::trashBins, "JunkModuleView", ModuleID::trashBins},
        {ModuleID::largeOldFiles, "JunkModuleView", ModuleID::largeOldFiles},
        {ModuleID::photos, "JunkModuleView", ModuleID::photos},
        {ModuleID::music, "JunkModuleView", ModuleID::music},
        {ModuleID::privacy, "PrivacyView", ModuleID::privacy},
        {ModuleID::extensions, "ExtensionsView", ModuleID::extensions},
        {ModuleID::loginItems, "LoginItemsView", ModuleID::loginItems},
        {ModuleID::shredder, "ShredderView", ModuleID::shredder},
        {ModuleID::uninstaller, "UninstallerView", ModuleID::uninstaller},
        {ModuleID::diskMap, "DiskMapView", ModuleID::diskMap},
        {ModuleID::optimization, "MaintenanceView", ModuleID::optimization},
        {ModuleID::malware, "MalwareView", ModuleID::malware},
        {ModuleID::updater, "UpdaterView", ModuleID::updater},
    };
    for (const Row& r : rows) {
        state().setModule(r.module);
        QWidget* screen = view->router()->screen();
        ASSERT_TRUE(screen);
        EXPECT_EQ(screen->objectName().toStdString(), r.screen);
        auto* header = screen->findChild<ModuleHeader*>();
        ASSERT_TRUE(header);
        EXPECT_EQ(header->module(), r.header);
    }
    // No module and Smart Scan are distinct branches: a fresh dashboard each way.
    state().setModule(std::nullopt);
    QWidget* first = view->router()->screen();
    state().setModule(ModuleID::smartScan);
    QWidget* second = view->router()->screen();
    EXPECT_NE(first, second);
    state().setModule(ModuleID::smartScan);
    EXPECT_EQ(view->router()->screen(), second);
}

TEST_F(ContentViewTest, DiskRingColoursByHowFullTheDiskIs) {
    const auto accent = DiskHeader::ringColors(0), amber = DiskHeader::ringColors(0.8), rose = DiskHeader::ringColors(1);
    EXPECT_EQ(accent.first, Theme::color(Theme::accentSoft));
    EXPECT_EQ(accent.second, Theme::color(Theme::accent));
    EXPECT_EQ(amber.first, Theme::color(Theme::amber));
    EXPECT_EQ(amber.second, Theme::color(Theme::amber, 0.7));
    EXPECT_EQ(rose.first, Theme::color(Theme::rose));
    struct Row {
        std::optional<FS::VolumeStats> volume;
        double used;
        std::pair<QColor, QColor> colours;
        const char* free;
        const char* total;
    } rows[] = {
        {FS::VolumeStats{1000, 250}, 0.75, accent, "250B free", "of 1000B"},
        {FS::VolumeStats{1000, 100}, 0.9, amber, "100B free", "of 1000B"},
        {FS::VolumeStats{1000, 99}, 0.901, rose, "99B free", "of 1000B"},
        {FS::VolumeStats{1000, 1200}, 0, accent, "1.2K free", "of 1000B"},
        {FS::VolumeStats{0, 0}, 0, accent, "0B free", "of 0B"},
        {std::nullopt, 0, accent, "0B free", nullptr},
    };
    for (const Row& r : rows) {
        EXPECT_DOUBLE_EQ(DiskHeader::usedFraction(r.volume), r.used);
        DiskHeaderRow header(QStringLiteral("Macintosh HD"));
        header.display(r.volume);
        const QImage img = render(header, QSize(240, 60));
        const QRectF ring = header.ring()->frameRect().translated(header.ring()->pos());
        // An eighth of the way round the ring: the arc's colour on a used
        // disk, the faint track on an empty one.
        const double radius = ring.width() / 2, diagonal = radius / std::sqrt(2.0);
        const QColor eighth = pixel(img, {ring.center().x() + diagonal, ring.center().y() - diagonal});
        EXPECT_EQ(near(eighth, r.colours.first, 40), r.used > 0) << r.used;
        EXPECT_EQ(header.findChild<TextLabel*>("freeLine")->text().toStdString(), r.free);
        auto* total = header.findChild<TextLabel*>("totalLine");
        EXPECT_EQ(total->isVisible(), r.total != nullptr);
        EXPECT_EQ(total->isVisible() ? total->text().toStdString() : std::string(), r.total ? r.total : "");
        EXPECT_EQ(header.ring()->gradientTop(), r.colours.first);
    }
    EXPECT_EQ(DiskHeader::volumeName(std::nullopt), "Startup Disk");
    EXPECT_EQ(DiskHeader::volumeName(std::string()), "Startup Disk");
    EXPECT_EQ(DiskHeader::volumeName(std::string("Data")), "Data");
}

TEST_F(ContentViewTest, FooterShowsProgressThenTheAccessLineThenNothing) {
    struct Row {
        ScanProgress progress;
        bool access;
        FooterStatus::Shows shows;
    } rows[] = {
        {{0.3, "Scanning", true}, false, FooterStatus::Shows::progress},
        {{0.3, "Scanning", true}, true, FooterStatus::Shows::progress},
        {{1, "Done", false}, false, FooterStatus::Shows::accessOff},
        {{1, "Done", false}, true, FooterStatus::Shows::nothing},
    };
    for (const Row& r : rows) EXPECT_EQ(FooterStatus::shows(r.progress, r.access), r.shows);

    FooterStatus footer(services);
    footer.display({0, "Scanning User Caches", true}, false);
    render(footer, QSize(256, 40));
    EXPECT_TRUE(footer.isVisible());
    EXPECT_EQ(footer.message(), "Scanning User Caches");
    EXPECT_DOUBLE_EQ(footer.barValue(), 0.02);
    footer.display({0.5, "Scanning", true}, false);
    EXPECT_DOUBLE_EQ(footer.barValue(), 0.5);

    footer.display({1, "Done", false}, false);
    EXPECT_EQ(footer.showing(), FooterStatus::Shows::accessOff);
    EXPECT_TRUE(footer.fixButton()->isVisibleTo(&footer));
    QTest::mouseClick(footer.fixButton(), Qt::LeftButton);
    EXPECT_EQ(services.opened,
              std::vector<std::string>{"x-apple.systempreferences:com.apple.preference.security?Privacy_AllFiles"});
    footer.display({1, "Done", false}, true);
    EXPECT_FALSE(footer.isVisible());

    // In the window, the footer follows the state's scan.
    FooterStatus& inWindow = *view->sidebar()->footer();
    EXPECT_FALSE(inWindow.isVisible());
    state().scanSystemJunk();
    EXPECT_TRUE(inWindow.isVisible());
    EXPECT_EQ(inWindow.message(), "Preparing\u2026");
    executor->settle();
    EXPECT_FALSE(inWindow.isVisible());
}

TEST_F(ContentViewTest, BannerStaysItsOwnFourAndAHalfSeconds) {
    auto shown = [&]() -> QString { return view->bannerView() ? view->bannerView()->text() : QString(); };
    state().showBanner("First", false);
    EXPECT_EQ(shown(), "First");
    executor->advance(milliseconds(2000));
    executor->runPosts();
    state().showBanner("Second", true);
    EXPECT_EQ(shown(), "Second");
    // The first banner's time is up; the second is left alone.
    executor->advance(milliseconds(2500));
    executor->runPosts();
    EXPECT_EQ(shown(), "Second");
    executor->advance(milliseconds(1999));
    executor->runPosts();
    EXPECT_EQ(shown(), "Second");
    executor->advance(milliseconds(1));
    executor->runPosts();
    EXPECT_EQ(shown(), QString());
}

TEST_F(ContentViewTest, DismissedBannerGoesAtOnceAndItsTimerSparesTheNextOne) {
    state().showBanner("Quit Safari.", false);
    render(*view, QSize(1200, 800));
    ASSERT_TRUE(view->bannerView());
    EXPECT_EQ(view->bannerView()->dismissButton()->accessibleName(), "Dismiss notification");
    QTest::mouseClick(view->bannerView()->dismissButton(), Qt::LeftButton);
    EXPECT_FALSE(view->bannerView());
    EXPECT_FALSE(state().banner());
    executor->advance(milliseconds(3000));
    executor->runPosts();
    state().showBanner("Next", false);
    // The dismissed banner's timer finds another banner and leaves it.
    executor->advance(milliseconds(1500));
    executor->runPosts();
    ASSERT_TRUE(view->bannerView());
    EXPECT_EQ(view->bannerView()->text(), "Next");
}

TEST_F(ContentViewTest, ABannerShowsItsWholeTextOnUpToThreeLinesThenCutsItAndKeepsItInTheTooltip) {
    // A maintenance task's failure carries the tool's first line, which can be long.
    const std::string tool = "Rebuild Spotlight Index failed: mdutil: unable to reach the indexing server for the "
                             "volume because the metadata server is not running on this system right now";
    const std::string endless = tool + " " + tool + " " + tool + " " + tool + " " + tool;
    struct Case {
        std::string text;
        int lines;  // shown
        bool cut;
    } cases[] = {
        {"Quit Safari.", 1, false},
        {tool, 2, false},
        {endless, 3, true},
        {std::string(400, 'x'), 3, true},  // one word longer than the window: cut inside it
    };
    for (const QSize size : {QSize(1020, 680), QSize(1600, 900)}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(std::to_string(size.width()) + " " + c.text.substr(0, 20));
            state().showBanner(c.text, true);
            render(*view, size);
            BannerView* banner = view->bannerView();
            ASSERT_TRUE(banner);
            auto* text = banner->findChild<TextLabel*>(QStringLiteral("bannerText"));
            ASSERT_TRUE(text);
            bool cut = false;
            const QStringList lines = text->linesFor(text->contentsRect().width(), &cut);
            if (size.width() == 1020) {
                EXPECT_EQ(lines.size(), c.lines);
                EXPECT_EQ(cut, c.cut);
            }
            EXPECT_LE(lines.size(), 3);
            // Every line fits the label, and the label the capsule, which stays in the window.
            for (const QString& line : lines) EXPECT_LE(text->fontMetrics().horizontalAdvance(line), text->width());
            EXPECT_GE(text->height(), int(lines.size()) * text->fontMetrics().lineSpacing());
            const QRect capsule = banner->geometry();
            EXPECT_TRUE(view->rect().contains(capsule));
            EXPECT_TRUE(banner->rect().contains(QRect(text->mapTo(banner, QPoint(0, 0)), text->size())));
            // What was shown, joined, is the text itself, unless it was cut:
            // then the last line ends in the ellipsis and the tooltip has it all.
            if (cut) {
                EXPECT_TRUE(lines.back().endsWith(QChar(0x2026)));
                EXPECT_EQ(text->toolTip().toStdString(), c.text);
            } else {
                // (Spaces aside: a word too long for a line breaks inside.)
                EXPECT_EQ(lines.join(QString()).remove(' '), QString::fromStdString(c.text).remove(' '));
                EXPECT_TRUE(text->toolTip().isEmpty());
            }
            EXPECT_EQ(banner->accessibleName().toStdString(), c.text);
        }
    }
}

TEST_F(ContentViewTest, ASummaryTallerThanTheWindowScrollsItsDetailsAndKeepsItsFiguresAndDone) {
    CleanupSummary thinned;
    thinned.title = "Thinned Universal Binaries";
    thinned.reclaimed = 812'000'000;
    thinned.removedCount = 30;
    for (int i = 0; i < 30; ++i)
        thinned.notes.push_back("Thinned /Applications/Tool " + std::to_string(i) + ".app/Contents/MacOS/Tool: removed x86_64");
    CleanupSummary failed;
    failed.title = "System Junk";
    failed.reclaimed = 4'096'000;
    failed.removedCount = 3;
    failed.trashedBytes = 1'000'000;
    failed.measuredReclaimed = 3'900'000;
    for (int i = 0; i < 7; ++i)
        failed.failures.push_back("/Users/someone/Library/Application Support/com.example.a-rather-long-vendor-name/"
                                  "Caches/deeply/nested/folder " + std::to_string(i) + "/blob.bin: Operation not permitted");
    failed.notes = {"Removed 3 system items with administrator rights", "Emptied the Trash of the startup volume"};
    const struct {
        CleanupSummary summary;
        QSize window;
    } cases[] = {{thinned, QSize(1020, 680)}, {thinned, QSize(1020, 640)}, {failed, QSize(1200, 800)}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.summary.title + " " + std::to_string(c.window.height()));
        state().setLastCleanup(c.summary);
        render(*view, c.window);
        CleanupSummaryView* sheet = view->summaryView();
        ASSERT_TRUE(sheet);
        const QRect inWindow(sheet->mapTo(view.get(), QPoint(0, 0)), sheet->size());
        EXPECT_TRUE(view->rect().contains(inWindow));
        // The figures and Done are whole and in the sheet.
        for (const char* name : {"title", "reclaimed", "reclaimedFrom"}) {
            auto* label = sheet->findChild<TextLabel*>(QString::fromLatin1(name));
            ASSERT_TRUE(label) << name;
            EXPECT_GE(label->height(), label->sizeHint().height()) << name;
            EXPECT_TRUE(sheet->rect().contains(QRect(label->mapTo(sheet, QPoint(0, 0)), label->size()))) << name;
        }
        QWidget* done = sheet->doneButton();
        EXPECT_GE(done->height(), done->sizeHint().height());
        EXPECT_TRUE(sheet->rect().contains(QRect(done->mapTo(sheet, QPoint(0, 0)), done->size())));
        // The details keep their own height, scrolling where the sheet is short.
        QScrollArea* details = sheet->details();
        ASSERT_TRUE(details);
        QWidget* content = details->widget();
        EXPECT_GE(content->height(), content->heightForWidth(content->width()));
        const bool fits = sheet->sizeHint().height() <= view->height() - 24;
        EXPECT_EQ(details->verticalScrollBar()->maximum() > 0, !fits);
        EXPECT_EQ(sheet->height(), fits ? sheet->sizeHint().height() : view->height() - 24);
        // No line lies over another: each wrapped line at least as tall as it
        // needs, each below the one before.
        int bottom = -1;
        for (auto* line : content->findChildren<TextLabel*>()) {
            if (!line->isVisible()) continue;
            const QRect at(line->mapTo(content, QPoint(0, 0)), line->size());
            EXPECT_GE(at.height(), line->heightForWidth(line->width())) << line->text().toStdString();
            EXPECT_GE(at.top(), bottom) << line->text().toStdString();
            bottom = at.bottom();
        }
        // The last note can be scrolled to.
        details->verticalScrollBar()->setValue(details->verticalScrollBar()->maximum());
        auto* last = content->findChildren<TextLabel*>(QStringLiteral("note")).back();
        const QRect lastAt(last->mapTo(details->viewport(), QPoint(0, 0)), last->size());
        EXPECT_TRUE(details->viewport()->rect().contains(lastAt));
        state().setLastCleanup(std::nullopt);
        render(*view, c.window);
    }
}

TEST_F(ContentViewTest, SummarySheetOpensWithTheStateAndItsDismissalEmptiesIt) {
    EXPECT_FALSE(view->summaryView());
    CleanupSummary summary;
    summary.title = "Trash Bins";
    state().setLastCleanup(summary);
    ASSERT_TRUE(view->summaryView());
    render(*view, QSize(1200, 800));
    QTest::keyClick(view->summaryView(), Qt::Key_Escape);
    EXPECT_FALSE(state().lastCleanup());
    EXPECT_FALSE(view->summaryView());

    state().setLastCleanup(summary);
    render(*view, QSize(1200, 800));
    ASSERT_TRUE(view->summaryView());
    QTest::mouseClick(view->summaryView()->doneButton(), Qt::LeftButton);
    EXPECT_FALSE(state().lastCleanup());
    EXPECT_FALSE(view->summaryView());
}

TEST_F(ContentViewTest, TheCatalogsScreensAndSheetsTakeTheirPlace) {
    // A catalog with one screen: its modules get it, the others their header.
    std::vector<std::optional<ModuleID>> asked;
    ScreenCatalog catalog;
    catalog.add({ModuleID::music, ModuleID::photos}, [&](const ScreenContext& context, std::optional<ModuleID> module) {
        EXPECT_EQ(&context.state, &state());
        asked.push_back(module);
        auto* screen = new QWidget;
        screen->setObjectName("JunkModuleView");
        return screen;
    });
    std::vector<QWidget*> presented;
    ScreenContext context{state(), services, [&](QWidget* sheet) { presented.push_back(sheet); }, [] {}, [] {}};
    ContentView content(state(), services, &catalog, &context);
    state().setModule(ModuleID::music);
    EXPECT_EQ(content.router()->screen()->objectName(), "JunkModuleView");
    EXPECT_FALSE(content.router()->screen()->findChild<ModuleHeader*>());
    state().setModule(ModuleID::privacy);
    EXPECT_TRUE(content.router()->screen()->findChild<ModuleHeader*>());
    EXPECT_EQ(asked, (std::vector<std::optional<ModuleID>>{ModuleID::music}));

    // A sheet lies over everything until it is deleted; the summary replaces it.
    render(content, QSize(1200, 800));
    auto* sheet = new QWidget;
    sheet->setObjectName("reviewSheet");
    content.presentSheet(sheet);
    EXPECT_EQ(content.sheet(), sheet);
    EXPECT_EQ(content.summaryView(), nullptr);
    delete sheet;
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(content.sheet(), nullptr);
    EXPECT_FALSE(content.findChild<QWidget*>("SheetOverlay"));

    content.presentSheet(new QWidget);
    CleanupSummary summary;
    summary.title = "System Junk";
    state().setLastCleanup(summary);
    ASSERT_TRUE(content.summaryView());
    EXPECT_EQ(content.sheet(), content.summaryView());
    state().setLastCleanup(std::nullopt);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(content.sheet(), nullptr);
}
