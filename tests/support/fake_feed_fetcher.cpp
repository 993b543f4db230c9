#include "support/fake_feed_fetcher.h"

#include <algorithm>

namespace testing_support {

void FakeFeedFetcher::fetchBatch(const std::vector<std::string>& urls, const Completion& done) {
    batches.push_back(urls);
    if (whileBatchRuns) whileBatchRuns(batches.size() - 1);
    std::vector<size_t> order;
    if (completionOrder) {
        order = completionOrder(urls);
    } else {
        for (size_t i = urls.size(); i > 0; --i) order.push_back(i - 1);
    }
    for (size_t index : order) {
        auto found = answers.find(urls.at(index));
        done(index, found != answers.end() ? found->second : FeedResponse{std::nullopt, {}, "no answer"});
    }
}

FeedResponse FakeFeedFetcher::answer(long status, std::string body) { return FeedResponse{status, std::move(body), {}}; }

namespace {

class OfflineFeedFetcher : public FeedFetcher {
public:
    void fetchBatch(const std::vector<std::string>& urls, const Completion& done) override {
        for (size_t i = 0; i < urls.size(); ++i) done(i, FeedResponse{std::nullopt, {}, "no network in tests"});
    }
};

}  // namespace

std::shared_ptr<FeedFetcher> offlineFeedFetcher() { return std::make_shared<OfflineFeedFetcher>(); }

}  // namespace testing_support
