// The adware and extensions screens against the real widgets, the manual
// executor and files in the test's home: the scan on first appearance (over
// a Smart Scan report too), the running header, results with their Remove
// button, the empty states, the rule-set line and the Safari hint.
#include <QAbstractButton>
#include <QTest>

#include "app/controls/buttons.h"
#include "app/controls/empty_state_view.h"
#include "app/controls/link_button.h"
#include "app/controls/results_list.h"
#include "app/controls/text_label.h"
#include "engine/byte_format.h"
#include "platform/resources.h"
#include "screen_test.h"
#include "screens/extensions_view.h"
#include "screens/junk_module_view.h"
#include "screens/malware_view.h"
#include "screens/permission_hint.h"

using namespace testing_support;
namespace fs = std::filesystem;

namespace {

bool shown(const QWidget* widget, const QWidget* screen) { return widget && widget->isVisibleTo(screen); }

QString title(const EmptyStateView* empty) { return empty->findChild<TextLabel*>("title")->text(); }

}  // namespace

using ProtectionViewsTest = ScreenTest;

TEST_F(ProtectionViewsTest, TheAdwareScreenScansOnItsFirstAppearanceAndCountsTheMatchesItRemoves) {
    allocateFile(home() / "Library/Application Support/com.pirrit.agent/payload", 8192);
    allocateFile(home() / "Library/LaunchAgents/com.genieo.update.plist", 4096);
    // A report Smart Scan left is replaced by the screen's own scan.
    state().smartScanAll();
    settle();
    ASSERT_FALSE(state().malware().categories.empty());
    MalwareView view(context());
    EXPECT_EQ(executor->queuedWork(), 0u);
    view.show();
    EXPECT_TRUE(view.hasScanned());
    EXPECT_TRUE(view.isScanning());
    EXPECT_EQ(view.scanStatus()->message(), "Checking for adware\u2026");
    EXPECT_FALSE(shown(view.scanButton(), &view));
    EXPECT_TRUE(shown(view.results(), &view));  // the old matches stay listed meanwhile
    settle();
    view.hide();
    view.show();  // a later appearance starts nothing
    EXPECT_EQ(executor->queuedWork(), 0u);

    EXPECT_EQ(view.scanButton()->text(), "Scan again");
    EXPECT_TRUE(shown(view.findChild<DisclaimerBanner*>(), &view));
    // The shipped rule set was applied and is named.
    ASSERT_TRUE(state().malware().ruleSetInfo);
    EXPECT_TRUE(shown(view.ruleSetLine(), &view));
    EXPECT_EQ(view.ruleSetLine()->text().toStdString(), "Rule set: " + *state().malware().ruleSetInfo);

    // Nothing is ticked at first, so there is no Remove.
    EXPECT_FALSE(shown(view.removeButton(), &view));
    const ScanReport& report = state().malware();
    ASSERT_GE(report.itemCount(), 2);
    state().toggle(report.categories[0].items[0].id, ModuleID::malware);
    ASSERT_TRUE(shown(view.removeButton(), &view));
    EXPECT_EQ(view.removeButton()->text(), "Remove 1 item");
    state().setSelection(true, std::nullopt, ModuleID::malware);
    EXPECT_EQ(view.removeButton()->text(), MalwareView::removeTitle(state().malware().selectedCount()));
    EXPECT_EQ(MalwareView::removeTitle(2), "Remove 2 items");

    // Remove moves the matches to the Trash and scans again.
    QTest::mouseClick(view.removeButton(), Qt::LeftButton);
    settle();
    EXPECT_FALSE(fs::exists(home() / "Library/Application Support/com.pirrit.agent"));
    EXPECT_TRUE(fs::exists(home() / ".Trash/com.pirrit.agent/payload"));
    EXPECT_TRUE(fs::exists(home() / ".Trash/com.genieo.update.plist"));
    ASSERT_TRUE(state().lastCleanup());
    EXPECT_EQ(state().lastCleanup()->title, "Malware Removal");

    // Nothing left: "Nothing matched", whose action scans again.
    EXPECT_FALSE(shown(view.results(), &view));
    ASSERT_TRUE(shown(view.emptyState(), &view));
    EXPECT_EQ(title(view.emptyState()), "Nothing matched");
    QTest::mouseClick(view.emptyState()->actionButton(), Qt::LeftButton);
    EXPECT_TRUE(view.isScanning());
    settle();
}

TEST_F(ProtectionViewsTest, TheAdwareScreenWithoutARuleFileOrWhileAnotherModuleScans) {
    // No rule file anywhere: no rule-set line.
    Resources::setSearchFoldersForTesting(std::vector<fs::path>{tmp() / "no-resources"});
    MalwareView view(context());
    view.show();
    const ScanTokenRef token = state().token();
    QTest::mouseClick(view.scanStatus()->stopButton(), Qt::LeftButton);
    EXPECT_TRUE(token->isCancelled());
    // Stopped with nothing found: "Nothing matched", not the spinner.
    EXPECT_TRUE(shown(view.emptyState(), &view));
    EXPECT_FALSE(shown(view.placeholder(), &view));
    settle();
    state().scanSystemJunk();
    EXPECT_TRUE(shown(view.scanButton(), &view));
    EXPECT_EQ(view.scanButton()->text(), "Scan again");
    EXPECT_FALSE(shown(view.scanStatus(), &view));
    settle();
    state().scanMalware();
    settle();
    EXPECT_FALSE(state().malware().ruleSetInfo);
    EXPECT_FALSE(shown(view.ruleSetLine(), &view));
    EXPECT_TRUE(shown(view.emptyState(), &view));
    Resources::setSearchFoldersForTesting(std::nullopt);
}

TEST_F(ProtectionViewsTest, TheExtensionsScreenKeepsItsSafariHintAndMovesWhatIsTickedToTheTrash) {
    allocateFile(home() / "Library/Internet Plug-Ins/Viewer.plugin/Contents/Viewer", 16 * 1024);
    ExtensionsView view(context());
    view.resize(1000, 760);
    ASSERT_TRUE(view.hint());
    EXPECT_TRUE(shown(view.hint(), &view));  // before any scan
    view.show();
    EXPECT_TRUE(view.isScanning());
    EXPECT_EQ(view.scanStatus()->message(), "Reading extensions\u2026");
    EXPECT_TRUE(shown(view.placeholder(), &view));
    EXPECT_TRUE(shown(view.hint(), &view));  // while scanning
    settle();
    ASSERT_TRUE(shown(view.results(), &view));
    EXPECT_TRUE(shown(view.hint(), &view));  // with results
    EXPECT_EQ(view.scanButton()->text(), "Rescan");
    EXPECT_EQ(view.hint()->text(), "Safari extensions belong to the app that ships them, so they are listed but never "
                                   "removed here \u2014 use the Uninstaller to remove the app.");
    EXPECT_EQ(view.hint()->button()->text(), "Open Safari Settings");
    QTest::mouseClick(view.hint()->button(), Qt::LeftButton);
    EXPECT_EQ(services.opened, std::vector<std::string>{"x-apple.systempreferences:com.apple.Safari-Settings.extension"});

    EXPECT_FALSE(shown(view.removeButton(), &view));  // review items start unticked
    const ScanReport& report = state().report(ModuleID::extensions);
    ASSERT_EQ(report.itemCount(), 1);
    state().toggle(report.categories[0].items[0].id, ModuleID::extensions);
    const int64_t bytes = state().report(ModuleID::extensions).categories[0].selectedSize();
    ASSERT_TRUE(shown(view.removeButton(), &view));
    EXPECT_EQ(view.removeButton()->text().toStdString(), "Remove " + ByteFormat::compact(bytes));
    QTest::mouseClick(view.removeButton(), Qt::LeftButton);
    settle();
    EXPECT_TRUE(fs::exists(home() / ".Trash/Viewer.plugin/Contents/Viewer"));
    EXPECT_FALSE(fs::exists(home() / "Library/Internet Plug-Ins/Viewer.plugin"));

    // An empty result, even after a scan, reads "No extensions found" with "Scan now".
    EXPECT_FALSE(shown(view.results(), &view));
    ASSERT_TRUE(shown(view.emptyState(), &view));
    EXPECT_EQ(title(view.emptyState()), "No extensions found");
    EXPECT_EQ(view.emptyState()->actionButton()->text(), "Scan now");
    EXPECT_TRUE(shown(view.hint(), &view));
    QTest::mouseClick(view.emptyState()->actionButton(), Qt::LeftButton);
    EXPECT_EQ(state().progress().message, "Reading extensions\u2026");
    settle();
}

TEST_F(ProtectionViewsTest, TheExtensionsScreenScansOnceEvenOverASmartScanReport) {
    state().smartScanAll();
    settle();
    ASSERT_TRUE(state().hasReport(ModuleID::extensions));
    ExtensionsView view(context());
    view.show();
    EXPECT_EQ(state().activeScan(), ModuleID::extensions);
    settle();
    view.hide();
    view.show();
    EXPECT_EQ(executor->queuedWork(), 0u);
}

TEST_F(ProtectionViewsTest, RemoveNeedsATickedByteNotOnlyATickedItem) {
    // Each screen's scan lists a place that holds nothing yet: ticked, it
    // offers no Remove; once it holds a byte, it does.
    struct Case {
        ModuleID module;
        fs::path file;  // empty at first, then with bytes in it
    } cases[] = {
        {ModuleID::systemJunk, "Library/Caches/com.example.empty/cache.db"},
        {ModuleID::malware, "Library/LaunchAgents/com.genieo.update.plist"},
        {ModuleID::extensions, "Library/Internet Plug-Ins/Viewer.plugin"},  // a bundle left as one file
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(Modules::rawValue(c.module)));
        writeFile(home() / c.file, "");
        // Days old, as caches the scan offers are.
        const auto when = std::chrono::system_clock::now() - std::chrono::hours(24 * 3);
        for (fs::path p = home() / c.file; p != home(); p = p.parent_path()) setTimes(p, when);
        std::unique_ptr<QWidget> screen;
        if (c.module == ModuleID::systemJunk) screen = std::make_unique<JunkModuleView>(context(), c.module);
        if (c.module == ModuleID::malware) screen = std::make_unique<MalwareView>(context());
        if (c.module == ModuleID::extensions) screen = std::make_unique<ExtensionsView>(context());
        auto* remove = screen->findChild<QWidget*>(QStringLiteral("remove"));
        ASSERT_TRUE(remove);
        screen->show();
        settle();
        state().setSelection(true, std::nullopt, c.module);
        ASSERT_GE(state().report(c.module).selectedCount(), 1);
        ASSERT_EQ(state().totals(c.module).selectedBytes, 0);
        EXPECT_FALSE(shown(remove, screen.get()));

        allocateFile(home() / c.file, 8192);
        auto* scan = screen->findChild<QAbstractButton*>(QStringLiteral("scan"));
        ASSERT_TRUE(scan);
        scan->click();
        settle();
        state().setSelection(true, std::nullopt, c.module);
        ASSERT_GE(state().totals(c.module).selectedBytes, 1);
        EXPECT_TRUE(shown(remove, screen.get()));
        fs::remove_all(home() / "Library");
    }
}
