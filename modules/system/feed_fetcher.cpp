#include "modules/system/feed_fetcher.h"

#include <mutex>

#include "modules/system/curl_library.h"

namespace {

constexpr const char* kUserAgent = "Vessiltane/1.0 (update check)";
constexpr long kMaxRedirects = 10;

// One request of a batch and what has arrived for it so far.
struct Transfer {
    CURL* easy = nullptr;
    size_t index = 0;
    size_t cap = 0;
    std::string body;
    bool overCap = false;
    char errorBuffer[CURL_ERROR_SIZE] = {};
};

// Called only once a fetcher has the library loaded.
const CurlLibrary& curl() { return *Curl::library(); }

long statusOf(CURL* easy) {
    long code = 0;
    curl().easyGetinfo(easy, CURLINFO_RESPONSE_CODE, &code);
    return code;
}

size_t collect(char* data, size_t size, size_t count, void* context) {
    auto* t = static_cast<Transfer*>(context);
    const size_t n = size * count;
    long status = statusOf(t->easy);
    // Only a 2xx answer is ever read; an error page is drained unread.
    if (status < 200 || status >= 300) return n;
    if (n > t->cap - t->body.size()) {
        t->overCap = true;
        return 0;  // stops the transfer
    }
    t->body.append(data, n);
    return n;
}

class HttpsFeedFetcher : public FeedFetcher {
public:
    explicit HttpsFeedFetcher(Options options) : options_(std::move(options)) {
        if (Curl::library()) multi_ = curl().multiInit();
    }
    ~HttpsFeedFetcher() override {
        if (multi_) curl().multiCleanup(multi_);
    }
    HttpsFeedFetcher(const HttpsFeedFetcher&) = delete;
    HttpsFeedFetcher& operator=(const HttpsFeedFetcher&) = delete;

    void fetchBatch(const std::vector<std::string>& urls, const Completion& done) override {
        std::vector<Transfer> transfers(urls.size());
        // Whatever happens below, no handle outlives the batch.
        struct Cleanup {
            CURLM* multi;
            std::vector<Transfer>& transfers;
            ~Cleanup() {
                for (Transfer& t : transfers) {
                    if (!t.easy) continue;
                    curl().multiRemoveHandle(multi, t.easy);
                    curl().easyCleanup(t.easy);
                    t.easy = nullptr;
                }
            }
        } cleanup{multi_, transfers};

        size_t pending = 0;
        for (size_t i = 0; i < urls.size(); ++i) {
            Transfer& t = transfers[i];
            t.index = i;
            t.cap = options_.maxBodyBytes;
            CURL* easy = multi_ ? curl().easyInit() : nullptr;
            if (easy && configure(t, easy, urls[i]) && curl().multiAddHandle(multi_, easy) == CURLM_OK) {
                ++pending;
                continue;
            }
            t.easy = nullptr;
            if (easy) curl().easyCleanup(easy);
            done(i, FeedResponse{std::nullopt, {},
                                 multi_ ? "the request could not be set up" : "no HTTPS library could be loaded"});
        }

        while (pending > 0) {
            int running = 0;
            CURLMcode rc = curl().multiPerform(multi_, &running);
            pending -= finishCompleted(done);
            if (pending == 0 || rc != CURLM_OK) break;
            if (curl().multiPoll(multi_, nullptr, 0, 1000, nullptr) != CURLM_OK) break;
        }
        // Requests are left over only when the multi handle itself failed.
        for (Transfer& t : transfers) {
            if (!t.easy) continue;
            curl().multiRemoveHandle(multi_, t.easy);
            curl().easyCleanup(t.easy);
            t.easy = nullptr;
            done(t.index, FeedResponse{std::nullopt, {}, "the transfer was abandoned"});
        }
    }

private:
    bool configure(Transfer& t, CURL* e, const std::string& url) {
        t.easy = e;
        bool ok = curl().easySetopt(e, CURLOPT_URL, url.c_str()) == CURLE_OK;
        curl().easySetopt(e, CURLOPT_HTTPGET, 1L);
        curl().easySetopt(e, CURLOPT_USERAGENT, kUserAgent);
#if LIBCURL_VERSION_NUM >= 0x075500
        ok = ok && curl().easySetopt(e, CURLOPT_PROTOCOLS_STR, "https") == CURLE_OK;
        ok = ok && curl().easySetopt(e, CURLOPT_REDIR_PROTOCOLS_STR, "https") == CURLE_OK;
#else
        ok = ok && curl().easySetopt(e, CURLOPT_PROTOCOLS, long(CURLPROTO_HTTPS)) == CURLE_OK;
        ok = ok && curl().easySetopt(e, CURLOPT_REDIR_PROTOCOLS, long(CURLPROTO_HTTPS)) == CURLE_OK;
#endif
        curl().easySetopt(e, CURLOPT_FOLLOWLOCATION, 1L);
        curl().easySetopt(e, CURLOPT_MAXREDIRS, kMaxRedirects);
        curl().easySetopt(e, CURLOPT_NOSIGNAL, 1L);
        curl().easySetopt(e, CURLOPT_TIMEOUT_MS, long(options_.timeout.count()));
        curl().easySetopt(e, CURLOPT_CONNECTTIMEOUT_MS, long(options_.timeout.count()));
        curl().easySetopt(e, CURLOPT_MAXFILESIZE_LARGE, curl_off_t(options_.maxBodyBytes));
        // Compressed answers are accepted; the cap applies to what they expand to.
        curl().easySetopt(e, CURLOPT_ACCEPT_ENCODING, "");
        curl().easySetopt(e, CURLOPT_SSL_VERIFYPEER, 1L);
        curl().easySetopt(e, CURLOPT_SSL_VERIFYHOST, 2L);
        if (options_.caFile) {
            ok = ok && curl().easySetopt(e, CURLOPT_CAINFO, options_.caFile->c_str()) == CURLE_OK;
            curl().easySetopt(e, CURLOPT_CAPATH, nullptr);
        }
        curl().easySetopt(e, CURLOPT_WRITEFUNCTION, collect);
        curl().easySetopt(e, CURLOPT_WRITEDATA, &t);
        curl().easySetopt(e, CURLOPT_ERRORBUFFER, t.errorBuffer);
        curl().easySetopt(e, CURLOPT_PRIVATE, &t);
        return ok;
    }

    // Reports every request that has completed since the last call, in the
    // order curl finished them; returns how many.
    size_t finishCompleted(const Completion& done) {
        size_t finished = 0;
        int left = 0;
        while (CURLMsg* msg = curl().multiInfoRead(multi_, &left)) {
            if (msg->msg != CURLMSG_DONE) continue;
            CURL* easy = msg->easy_handle;
            CURLcode result = msg->data.result;
            char* context = nullptr;
            curl().easyGetinfo(easy, CURLINFO_PRIVATE, &context);
            auto* t = reinterpret_cast<Transfer*>(context);
            if (!t || t->easy != easy) continue;
            FeedResponse response;
            if (result == CURLE_OK) {
                response.status = statusOf(easy);
                if (*response.status >= 200 && *response.status < 300) response.body = std::move(t->body);
            } else if (t->overCap || result == CURLE_FILESIZE_EXCEEDED) {
                response.error = "the feed is larger than the limit";
            } else {
                response.error = t->errorBuffer[0] ? std::string(t->errorBuffer) : curl().easyStrerror(result);
            }
            curl().multiRemoveHandle(multi_, easy);
            curl().easyCleanup(easy);
            t->easy = nullptr;
            ++finished;
            done(t->index, std::move(response));
        }
        return finished;
    }

    Options options_;
    CURLM* multi_ = nullptr;
};

}  // namespace

std::unique_ptr<FeedFetcher> FeedFetcher::makeHttps(Options options) {
    return std::make_unique<HttpsFeedFetcher>(std::move(options));
}
