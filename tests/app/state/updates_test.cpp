// The update check with a fake feed fetcher, thinning with a fake signing
// tool, and the disk map with its breadcrumb.
#include <gtest/gtest.h>

#include "engine/admin.h"
#include "modules/system/updater.h"
#include "platform/plist.h"
#include "state_test_env.h"
#include "support/fake_feed_fetcher.h"
#include "support/universal_binary.h"

using namespace testing_support;
namespace fs = std::filesystem;

namespace {

// The big-endian 32-bit word at that position.
uint32_t readWord(const std::string& bytes, size_t at) {
    uint32_t v = 0;
    for (size_t i = 0; i < 4; ++i) v = (v << 8) | uint8_t(bytes[at + i]);
    return v;
}

const std::string kFeed = "https://feeds.example.com/editor.xml";

std::string feedItem(const std::string& version) {
    return "<item><enclosure url=\"https://dl.example.com/Editor-" + version + ".zip\" sparkle:shortVersionString=\"" +
           version + "\"/></item>";
}

class UpdateCheckTest : public StateTest {
protected:
    void SetUp() override {
        StateTest::SetUp();
        makeApp("Editor", {{"SUFeedURL", Plist::Value::makeString(kFeed)}});
        makeApp("Notes", {});
        fetcher = std::make_shared<FakeFeedFetcher>();
        fetcher->answers[kFeed] = FakeFeedFetcher::answer(
            200, "<?xml version=\"1.0\"?><rss xmlns:sparkle=\"http://www.andymatuschak.org/xml-namespaces/sparkle\">"
                 "<channel>" + feedItem("2.0") + feedItem("3.0-beta") + "</channel></rss>");
        Updater::setFetcherForTesting(fetcher);
    }

    void makeApp(const std::string& name, std::map<std::string, Plist::Value> info) {
        info["CFBundleIdentifier"] = Plist::Value::makeString("com.example." + name);
        info["CFBundleShortVersionString"] = Plist::Value::makeString("1.0");
        const fs::path bundle = sys("/Applications") / (name + ".app");
        writeFile(bundle / "Contents/Info.plist", Plist::toXml(Plist::Value::makeDict(std::move(info))));
    }

    std::shared_ptr<FakeFeedFetcher> fetcher;
};

}  // namespace

TEST_F(UpdateCheckTest, ChecksTheListedApplicationsWithThePreReleaseChoiceMadeMeanwhile) {
    state().checkForUpdates();
    EXPECT_TRUE(state().updaterRunning());
    EXPECT_TRUE(state().updaterHasRun());
    EXPECT_EQ(state().activeScan(), ModuleID::updater);
    EXPECT_EQ(state().progress().message, "Reading your Applications\u2026");
    state().checkForUpdates();  // already running: nothing more
    EXPECT_EQ(executor->queuedWork(), 1u);

    // The applications are listed; the choice made now still counts.
    ASSERT_TRUE(executor->runOneWork());
    state().setUpdaterIncludesPrereleases(true);
    settle();
    ASSERT_EQ(state().appUpdates().size(), 1u);
    EXPECT_EQ(state().appUpdates()[0].name, "Editor");
    EXPECT_EQ(state().appUpdates()[0].availableVersion, "3.0-beta");
    EXPECT_EQ(state().updaterChecked(), 1);
    EXPECT_EQ(state().updaterWithoutFeed(), 1);
    EXPECT_EQ(state().apps().size(), 2u);
    EXPECT_FALSE(state().updaterRunning());
    EXPECT_FALSE(state().activeScan());
    EXPECT_FALSE(state().progress().isRunning);
    EXPECT_EQ(state().progress().fraction, 1.0);

    // A second check reuses the stored list.
    makeApp("Viewer", {{"SUFeedURL", Plist::Value::makeString(kFeed)}});
    state().setUpdaterIncludesPrereleases(false);
    state().checkForUpdates();
    settle();
    EXPECT_EQ(state().apps().size(), 2u);
    EXPECT_EQ(state().appUpdates()[0].availableVersion, "2.0");
}

TEST_F(UpdateCheckTest, AScanStartedDuringACheckDropsItAndAnotherCheckCanStart) {
    state().checkForUpdates();
    const ScanTokenRef check = state().token();
    state().scanMail();
    EXPECT_TRUE(check->isCancelled());
    settle();
    EXPECT_TRUE(state().appUpdates().empty());
    EXPECT_TRUE(state().apps().empty());  // a listing cut short is never kept
    EXPECT_FALSE(state().updaterRunning());
    EXPECT_TRUE(state().hasReport(ModuleID::mailAttachments));

    state().checkForUpdates();
    EXPECT_EQ(executor->queuedWork(), 1u);
    settle();
    EXPECT_EQ(state().appUpdates().size(), 1u);
}

TEST_F(StateTest, ThinningRunsToItsEndWhateverStopSaysThenSystemJunkIsScannedAgain) {
    std::vector<std::string> signing;
    Admin::setRunnerForTesting([&](const std::string& line, bool) {
        signing.push_back(line);
        Admin::Result ok;
        ok.ok = true;
        ok.exitStatus = 0;
        return ok;
    });
    const fs::path executable = sys("/Applications") / "Tool.app/Contents/MacOS/Tool";
    writeFile(executable, universalBinary({{kCpuX86_64, 3, 14, filledBytes(64 * 1024, 'x')}, {kCpuArm64, 0, 14, filledBytes(20000, 'a')}},
                                    false));
    // The signing tool is looked for with each System Junk scan, not on every redraw.
    auto scanTicking = [&] {
        state().scanSystemJunk();
        settle();
        const ScanItem* tool = itemNamed(ModuleID::systemJunk, "Tool");
        ASSERT_TRUE(tool);
        EXPECT_TRUE(state().selectedBinaries().empty());
        EXPECT_FALSE(state().canThin());
        state().toggle(tool->id, ModuleID::systemJunk);
        ASSERT_EQ(state().selectedBinaries().size(), 1u);
        EXPECT_EQ(state().selectedBinaryCount(), 1);
    };
    scanTicking();
    EXPECT_FALSE(state().canThin());  // no signing tool
    writeFile(sys("/usr/bin/codesign"), "");
    EXPECT_FALSE(state().canThin());
    scanTicking();
    EXPECT_TRUE(state().canThin());

    const ScanTokenRef before = state().token();
    state().thinSelectedBinaries();
    EXPECT_TRUE(state().thinning());
    EXPECT_FALSE(state().canThin());
    EXPECT_EQ(state().activeScan(), ModuleID::systemJunk);
    EXPECT_EQ(state().progress().message, "Thinning\u2026");
    EXPECT_EQ(state().token(), before);
    state().cancelScan();

    ASSERT_TRUE(executor->runOneWork());
    executor->runPosts();
    EXPECT_FALSE(state().thinning());
    ASSERT_TRUE(state().lastCleanup());
    EXPECT_EQ(state().lastCleanup()->title, "Thinned Universal Binaries");
    EXPECT_EQ(state().lastCleanup()->removedCount, 1);
    EXPECT_GT(state().lastCleanup()->reclaimed, 0);
    EXPECT_TRUE(state().lastCleanup()->failures.empty()) << state().lastCleanup()->failures.front();
    EXPECT_FALSE(signing.empty());
    // System Junk is being scanned again, and the thinned binary leaves it.
    EXPECT_EQ(state().progress().message, "Preparing\u2026");
    EXPECT_EQ(state().activeScan(), ModuleID::systemJunk);
    settle();
    EXPECT_TRUE(state().selectedBinaries().empty());
    EXPECT_EQ(readWord(readFile(executable), 4), 1u);  // one slice left
}

TEST_F(StateTest, TheDiskMapMeasuresAFolderAndItsBreadcrumbFollowsTheUser) {
    allocateFile(home() / "Documents/a.bin", 64 * 1024);
    allocateFile(home() / "Projects/site/b.bin", 32 * 1024);
    state().drill(std::make_shared<SpaceNode>());  // no map yet: nothing
    EXPECT_TRUE(state().spacePath().empty());

    state().scanMail();
    const ScanTokenRef mail = state().token();
    state().buildDiskMap(home() / "");
    EXPECT_TRUE(mail->isCancelled());
    EXPECT_EQ(state().activeScan(), ModuleID::diskMap);
    EXPECT_EQ(state().progress().message, "Measuring home\u2026");
    settle();
    EXPECT_FALSE(state().hasReport(ModuleID::mailAttachments));
    const SpaceNodeRef root = state().spaceRoot();
    ASSERT_TRUE(root && root->children);
    EXPECT_EQ(state().spacePath(), std::vector<SpaceNodeRef>{root});
    EXPECT_FALSE(state().progress().isRunning);

    SpaceNodeRef projects;
    for (const auto& child : *root->children)
        if (child->name == "Projects") projects = child;
    ASSERT_TRUE(projects);
    state().drill(projects);
    state().drill(projects);
    EXPECT_EQ(state().spacePath(), (std::vector<SpaceNodeRef>{root, projects, projects}));
    state().drill(root);
    EXPECT_EQ(state().spacePath(), std::vector<SpaceNodeRef>{root});

    // Rescan measures again from the top of the breadcrumb, not the folder shown.
    state().drill(projects);
    state().setModule(ModuleID::diskMap);
    state().rescanCurrent();
    EXPECT_EQ(state().progress().message, "Measuring home\u2026");
    // Superseded by another scan: the map stays as it was.
    state().scanMail();
    settle();
    EXPECT_EQ(state().spaceRoot(), root);
}
