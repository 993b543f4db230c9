#pragma once
// Fetching update feeds. The update check hands a fetcher one batch of feed
// addresses at a time; the fetcher requests them all at once and reports each
// answer as it arrives, on the calling thread, returning only when every
// request of the batch has answered, failed or timed out.
#include <chrono>
#include <cstddef>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

struct FeedResponse {
    // The HTTP status of the final answer; nothing when no answer arrived
    // (connection, TLS, timeout, a refused redirect, a body over the cap).
    std::optional<long> status;
    std::string body;   // kept only for a 2xx answer
    std::string error;  // why no answer arrived, for diagnostics
};

class FeedFetcher {
public:
    // index is the position of the address in the batch.
    using Completion = std::function<void(size_t index, FeedResponse response)>;

    virtual ~FeedFetcher() = default;

    // Requests every address of the batch at once and calls done once per
    // address, in the order the answers complete. Returns when all are done.
    virtual void fetchBatch(const std::vector<std::string>& urls, const Completion& done) = 0;

    struct Options {
        // The longest one request may take, connecting included.
        std::chrono::milliseconds timeout{12000};
        // Bodies larger than this (after decompression) are refused.
        size_t maxBodyBytes = 8 * 1024 * 1024;
        // Certificates to trust instead of the system's; only tests set it.
        std::optional<std::filesystem::path> caFile;
    };

    // The real fetcher: HTTPS GET only, also for redirects, with the user agent
    // "Vessiltane/1.0 (update check)" and no cache.
    static std::unique_ptr<FeedFetcher> makeHttps(Options options);
    static std::unique_ptr<FeedFetcher> makeHttps() { return makeHttps(Options{}); }
};
