#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "modules/system/feed_fetcher.h"
#include "modules/system/updater.h"
#include "platform/plist.h"
#include "support/loopback_server.h"
#include "support/test_env.h"

using namespace testing_support;
using namespace std::chrono_literals;

namespace {

const std::string kFeed =
    "<?xml version=\"1.0\"?><rss xmlns:sparkle=\"http://www.andymatuschak.org/xml-namespaces/sparkle\"><channel>"
    "<item><enclosure url=\"https://dl.example.com/App-2.0.zip\" sparkle:shortVersionString=\"2.0\"/></item>"
    "</channel></rss>";

struct Fetched {
    std::vector<size_t> order;
    std::map<size_t, FeedResponse> responses;
};

Fetched fetch(FeedFetcher& fetcher, const std::vector<std::string>& urls,
              const std::function<void()>& delivered = {}) {
    Fetched out;
    fetcher.fetchBatch(urls, [&](size_t index, FeedResponse response) {
        out.order.push_back(index);
        out.responses[index] = std::move(response);
        if (delivered) delivered();
    });
    return out;
}

}  // namespace

// The real fetcher against servers on 127.0.0.1 only: an HTTPS server with a
// certificate made for this test, and a plain HTTP one that must never be asked.
class FeedFetcherTest : public TestEnv {
protected:
    void SetUp() override {
        TestEnv::SetUp();
        for (const char* proxy : {"http_proxy", "https_proxy", "HTTP_PROXY", "HTTPS_PROXY", "all_proxy", "ALL_PROXY"})
            ::unsetenv(proxy);
        certificate = tmp() / "loopback.pem";
        plain = std::make_unique<LoopbackServer>([](const std::string&) {
            return LoopbackServer::Answer{LoopbackServer::reply(200, kFeed)};
        });
        server = std::make_unique<LoopbackServer>([this](const std::string& path) { return answer(path); }, certificate);
    }
    void TearDown() override {
        {
            std::lock_guard hold(deliveredLock);
            slowAfter = 0;  // a held answer is let go at once
        }
        deliveredChanged.notify_all();
        server.reset();
        plain.reset();
        TestEnv::TearDown();
    }

    LoopbackServer::Answer answer(const std::string& path) {
        if (path == "/feed.xml") return {LoopbackServer::reply(200, kFeed)};
        if (path == "/slow.xml") {
            // Answered only once the batch has delivered every other answer
            // (or after a minute), so which comes last never rests on timing.
            std::unique_lock hold(deliveredLock);
            deliveredChanged.wait_for(hold, 60s, [&] { return delivered >= slowAfter; });
            return {LoopbackServer::reply(200, "slow")};
        }
        if (path == "/missing.xml") return {LoopbackServer::reply(404, "<html>not here</html>")};
        if (path == "/moved.xml") return {LoopbackServer::reply(301, "", "Location: " + server->url("/feed.xml") + "\r\n")};
        if (path == "/to-http.xml")
            return {LoopbackServer::reply(302, "", "Location: " + plain->url("/feed.xml") + "\r\n")};
        if (path == "/big.xml") return {LoopbackServer::reply(200, std::string(64 * 1024, 'x'))};
        if (path == "/silent.xml") return {{}, 0ms, true};
        return {LoopbackServer::reply(500, "")};
    }

    std::unique_ptr<FeedFetcher> trusting(std::chrono::milliseconds timeout = 12000ms, size_t cap = 8 << 20) {
        return FeedFetcher::makeHttps({timeout, cap, certificate});
    }

    void oneDelivered() {
        {
            std::lock_guard hold(deliveredLock);
            ++delivered;
        }
        deliveredChanged.notify_all();
    }

    std::mutex deliveredLock;
    std::condition_variable deliveredChanged;
    size_t delivered = 0;
    size_t slowAfter = 0;
    std::filesystem::path certificate;
    std::unique_ptr<LoopbackServer> plain;
    std::unique_ptr<LoopbackServer> server;
};

TEST_F(FeedFetcherTest, OneBatchAnswersAsEachRequestCompletes) {
    auto fetcher = trusting();
    const std::vector<std::string> urls = {server->url("/slow.xml"), server->url("/feed.xml"),
                                           server->url("/missing.xml"), server->url("/moved.xml"),
                                           server->url("/to-http.xml")};
    slowAfter = urls.size() - 1;
    Fetched got = fetch(*fetcher, urls, [this] { oneDelivered(); });

    ASSERT_EQ(got.order.size(), 5u);
    EXPECT_EQ(got.order.back(), 0u);  // the slow answer comes last
    EXPECT_EQ(got.responses[0].status, 200);
    EXPECT_EQ(got.responses[0].body, "slow");
    EXPECT_EQ(got.responses[1].status, 200);
    EXPECT_EQ(got.responses[1].body, kFeed);
    EXPECT_EQ(got.responses[2].status, 404);
    EXPECT_EQ(got.responses[2].body, "");  // an error page is not kept
    EXPECT_EQ(got.responses[3].status, 200);  // an https redirect is followed
    EXPECT_EQ(got.responses[3].body, kFeed);
    EXPECT_FALSE(got.responses[4].status);  // a redirect to plain http is refused
    EXPECT_FALSE(got.responses[4].error.empty());
    EXPECT_EQ(plain->connections(), 0);

    for (const std::string& request : server->requests()) {
        EXPECT_EQ(request.rfind("GET ", 0), 0u) << request;
        EXPECT_NE(request.find("\r\nUser-Agent: Vessiltane/1.0 (update check)\r\n"), std::string::npos) << request;
    }
}

TEST_F(FeedFetcherTest, RefusesWhatItMustNotRead) {
    auto fetcher = trusting(1500ms, 16 * 1024);
    auto began = std::chrono::steady_clock::now();
    Fetched got = fetch(*fetcher, {server->url("/big.xml"), server->url("/silent.xml"), plain->url("/feed.xml")});
    auto took = std::chrono::steady_clock::now() - began;

    ASSERT_EQ(got.responses.size(), 3u);
    EXPECT_FALSE(got.responses[0].status) << "a body over the cap";
    EXPECT_FALSE(got.responses[1].status) << "a server that never answers";
    EXPECT_FALSE(got.responses[2].status) << "a plain http address";
    EXPECT_EQ(plain->connections(), 0);
    EXPECT_LT(took, 10s);

    // With the system's certificates alone the throwaway one is not trusted.
    auto untrusting = FeedFetcher::makeHttps({12000ms, 8 << 20, std::nullopt});
    Fetched refused = fetch(*untrusting, {server->url("/feed.xml")});
    ASSERT_EQ(refused.responses.size(), 1u);
    EXPECT_FALSE(refused.responses[0].status);
    EXPECT_NE(refused.responses[0].error.find("certificate"), std::string::npos) << refused.responses[0].error;
}

TEST_F(FeedFetcherTest, UpdateCheckOverTheRealFetcher) {
    auto bundle = [&](const std::string& name, const std::string& feed) {
        std::filesystem::path path = tmp() / "Applications" / (name + ".app");
        writeFile(path / "Contents/Info.plist",
                  Plist::toXml(Plist::Value::makeDict({{"SUFeedURL", Plist::Value::makeString(feed)}})));
        return InstalledApp{.id = path.string(), .name = name, .url = path, .bundleID = "com.example." + name,
                            .version = "1.0"};
    };
    std::vector<InstalledApp> apps = {bundle("Fresh", server->url("/feed.xml")),
                                      bundle("Gone", server->url("/missing.xml")),
                                      bundle("Sneaky", server->url("/to-http.xml"))};
    auto fetcher = trusting();
    ScanToken token;
    Updater::Outcome outcome = Updater::check(apps, false, token, nullptr, *fetcher);
    EXPECT_EQ(outcome.checked, 3);
    ASSERT_EQ(outcome.updates.size(), 1u);
    EXPECT_EQ(outcome.updates[0].name, "Fresh");
    EXPECT_EQ(outcome.updates[0].availableVersion, "2.0");
    EXPECT_EQ(outcome.updates[0].feedHost, "127.0.0.1");
    EXPECT_EQ(outcome.updates[0].releaseNotesURL, server->url("/feed.xml"));
}
