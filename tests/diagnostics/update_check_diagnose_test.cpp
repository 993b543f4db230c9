// "--check-updates" and "--diagnose".
#include <gtest/gtest.h>

#include <sstream>

#include "diagnostics/diagnostics.h"
#include "engine/byte_format.h"
#include "modules/system/updater.h"
#include "support/app_bundle.h"
#include "support/fake_feed_fetcher.h"
#include "support/test_env.h"
#include "switch_run.h"

using namespace testing_support;
namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

SwitchRun updateCheck() { return runSwitch(Diagnostics::handleUpdateCheck, {"--check-updates"}); }

SwitchRun diagnose() { return runSwitch(Diagnostics::handleIfRequested, {"--diagnose"}); }

std::string feed(std::initializer_list<std::pair<std::string, std::string>> versionsAndDownloads) {
    std::string items;
    for (const auto& [version, url] : versionsAndDownloads)
        items += "<item><title>v</title><enclosure url=\"" + url + "\" sparkle:version=\"" + version + "\"/></item>";
    return "<rss><channel>" + items + "</channel></rss>";
}

}  // namespace

class UpdateCheckSwitch : public TestEnv {};

TEST_F(UpdateCheckSwitch, StableUpdatesAndThePreReleasesBeyondThem) {
    writeAppBundle(sys("/Applications/Editor.app"), "com.example.editor", "1.2",
                   "https://feeds.example.com/editor.xml");
    writeAppBundle(sys("/Applications/Viewer.app"), "com.example.viewer", "3.0",
                   "https://feeds.example.com/viewer.xml");
    writeAppBundle(sys("/Applications/Plain.app"), "com.example.plain", "1.0");
    auto fetcher = std::make_shared<FakeFeedFetcher>();
    // The editor's feed has a newer stable version and a pre-release beyond
    // it; the viewer's newest version is the same with or without them.
    fetcher->answers["https://feeds.example.com/editor.xml"] = FakeFeedFetcher::answer(
        200, feed({{"1.3", "https://dl.example.com/editor.zip"}, {"1.4-beta", "https://dl.example.com/b.zip"}}));
    fetcher->answers["https://feeds.example.com/viewer.xml"] = FakeFeedFetcher::answer(200, feed({{"3.1", ""}}));
    Updater::setFetcherForTesting(fetcher);

    SwitchRun run = updateCheck();
    EXPECT_TRUE(run.taken);
    EXPECT_EQ(run.out,
              "apps: 3, publishing an update feed: 2\n"
              "  feed: Editor 1.2 \u2192 https://feeds.example.com/editor.xml\n"
              "  feed: Viewer 3.0 \u2192 https://feeds.example.com/viewer.xml\n"
              "\n"
              "stable only \u2014 checked 2, without feed 1\n"
              "  UPDATE Editor: 1.2 \u2192 1.3  https://dl.example.com/editor.zip\n"
              "  UPDATE Viewer: 3.0 \u2192 3.1  no url\n"
              "\n"
              "including pre-releases \u2014 1 additional\n"
              "  PRERELEASE Editor: 1.2 \u2192 1.4-beta\n");
    // Reading the applications shows its progress; the feed checks do not.
    std::istringstream progress(run.err);
    int lines = 0;
    for (std::string line; std::getline(progress, line); ++lines) EXPECT_EQ(line.rfind("  ", 0), 0u) << line;
    EXPECT_GT(lines, 0);
    EXPECT_EQ(run.err.find("Checked"), std::string::npos) << run.err;
    EXPECT_EQ(fetcher->batches.size(), 2u);
}

TEST_F(UpdateCheckSwitch, NoFeedsAndAtMostTwentyFeedLines) {
    writeAppBundle(sys("/Applications/Plain.app"), "com.example.plain", "1.0");
    EXPECT_EQ(updateCheck().out,
              "apps: 1, publishing an update feed: 0\n"
              "\n"
              "stable only \u2014 checked 0, without feed 1\n"
              "  (no updates advertised)\n"
              "\n"
              "including pre-releases \u2014 0 additional\n");

    for (int i = 0; i < 22; ++i) {
        std::string name = "App" + std::to_string(10 + i);
        writeAppBundle(sys("/Applications/" + name + ".app"), "com.example." + name, "1.0",
                       "https://feeds.example.com/" + name + ".xml");
    }
    SwitchRun many = updateCheck();  // every fetch fails offline: no updates, counts still printed
    EXPECT_EQ(many.out.rfind("apps: 23, publishing an update feed: 22\n", 0), 0u) << many.out;
    size_t feedLines = 0;
    for (size_t at = many.out.find("  feed: "); at != std::string::npos; at = many.out.find("  feed: ", at + 1))
        ++feedLines;
    EXPECT_EQ(feedLines, 20u);
    EXPECT_NE(many.out.find("  feed: App29 1.0 \u2192 https://feeds.example.com/App29.xml\n"), std::string::npos);
    EXPECT_EQ(many.out.find("App30 1.0"), std::string::npos);
    EXPECT_NE(many.out.find("stable only \u2014 checked 22, without feed 1\n  (no updates advertised)\n"),
              std::string::npos);
}

class DiagnoseSwitch : public TestEnv {
protected:
    // A file of that many allocated bytes, last changed 60 days ago.
    void oldFile(const fs::path& path, int64_t bytes) {
        allocateFile(path, bytes);
        setTimes(path, std::chrono::system_clock::now() - 60 * 24h);
    }
};

TEST_F(DiagnoseSwitch, ShowsWhatEachCategoryFoundAndWhatItWouldSelect) {
    // Ten safe caches: four shown, no "not auto-selected" line.
    int64_t cacheBytes = 0;
    for (int i = 0; i < 10; ++i) {
        oldFile(home() / "Library/Caches" / ("com.example.c" + std::to_string(i)), (i + 1) * 8192);
        cacheBytes += (i + 1) * 8192;
    }
    // Six old installers in Downloads, all for review; sizes give the order.
    for (int i = 0; i < 6; ++i) oldFile(home() / "Downloads" / ("setup" + std::to_string(i) + ".dmg"), (i + 1) * 4096);
    oldFile(home() / "Library/Logs/old.log", 4096);

    SwitchRun run = diagnose();
    EXPECT_TRUE(run.taken);
    EXPECT_EQ(run.err, "");
    const std::string dot = " \u00B7 ";
    const std::string caches = ByteFormat::string(cacheBytes);
    EXPECT_EQ(run.out,
              "User Cache Files\n"
              "  total " + caches + dot + "selected " + caches + dot + "10/10 items selected\n"
              "    [Safe] ~/Library/Caches/com.example.c9\n"
              "    [Safe] ~/Library/Caches/com.example.c8\n"
              "    [Safe] ~/Library/Caches/com.example.c7\n"
              "    [Safe] ~/Library/Caches/com.example.c6\n"
              "System Cache Files\n"
              "  total 0 KB" + dot + "selected 0 KB" + dot + "0/0 items selected\n"
              "User Log Files\n"
              "  total " + ByteFormat::string(4096) + dot + "selected " + ByteFormat::string(4096) + dot +
              "1/1 items selected\n"
              "    [Safe] ~/Library/Logs/old.log\n"
              "System Log Files\n"
              "  total 0 KB" + dot + "selected 0 KB" + dot + "0/0 items selected\n"
              "Downloads\n"
              "  total " + ByteFormat::string(21 * 4096) + dot + "selected 0 KB" + dot + "0/6 items selected\n"
              "    [Review] ~/Downloads/setup5.dmg\n"
              "    [Review] ~/Downloads/setup4.dmg\n"
              "    [Review] ~/Downloads/setup3.dmg\n"
              "    [Review] ~/Downloads/setup2.dmg\n"
              "    \u2026 6 not auto-selected, e.g. setup5.dmg (Review), setup4.dmg (Review), setup3.dmg (Review), "
              "setup2.dmg (Review)\n"
              "\n"
              "selected: 11 items, 0 of them requiring administrator rights\n");

    // Exactly four items never get the line, review or not.
    fs::remove(home() / "Downloads/setup0.dmg");
    fs::remove(home() / "Downloads/setup1.dmg");
    EXPECT_EQ(diagnose().out.find("not auto-selected"), std::string::npos);
}
