#include <gtest/gtest.h>

#include <chrono>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "modules/system/updater.h"
#include "platform/plist.h"
#include "support/fake_feed_fetcher.h"
#include "support/test_env.h"

using namespace testing_support;
namespace fs = std::filesystem;

namespace {

std::string versionFeed(const std::string& version, const std::string& extra = {}) {
    return "<?xml version=\"1.0\"?><rss xmlns:sparkle=\"http://www.andymatuschak.org/xml-namespaces/sparkle\">"
           "<channel><item><enclosure url=\"https://dl.example.com/App-" +
           version + ".zip\" sparkle:shortVersionString=\"" + version + "\"/>" + extra +
           "</item></channel></rss>";
}

const char* name(Updater::Order order) {
    switch (order) {
        case Updater::Order::ascending: return "ascending";
        case Updater::Order::same: return "same";
        case Updater::Order::descending: return "descending";
    }
    return "?";
}

Updater::Order mirrored(Updater::Order order) {
    if (order == Updater::Order::ascending) return Updater::Order::descending;
    if (order == Updater::Order::descending) return Updater::Order::ascending;
    return order;
}

}  // namespace

class UpdaterTest : public TestEnv {
protected:
    // An application bundle whose Info.plist holds the given entries.
    InstalledApp app(const std::string& appName, const std::string& version,
                     std::map<std::string, Plist::Value> info) {
        fs::path bundle = tmp() / "Applications" / (appName + ".app");
        writeFile(bundle / "Contents/Info.plist", Plist::toXml(Plist::Value::makeDict(std::move(info))));
        return InstalledApp{.id = bundle.string(), .name = appName, .url = bundle, .bundleID = "com.example." + appName,
                            .version = version};
    }
    InstalledApp withFeed(const std::string& appName, const std::string& version, const std::string& feed) {
        return app(appName, version, {{"SUFeedURL", Plist::Value::makeString(feed)}});
    }
    static std::string feedOf(const std::string& appName) { return "https://feeds.example.com/" + appName + ".xml"; }

    Updater::Outcome run(const std::vector<InstalledApp>& apps, bool includePrereleases = false) {
        return Updater::check(apps, includePrereleases, token, record, fetcher);
    }

    ScanToken token;
    FakeFeedFetcher fetcher;
    std::vector<std::pair<double, std::string>> progress;
    ProgressCallback record = [this](double f, const std::string& m) { progress.emplace_back(f, m); };
};

TEST_F(UpdaterTest, ComparesVersionsPieceByPiece) {
    using O = Updater::Order;
    struct Case {
        const char* a;
        const char* b;
        O expected;
    } cases[] = {
        {"1.10", "1.9", O::descending},
        {"2.0.1", "2.0.2", O::ascending},
        {"1.0", "1.0", O::same},
        {"10.0", "9.9", O::descending},
        {"1.2.3", "1.2.10", O::ascending},
        {"1.0", "1.0.0", O::same},
        {"1.01", "1.1", O::same},
        {"1.0b2", "1.0b10", O::ascending},
        {"1.2-beta", "1.2", O::descending},  // "beta" against the missing piece "0"
        {"2.0", "2.0.0.1", O::ascending},
        {"", "", O::same},
        {"", "0", O::same},
        {"1", "", O::descending},
        {"1..2", "1.2", O::same},
        {"1_2-3", "1.2.3", O::same},
        {" 1 . 2 ", "1.2", O::same},
        {"1.\t2", "1.2", O::same},
        {"+5", "5", O::same},
        {"1.a", "1.B", O::descending},  // case-sensitive, by character
        {"1.a10", "1.a9", O::descending},
        {"1.a01", "1.a1", O::same},
        {"1.2a", "1.2", O::descending},
        {"9223372036854775808", "9223372036854775807", O::descending},  // beyond 64 bits: digits by value
        {"caf\xc3\xa9", "cafe\xcc\x81", O::same},  // canonically equivalent
        {"1.0 ", "1.0", O::same},
        {"1. .2", "1.0.2", O::ascending},  // a piece of spaces is empty text, before "0"
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.a) + " vs " + c.b);
        EXPECT_STREQ(name(Updater::compareVersions(c.a, c.b)), name(c.expected));
        EXPECT_STREQ(name(Updater::compareVersions(c.b, c.a)), name(mirrored(c.expected)));
    }
}

TEST_F(UpdaterTest, FeedAddressFromInfoPlist) {
    using V = Plist::Value;
    struct Case {
        const char* name;
        std::map<std::string, V> info;
        std::optional<std::string> expected;
    } cases[] = {
        {"SUFeedURL", {{"SUFeedURL", V::makeString("https://a.example.com/appcast.xml")}},
         "https://a.example.com/appcast.xml"},
        {"plain http passed over for the second key",
         {{"SUFeedURL", V::makeString("http://a.example.com/feed")},
          {"SUFeedURLForFinalUserInitiatedCheck", V::makeString("https://b.example.com/feed")}},
         "https://b.example.com/feed"},
        {"first key wins",
         {{"SUFeedURL", V::makeString("https://a.example.com/feed")},
          {"SUFeedURLForFinalUserInitiatedCheck", V::makeString("https://b.example.com/feed")}},
         "https://a.example.com/feed"},
        {"trimmed", {{"SUFeedURL", V::makeString(" \n\thttps://a.example.com/feed \n")}}, "https://a.example.com/feed"},
        {"capital scheme refused", {{"SUFeedURL", V::makeString("HTTPS://a.example.com/feed")}}, std::nullopt},
        {"not text", {{"SUFeedURL", V::makeInteger(7)}, {"SUFeedURLForFinalUserInitiatedCheck", V::makeString("https://b.example.com/f")}},
         "https://b.example.com/f"},
        {"not an address", {{"SUFeedURL", V::makeString("https://a example.com/feed")}}, std::nullopt},
        {"no host", {{"SUFeedURL", V::makeString("https:///feed")}}, std::nullopt},
        {"other scheme", {{"SUFeedURL", V::makeString("file:///etc/feed.xml")}}, std::nullopt},
        {"no key", {{"CFBundleVersion", V::makeString("1")}}, std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        InstalledApp a = app("App", "1.0", c.info);
        EXPECT_EQ(Updater::appcastURL(a.url), c.expected);
    }

    fs::path bare = tmp() / "Bare.app";
    makeFolders(bare);
    EXPECT_FALSE(Updater::appcastURL(bare));
    writeFile(bare / "Contents/Info.plist", "not a property list");
    EXPECT_FALSE(Updater::appcastURL(bare));
    writeFile(bare / "Contents/Info.plist", Plist::toXml(V::makeArray({V::makeString("https://a.example.com/f")})));
    EXPECT_FALSE(Updater::appcastURL(bare));
}

TEST_F(UpdaterTest, NothingToFetch) {
    Updater::Outcome none = run({});
    EXPECT_TRUE(none.updates.empty());
    EXPECT_EQ(none.checked, 0);
    EXPECT_EQ(none.withoutFeed, 0);

    std::vector<InstalledApp> apps = {app("A", "1.0", {}), app("B", "1.0", {{"SUFeedURL", Plist::Value::makeString("http://x.example.com/f")}})};
    Updater::Outcome outcome = run(apps);
    EXPECT_EQ(outcome.checked, 0);
    EXPECT_EQ(outcome.withoutFeed, 2);
    EXPECT_TRUE(fetcher.batches.empty());
    EXPECT_TRUE(progress.empty());
}

TEST_F(UpdaterTest, BatchesOfFiveWithProgressPerBatch) {
    std::vector<InstalledApp> apps;
    for (int i = 1; i <= 7; ++i) {
        std::string n = "App" + std::to_string(i);
        apps.push_back(withFeed(n, "1.0", feedOf(n)));
        fetcher.answers[feedOf(n)] = FakeFeedFetcher::answer(200, versionFeed("1." + std::to_string(i - 1)));
        if (i == 3) apps.push_back(app("NoFeed", "1.0", {}));
    }
    Updater::Outcome outcome = run(apps);

    ASSERT_EQ(fetcher.batches.size(), 2u);
    EXPECT_EQ(fetcher.batches[0],
              (std::vector<std::string>{feedOf("App1"), feedOf("App2"), feedOf("App3"), feedOf("App4"), feedOf("App5")}));
    EXPECT_EQ(fetcher.batches[1], (std::vector<std::string>{feedOf("App6"), feedOf("App7")}));
    ASSERT_EQ(progress.size(), 2u);
    EXPECT_DOUBLE_EQ(progress[0].first, 5.0 / 7.0);
    EXPECT_EQ(progress[0].second, "Checked 5 of 7 apps\u2026");
    EXPECT_DOUBLE_EQ(progress[1].first, 0.98);
    EXPECT_EQ(progress[1].second, "Checked 7 of 7 apps\u2026");
    EXPECT_EQ(outcome.checked, 7);
    EXPECT_EQ(outcome.withoutFeed, 1);
    // App1 stays at its version; the rest are newer.
    ASSERT_EQ(outcome.updates.size(), 6u);
    EXPECT_EQ(outcome.updates.front().name, "App2");
    EXPECT_EQ(outcome.updates.back().name, "App7");
}

TEST_F(UpdaterTest, CancellationIsReadBetweenBatches) {
    std::vector<InstalledApp> apps;
    for (int i = 1; i <= 7; ++i) {
        std::string n = "App" + std::to_string(i);
        apps.push_back(withFeed(n, "1.0", feedOf(n)));
        fetcher.answers[feedOf(n)] = FakeFeedFetcher::answer(200, versionFeed("2.0"));
    }
    // Cancelled while the first batch is in flight: that batch still completes.
    fetcher.whileBatchRuns = [this](size_t) { token.cancel(); };
    Updater::Outcome outcome = run(apps);
    EXPECT_EQ(fetcher.batches.size(), 1u);
    EXPECT_EQ(outcome.updates.size(), 5u);
    EXPECT_EQ(outcome.checked, 7);
    EXPECT_EQ(outcome.withoutFeed, 0);
    ASSERT_EQ(progress.size(), 1u);
    EXPECT_EQ(progress[0].second, "Checked 5 of 7 apps\u2026");

    // Cancelled before the check starts: nothing is requested.
    FakeFeedFetcher fresh;
    progress.clear();
    Updater::Outcome early = Updater::check(apps, false, token, record, fresh);
    EXPECT_TRUE(fresh.batches.empty());
    EXPECT_TRUE(progress.empty());
    EXPECT_TRUE(early.updates.empty());
    EXPECT_EQ(early.checked, 7);
}

TEST_F(UpdaterTest, OnlyANewerVersionFromA2xxAnswerIsAnUpdate) {
    struct Case {
        const char* name;
        const char* installed;
        std::optional<FeedResponse> response;  // nothing: transport failure
        bool update;
    } cases[] = {
        {"newer", "1.9", FakeFeedFetcher::answer(200, versionFeed("1.10")), true},
        {"other 2xx", "1.0", FakeFeedFetcher::answer(203, versionFeed("1.1")), true},
        {"same version", "2.0", FakeFeedFetcher::answer(200, versionFeed("2.0.0")), false},
        {"older", "3.0", FakeFeedFetcher::answer(200, versionFeed("2.9")), false},
        {"not modified", "1.0", FakeFeedFetcher::answer(304, versionFeed("9.0")), false},
        {"not found", "1.0", FakeFeedFetcher::answer(404, versionFeed("9.0")), false},
        {"server error", "1.0", FakeFeedFetcher::answer(500, versionFeed("9.0")), false},
        {"transport failure", "1.0", std::nullopt, false},
        {"not a feed", "1.0", FakeFeedFetcher::answer(200, "<html><body>hello</body></html>"), false},
        {"installed version unknown", "\xe2\x80\x94", FakeFeedFetcher::answer(200, versionFeed("1.0")), false},
    };
    std::vector<InstalledApp> apps;
    for (const Case& c : cases) {
        std::string feed = feedOf("app" + std::to_string(apps.size()));
        apps.push_back(withFeed(c.name, c.installed, feed));
        if (c.response) fetcher.answers[feed] = *c.response;
    }
    Updater::Outcome outcome = run(apps);
    EXPECT_EQ(outcome.checked, int(std::size(cases)));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        bool found = std::any_of(outcome.updates.begin(), outcome.updates.end(),
                                 [&](const AppUpdate& u) { return u.name == c.name; });
        EXPECT_EQ(found, c.update);
    }
}

TEST_F(UpdaterTest, AnUpdateDescribesTheAppAndTheChosenEntry) {
    InstalledApp plain = withFeed("Plain", "1.0", "https://feeds.example.com:8443/plain.xml");
    InstalledApp noted = withFeed("Noted", "1.0", feedOf("Noted"));
    fetcher.answers["https://feeds.example.com:8443/plain.xml"] =
        FakeFeedFetcher::answer(200, versionFeed("1.1", "<pubDate>Wed, 09 Jan 2013 11:00:00 +0000</pubDate>"));
    fetcher.answers[feedOf("Noted")] =
        FakeFeedFetcher::answer(200, versionFeed("2.0-beta", "<link href=\"https://example.com/notes\"/>"));

    Updater::Outcome outcome = run({plain, noted}, true);
    ASSERT_EQ(outcome.updates.size(), 2u);
    const AppUpdate& n = outcome.updates[0];
    const AppUpdate& p = outcome.updates[1];
    EXPECT_EQ(p, (AppUpdate{
                     .id = plain.id,
                     .name = "Plain",
                     .appPath = plain.url.string(),
                     .installedVersion = "1.0",
                     .availableVersion = "1.1",
                     .downloadURL = "https://dl.example.com/App-1.1.zip",
                     .releaseNotesURL = "https://feeds.example.com:8443/plain.xml",  // the feed itself
                     .published = Clock::TimePoint(std::chrono::seconds(1357729200)),
                     .feedHost = "feeds.example.com",
                 }));
    EXPECT_EQ(n.availableVersion, "2.0-beta");
    EXPECT_EQ(n.releaseNotesURL, "https://example.com/notes");
    EXPECT_FALSE(n.published);

    // Without pre-releases the beta is no update.
    fetcher.batches.clear();
    Updater::Outcome stable = run({noted}, false);
    EXPECT_TRUE(stable.updates.empty());
}

TEST_F(UpdaterTest, SortedByNameWithEqualNamesInCompletionOrder) {
    // "zeta" and "Zeta" compare equal without regard to case; which comes first
    // depends only on which feed answered first.
    std::vector<InstalledApp> apps = {withFeed("zeta", "1.0", "https://a.example.com/zeta"),
                                      withFeed("beta", "1.0", "https://a.example.com/beta"),
                                      app("Zeta", "1.0", {{"SUFeedURL", Plist::Value::makeString("https://b.example.com/Zeta")}})};
    for (const auto& a : apps) fetcher.answers[*Updater::appcastURL(a.url)] = FakeFeedFetcher::answer(200, versionFeed("2.0"));

    auto names = [](const Updater::Outcome& o) {
        std::vector<std::string> out;
        for (const auto& u : o.updates) out.push_back(u.feedHost + ":" + u.name);
        return out;
    };
    fetcher.completionOrder = [](const std::vector<std::string>&) { return std::vector<size_t>{0, 1, 2}; };
    EXPECT_EQ(names(run(apps)),
              (std::vector<std::string>{"a.example.com:beta", "a.example.com:zeta", "b.example.com:Zeta"}));
    fetcher.completionOrder = [](const std::vector<std::string>&) { return std::vector<size_t>{2, 1, 0}; };
    EXPECT_EQ(names(run(apps)),
              (std::vector<std::string>{"a.example.com:beta", "b.example.com:Zeta", "a.example.com:zeta"}));
}

TEST_F(UpdaterTest, TheShortFormUsesTheInstalledFetcher) {
    std::vector<InstalledApp> apps = {withFeed("One", "1.0", feedOf("One"))};
    // Tests start offline: the feed simply fails.
    Updater::Outcome offline = Updater::check(apps, false, token, record);
    EXPECT_TRUE(offline.updates.empty());
    EXPECT_EQ(offline.checked, 1);

    auto fake = std::make_shared<FakeFeedFetcher>();
    fake->answers[feedOf("One")] = FakeFeedFetcher::answer(200, versionFeed("1.5"));
    Updater::setFetcherForTesting(fake);
    Updater::Outcome outcome = Updater::check(apps, false, token, record);
    ASSERT_EQ(outcome.updates.size(), 1u);
    EXPECT_EQ(outcome.updates[0].availableVersion, "1.5");
    EXPECT_EQ(fake->batches.size(), 1u);
}
