#pragma once
// Feed fetchers for tests: a fake that answers from a table in an order the
// test chooses, and the offline fetcher every test starts with, so no test
// reaches the network through the update check.
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "modules/system/feed_fetcher.h"

namespace testing_support {

class FakeFeedFetcher : public FeedFetcher {
public:
    // Answers by address; an address missing here fails as a transport error.
    std::map<std::string, FeedResponse> answers;
    // The order in which a batch's requests complete, as positions in the
    // batch; by default the reverse of the order they were given in.
    std::function<std::vector<size_t>(const std::vector<std::string>& batch)> completionOrder;
    // Called once a batch has been handed over, before any of it answers.
    std::function<void(size_t batchNumber)> whileBatchRuns;
    // Every batch handed over, in order.
    std::vector<std::vector<std::string>> batches;

    void fetchBatch(const std::vector<std::string>& urls, const Completion& done) override;

    static FeedResponse answer(long status, std::string body = {});
};

// Fails every request without touching the network.
std::shared_ptr<FeedFetcher> offlineFeedFetcher();

}  // namespace testing_support
