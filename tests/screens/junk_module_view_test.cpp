// The junk modules' screen against the real widgets and the manual executor,
// over files in the test's home: its states from never scanned to cleaned for
// each of the six modules, Stop, the byte-sum rule of Remove, the hint card
// and the thinning confirmation.
#include <QTest>

#include "app/controls/buttons.h"
#include "app/controls/coverage_list.h"
#include "app/controls/empty_state_view.h"
#include "app/controls/link_button.h"
#include "app/controls/results_list.h"
#include "app/controls/results_model.h"
#include "app/controls/text_label.h"
#include "app/controls/theme.h"
#include "engine/admin.h"
#include "engine/byte_format.h"
#include "platform/user.h"
#include "platform/volumes.h"
#include "screen_test.h"
#include "screens/junk_module_view.h"
#include "screens/permission_hint.h"
#include "support/universal_binary.h"

using namespace testing_support;
namespace fs = std::filesystem;

namespace {

QString texts(const EmptyStateView* empty, const char* name) {
    return empty->findChild<TextLabel*>(QString::fromLatin1(name))->text();
}

bool shown(const QWidget* widget, const QWidget* screen) { return widget && widget->isVisibleTo(screen); }

}  // namespace

class JunkModuleViewTest : public ScreenTest {
protected:
    // A file of that allocated size whose own time and its folders' (up to
    // the home) lie that many days back.
    void oldFile(const fs::path& relative, int64_t bytes, int days) {
        allocateFile(home() / relative, bytes);
        const auto when = std::chrono::system_clock::now() - std::chrono::hours(24) * days;
        for (fs::path p = home() / relative; p != home(); p = p.parent_path()) setTimes(p, when);
    }
};

TEST_F(JunkModuleViewTest, EachModuleGoesFromNeverScannedThroughScanningToRemovingWhatIsTicked) {
    struct Case {
        ModuleID module;
        const char* file;
        int64_t bytes;
        int days;
        const char* message;
        bool toTrash;
    } cases[] = {
        {ModuleID::systemJunk, "Library/Caches/com.example.editor/cache.db", 64 * 1024, 3, "Preparing\u2026", false},
        {ModuleID::trashBins, ".Trash/old-draft.txt", 16 * 1024, 0, "Looking for Trash\u2026", false},
        {ModuleID::photos, "Library/Caches/com.apple.Photos/thumbs.db", 32 * 1024, 2, "Reading your photo library\u2026",
         false},
        {ModuleID::music, "Library/Caches/com.apple.Music/artwork.db", 48 * 1024, 8, "Reading your media library\u2026",
         false},
        {ModuleID::mailAttachments, "Library/Mail Downloads/invoice.pdf", 8192, 40, "Reading Mail\u2026", true},
        {ModuleID::largeOldFiles, "Movies/Holiday.mov", 110 * 1024 * 1024, 400, "Looking for large and old files\u2026",
         true},
    };
    for (const Case& c : cases) {
        const std::string name(Modules::rawValue(c.module));
        SCOPED_TRACE(name);
        oldFile(c.file, c.bytes, c.days);
        JunkModuleView view(context(), c.module);
        view.resize(1000, 760);

        // Never scanned by this screen: its subtitle and "Scan now".
        EXPECT_FALSE(view.hasScanned());
        ASSERT_TRUE(view.emptyState());
        EXPECT_EQ(texts(view.emptyState(), "title"), "Nothing scanned yet");
        EXPECT_EQ(texts(view.emptyState(), "message").toStdString(), Modules::subtitle(c.module));
        EXPECT_EQ(view.emptyState()->actionButton()->text(), "Scan now");
        EXPECT_EQ(view.scanButton()->text(), "Scan");
        EXPECT_FALSE(shown(view.removeButton(), &view));
        EXPECT_FALSE(view.hint());  // no refused place, Full Disk Access granted

        // Shown with no report: it scans at once.
        view.show();
        EXPECT_TRUE(view.hasScanned());
        EXPECT_TRUE(view.isScanning());
        EXPECT_TRUE(shown(view.scanStatus(), &view));
        EXPECT_EQ(view.scanStatus()->message(), c.message);
        EXPECT_FALSE(shown(view.scanButton(), &view));
        EXPECT_TRUE(shown(view.placeholder(), &view));
        EXPECT_FALSE(shown(view.emptyColumn(), &view));

        settle();
        ASSERT_TRUE(shown(view.results(), &view));
        EXPECT_FALSE(shown(view.scanStatus(), &view));
        EXPECT_EQ(view.scanButton()->text(), "Rescan");
        EXPECT_EQ(view.thinButton() != nullptr, c.module == ModuleID::systemJunk);
        // Review items start unticked: the test ticks the file's own item.
        const fs::path file = home() / c.file;
        const ScanReport& report = state().report(c.module);
        for (size_t k = 0; k < report.categories.size(); ++k)
            for (size_t i = 0; i < report.categories[k].items.size(); ++i) {
                const ScanItem& item = report.categories[k].items[i];
                const bool mine = file.string().rfind(item.url.string(), 0) == 0;
                if (item.isSelected != mine) state().toggle(c.module, k, i);
            }
        int64_t ticked = 0;
        for (const ScanCategory& category : state().report(c.module).categories) ticked += category.selectedSize();
        ASSERT_GE(ticked, c.bytes);
        ASSERT_TRUE(shown(view.removeButton(), &view));
        EXPECT_EQ(view.removeButton()->text().toStdString(), "Remove " + ByteFormat::compact(ticked));

        QTest::mouseClick(view.removeButton(), Qt::LeftButton);
        settle();
        EXPECT_FALSE(fs::exists(file));
        const fs::path trashed = home() / ".Trash" / file.filename();
        if (c.module != ModuleID::trashBins) {
            EXPECT_EQ(fs::exists(trashed), c.toTrash);
        }
        ASSERT_TRUE(state().lastCleanup());
        EXPECT_EQ(state().lastCleanup()->title, Modules::title(c.module));
        EXPECT_EQ(state().lastCleanup()->removedCount, 1);
        state().setLastCleanup(std::nullopt);
        if (c.toTrash) fs::remove(trashed);
    }
}

TEST_F(JunkModuleViewTest, AScanThatFindsNothingSaysSoAndListsWhatItChecked) {
    JunkModuleView view(context(), ModuleID::photos);
    view.show();
    settle();
    EXPECT_FALSE(shown(view.results(), &view));
    ASSERT_TRUE(shown(view.emptyState(), &view));
    EXPECT_EQ(texts(view.emptyState(), "title"), "Nothing to clean");
    EXPECT_EQ(texts(view.emptyState(), "message"),
              "Photos Junk found nothing it can remove right now. What it checked is listed below.");
    EXPECT_EQ(view.emptyState()->actionButton()->text(), "Scan again");
    ASSERT_TRUE(shown(view.coverage(), &view));
    EXPECT_EQ(view.coverage()->entries().size(), state().report(ModuleID::photos).coverage.size());
    EXPECT_EQ(view.scanButton()->text(), "Scan");
    // In a tall screen the list of what was checked stands right under the
    // empty state (the column's spacing apart), not at the bottom.
    view.resize(1000, 1000);
    render(view, view.size());
    const int emptyBottom = view.emptyState()->mapTo(&view, QPoint(0, view.emptyState()->height())).y();
    const int coverageTop = view.coverage()->mapTo(&view, QPoint(0, 0)).y();
    EXPECT_EQ(coverageTop - emptyBottom, 14);
    EXPECT_LT(coverageTop + view.coverage()->height(), 800);

    // "Scan again" scans once more.
    QTest::mouseClick(view.emptyState()->actionButton(), Qt::LeftButton);
    EXPECT_TRUE(view.isScanning());
    settle();
    EXPECT_TRUE(shown(view.emptyState(), &view));

    // Every appearance over a report with nothing in it scans, whether or not
    // this screen scanned before.
    view.hide();
    view.show();
    EXPECT_TRUE(view.isScanning());
    settle();
}

TEST_F(JunkModuleViewTest, AScanStartedElsewhereLeavesTheNeverScannedWording) {
    // The window's Rescan (not this screen) scans an empty home.
    state().scanMusic();
    JunkModuleView view(context(), ModuleID::music);
    view.show();  // its own module already scans: nothing new starts
    EXPECT_EQ(executor->queuedWork(), 1u);
    EXPECT_TRUE(shown(view.placeholder(), &view));
    settle();
    EXPECT_FALSE(view.hasScanned());
    EXPECT_EQ(texts(view.emptyState(), "title"), "Nothing scanned yet");
    EXPECT_FALSE(view.coverage());
}

TEST_F(JunkModuleViewTest, StopEndsTheScanAtOnceAndTheStoppedScanStillStoresItsReport) {
    oldFile("Library/Caches/com.example.editor/cache.db", 64 * 1024, 3);
    JunkModuleView view(context(), ModuleID::systemJunk);
    view.show();
    const ScanTokenRef token = state().token();
    ASSERT_TRUE(shown(view.scanStatus()->stopButton(), &view));
    QTest::mouseClick(view.scanStatus()->stopButton(), Qt::LeftButton);
    EXPECT_TRUE(token->isCancelled());
    EXPECT_EQ(state().token(), token);
    EXPECT_FALSE(view.isScanning());
    EXPECT_FALSE(shown(view.scanStatus(), &view));
    EXPECT_TRUE(shown(view.scanButton(), &view));
    settle();
    EXPECT_TRUE(state().hasReport(ModuleID::systemJunk));

    // A rescan keeps the listed results under the running header.
    state().scanSystemJunk();
    settle();
    ASSERT_TRUE(shown(view.results(), &view));
    QTest::mouseClick(view.scanButton(), Qt::LeftButton);
    EXPECT_TRUE(shown(view.results(), &view));
    EXPECT_TRUE(shown(view.scanStatus(), &view));
    EXPECT_FALSE(shown(view.placeholder(), &view));
    settle();
}

TEST_F(JunkModuleViewTest, RemoveIsAbsentWithNothingTickedAndAnotherModulesScanLeavesTheHeaderIdle) {
    oldFile("Library/Caches/com.example.editor/cache.db", 64 * 1024, 3);
    state().scanSystemJunk();
    settle();
    JunkModuleView view(context(), ModuleID::systemJunk);
    view.show();
    EXPECT_EQ(executor->queuedWork(), 0u);  // a report with categories starts nothing
    ASSERT_TRUE(shown(view.removeButton(), &view));
    state().setSelection(false, std::nullopt, ModuleID::systemJunk);
    EXPECT_FALSE(shown(view.removeButton(), &view));
    EXPECT_TRUE(shown(view.scanButton(), &view));
    EXPECT_EQ(view.scanButton()->text(), "Rescan");

    state().scanMail();
    const ScanTokenRef mail = state().token();
    EXPECT_FALSE(view.isScanning());
    EXPECT_FALSE(shown(view.scanStatus(), &view));
    EXPECT_TRUE(shown(view.scanButton(), &view));

    // A screen opened on an empty report meanwhile starts its own scan, which replaces Mail's.
    JunkModuleView photos(context(), ModuleID::photos);
    EXPECT_TRUE(shown(photos.emptyState(), &photos));
    EXPECT_FALSE(shown(photos.placeholder(), &photos));
    photos.show();
    EXPECT_TRUE(mail->isCancelled());
    EXPECT_EQ(state().activeScan(), ModuleID::photos);
    settle();
    EXPECT_FALSE(state().hasReport(ModuleID::mailAttachments));
}

TEST_F(JunkModuleViewTest, AnotherUsersTrashIsListedButCannotBeTicked) {
    User::setUidForTesting(501);
    const fs::path backup = tmp() / "Volumes/Backup";
    Volumes::setForTesting(std::vector<fs::path>{backup});
    allocateFile(backup / ".Trashes/502/theirs.mov", 64 * 1024);
    allocateFile(backup / ".Trashes/stray.txt", 4096);
    JunkModuleView view(context(), ModuleID::trashBins);
    view.resize(1000, 760);
    view.show();
    settle();

    ResultsModel* model = view.results()->resultsModel();
    QModelIndex theirs;
    for (int k = 0; k < model->rowCount(); ++k) {
        const QModelIndex category = model->index(k, 0);
        for (int i = 0; i < model->rowCount(category); ++i)
            if (model->index(i, 0, category).data().toString() == "502") theirs = model->index(i, 0, category);
    }
    ASSERT_TRUE(theirs.isValid());
    EXPECT_FALSE(model->flags(theirs) & Qt::ItemIsUserCheckable);
    EXPECT_EQ(theirs.data(ResultsModel::CheckboxValueRole).toString(), "Unavailable");
    EXPECT_EQ(theirs.data(ResultsModel::DetailRole).toString(),
              QString::fromUtf8("Shared trash on Backup \u00B7 another user\u2019s trash"));

    // Everything ticked and removed: the other user's folder stays.
    state().setSelection(true, std::nullopt, ModuleID::trashBins);
    EXPECT_FALSE(model->isSelected(theirs));
    ASSERT_TRUE(shown(view.removeButton(), &view));
    QTest::mouseClick(view.removeButton(), Qt::LeftButton);
    settle();
    EXPECT_TRUE(fs::exists(backup / ".Trashes/502/theirs.mov"));
    EXPECT_FALSE(fs::exists(backup / ".Trashes/stray.txt"));
}

TEST_F(JunkModuleViewTest, TheHintNamesTheRefusedPlacesOrAsksForFullDiskAccess) {
    // A Trash that cannot be listed is a place the scan was refused.
    writeFile(home() / ".Trash", "not a folder");
    {
        JunkModuleView view(context(), ModuleID::trashBins);
        view.show();
        settle();
        ASSERT_TRUE(view.hint());
        EXPECT_EQ(view.hint()->text(), "~/.Trash \u2014 grant Full Disk Access to see it");
        EXPECT_TRUE(shown(view.hint(), &view));
        QTest::mouseClick(view.hint()->button(), Qt::LeftButton);
        EXPECT_EQ(services.opened, std::vector<std::string>{SystemLinks::kFullDiskAccess});
        EXPECT_EQ(view.hint()->button()->text(), "Open Settings");
    }
    // Without Full Disk Access (Safari's folder cannot be listed) and nothing refused.
    writeFile(home() / "Library/Safari", "not a folder");
    remakeState();
    ASSERT_FALSE(state().hasFullDiskAccess());
    JunkModuleView view(context(), ModuleID::music);
    ASSERT_TRUE(view.hint());
    EXPECT_EQ(view.hint()->text(), "macOS is hiding some folders. Grant Full Disk Access for complete results.");
}

TEST_F(JunkModuleViewTest, ThinningAsksFirstAndThinsOnlyWhenTheUserAgrees) {
    writeFile(sys("/usr/bin/codesign"), "");
    Admin::setRunnerForTesting([](const std::string&, bool) {
        Admin::Result ok;
        ok.ok = true;
        ok.exitStatus = 0;
        return ok;
    });
    auto tool = [](char seed) {
        return universalBinary({{kCpuX86_64, 3, 14, filledBytes(64 * 1024, seed)}, {kCpuArm64, 0, 14, filledBytes(20000, seed)}});
    };
    writeFile(sys("/Applications") / "Tool.app/Contents/MacOS/Tool", tool('x'));
    writeFile(sys("/Applications") / "Other.app/Contents/MacOS/Other", tool('y'));
    JunkModuleView view(context(), ModuleID::systemJunk);
    view.show();
    settle();
    EXPECT_FALSE(shown(view.thinButton(), &view));  // nothing ticked
    const ScanReport& report = state().junk();
    auto binaries = std::find_if(report.categories.begin(), report.categories.end(),
                                 [](const ScanCategory& c) { return c.id == "universal-binaries"; });
    ASSERT_NE(binaries, report.categories.end());
    ASSERT_EQ(binaries->items.size(), 2u);
    const Uuid first = binaries->items[0].id, second = binaries->items[1].id;
    state().toggle(first, ModuleID::systemJunk);
    ASSERT_TRUE(shown(view.thinButton(), &view));
    EXPECT_EQ(view.thinButton()->text(), "Thin 1");
    EXPECT_EQ(JunkModuleView::thinTitle(1), "Thin 1 universal binary?");
    state().toggle(second, ModuleID::systemJunk);
    EXPECT_EQ(view.thinButton()->text(), "Thin 2");

    // Cancel: nothing runs.
    services.answers = {false};
    QTest::mouseClick(view.thinButton(), Qt::LeftButton);
    ASSERT_EQ(services.confirmations.size(), 1u);
    const SystemServices::Confirmation& asked = services.confirmations[0];
    EXPECT_EQ(asked.title, "Thin 2 universal binaries?");
    EXPECT_EQ(asked.confirmButton, "Thin");
    EXPECT_TRUE(asked.destructive);
    EXPECT_EQ(asked.message, JunkModuleView::kThinMessage);
    EXPECT_EQ(executor->queuedWork(), 0u);
    EXPECT_FALSE(state().thinning());

    // Thin: the thinning runs and the button goes while it does.
    services.answers = {true};
    QTest::mouseClick(view.thinButton(), Qt::LeftButton);
    EXPECT_TRUE(state().thinning());
    EXPECT_FALSE(shown(view.thinButton(), &view));
    settle();
    ASSERT_TRUE(state().lastCleanup());
    EXPECT_EQ(state().lastCleanup()->title, "Thinned Universal Binaries");
    EXPECT_EQ(state().lastCleanup()->removedCount, 2);
}

TEST_F(JunkModuleViewTest, TheThinButtonBelongsToSystemJunkAlone) {
    writeFile(sys("/usr/bin/codesign"), "");
    for (ModuleID module : {ModuleID::mailAttachments, ModuleID::trashBins, ModuleID::largeOldFiles, ModuleID::photos,
                            ModuleID::music}) {
        JunkModuleView view(context(), module);
        EXPECT_FALSE(view.thinButton()) << Modules::rawValue(module);
        EXPECT_EQ(JunkModuleView::movesToTrash(module),
                  module == ModuleID::mailAttachments || module == ModuleID::largeOldFiles);
    }
    EXPECT_FALSE(JunkModuleView::movesToTrash(ModuleID::systemJunk));
}

TEST_F(JunkModuleViewTest, ARescanShowsItsMessageBetweenTheTitleAndTheButtons) {
    oldFile("Library/Caches/com.example.editor/cache.db", 64 * 1024, 3);
    // The narrowest the detail column gets, and a roomy one.
    for (const QSize size : {QSize(780, 560), QSize(1000, 760)}) {
        SCOPED_TRACE(size.width());
        JunkModuleView view(context(), ModuleID::systemJunk);
        view.resize(size);
        view.show();
        settle();
        ASSERT_TRUE(shown(view.results(), &view));
        // Rescanning with the results on screen: the message stands in the header.
        QTest::mouseClick(view.scanButton(), Qt::LeftButton);
        ASSERT_TRUE(shown(view.scanStatus(), &view));
        ASSERT_TRUE(shown(view.results(), &view));
        auto* message = view.scanStatus()->findChild<TextLabel*>(QStringLiteral("progressMessage"));
        ASSERT_TRUE(message);
        EXPECT_EQ(message->text(), "Preparing\u2026");
        const QImage picture = render(view, size);
        const int textWidth = message->fontMetrics().horizontalAdvance(message->text());
        EXPECT_GE(message->width(), textWidth);
        EXPECT_LE(message->width(), 200);
        // It sits right of the title and left of Stop.
        auto* header = view.findChild<QWidget*>(QStringLiteral("ModuleHeader"));
        auto* title = header->findChild<TextLabel*>(QStringLiteral("title"));
        const QRect at(message->mapTo(&view, QPoint(0, 0)), message->size());
        EXPECT_GT(at.left(), title->mapTo(&view, QPoint(title->width(), 0)).x());
        EXPECT_LT(at.right(), view.scanStatus()->stopButton()->mapTo(&view, QPoint(0, 0)).x());
        // And the picture holds its letters: pixels darker than the window there.
        int inked = 0;
        for (int y = at.top(); y <= at.bottom(); ++y)
            for (int x = at.left(); x <= at.right(); ++x)
                if (pixel(picture, QPointF(x + 0.25, y + 0.25)).lightness() < Theme::windowBackground().lightness() - 60)
                    ++inked;
        EXPECT_GT(inked, 20);
        settle();
    }
}
