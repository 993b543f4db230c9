#include "modules/system/feed_fetcher.h"

#include <curl/curl.h>

#include <mutex>

namespace {

constexpr const char* kUserAgent = "Vessiltane/1.0 (update check)";
constexpr long kMaxRedirects = 10;

void initialiseCurlOnce() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

// One request of a batch and what has arrived for it so far.
struct Transfer {
    CURL* easy = nullptr;
    size_t index = 0;
    size_t cap = 0;
    std::string body;
    bool overCap = false;
    char errorBuffer[CURL_ERROR_SIZE] = {};
};

long statusOf(CURL* easy) {
    long code = 0;
    curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &code);
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
        initialiseCurlOnce();
        multi_ = curl_multi_init();
    }
    ~HttpsFeedFetcher() override {
        if (multi_) curl_multi_cleanup(multi_);
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
                    curl_multi_remove_handle(multi, t.easy);
                    curl_easy_cleanup(t.easy);
                    t.easy = nullptr;
                }
            }
        } cleanup{multi_, transfers};

        size_t pending = 0;
        for (size_t i = 0; i < urls.size(); ++i) {
            Transfer& t = transfers[i];
            t.index = i;
            t.cap = options_.maxBodyBytes;
            CURL* easy = multi_ ? curl_easy_init() : nullptr;
            if (easy && configure(t, easy, urls[i]) && curl_multi_add_handle(multi_, easy) == CURLM_OK) {
                ++pending;
                continue;
            }
            t.easy = nullptr;
            if (easy) curl_easy_cleanup(easy);
            done(i, FeedResponse{std::nullopt, {}, "the request could not be set up"});
        }

        while (pending > 0) {
            int running = 0;
            CURLMcode rc = curl_multi_perform(multi_, &running);
            pending -= finishCompleted(done);
            if (pending == 0 || rc != CURLM_OK) break;
            if (curl_multi_poll(multi_, nullptr, 0, 1000, nullptr) != CURLM_OK) break;
        }
        // Requests are left over only when the multi handle itself failed.
        for (Transfer& t : transfers) {
            if (!t.easy) continue;
            curl_multi_remove_handle(multi_, t.easy);
            curl_easy_cleanup(t.easy);
            t.easy = nullptr;
            done(t.index, FeedResponse{std::nullopt, {}, "the transfer was abandoned"});
        }
    }

private:
    bool configure(Transfer& t, CURL* e, const std::string& url) {
        t.easy = e;
        bool ok = curl_easy_setopt(e, CURLOPT_URL, url.c_str()) == CURLE_OK;
        curl_easy_setopt(e, CURLOPT_HTTPGET, 1L);
        curl_easy_setopt(e, CURLOPT_USERAGENT, kUserAgent);
#if LIBCURL_VERSION_NUM >= 0x075500
        ok = ok && curl_easy_setopt(e, CURLOPT_PROTOCOLS_STR, "https") == CURLE_OK;
        ok = ok && curl_easy_setopt(e, CURLOPT_REDIR_PROTOCOLS_STR, "https") == CURLE_OK;
#else
        ok = ok && curl_easy_setopt(e, CURLOPT_PROTOCOLS, long(CURLPROTO_HTTPS)) == CURLE_OK;
        ok = ok && curl_easy_setopt(e, CURLOPT_REDIR_PROTOCOLS, long(CURLPROTO_HTTPS)) == CURLE_OK;
#endif
        curl_easy_setopt(e, CURLOPT_FOLLOWLOCATION, 1L);
        curl_easy_setopt(e, CURLOPT_MAXREDIRS, kMaxRedirects);
        curl_easy_setopt(e, CURLOPT_NOSIGNAL, 1L);
        curl_easy_setopt(e, CURLOPT_TIMEOUT_MS, long(options_.timeout.count()));
        curl_easy_setopt(e, CURLOPT_CONNECTTIMEOUT_MS, long(options_.timeout.count()));
        curl_easy_setopt(e, CURLOPT_MAXFILESIZE_LARGE, curl_off_t(options_.maxBodyBytes));
        // Compressed answers are accepted; the cap applies to what they expand to.
        curl_easy_setopt(e, CURLOPT_ACCEPT_ENCODING, "");
        curl_easy_setopt(e, CURLOPT_SSL_VERIFYPEER, 1L);
        curl_easy_setopt(e, CURLOPT_SSL_VERIFYHOST, 2L);
        if (options_.caFile) {
            ok = ok && curl_easy_setopt(e, CURLOPT_CAINFO, options_.caFile->c_str()) == CURLE_OK;
            curl_easy_setopt(e, CURLOPT_CAPATH, nullptr);
        }
        curl_easy_setopt(e, CURLOPT_WRITEFUNCTION, collect);
        curl_easy_setopt(e, CURLOPT_WRITEDATA, &t);
        curl_easy_setopt(e, CURLOPT_ERRORBUFFER, t.errorBuffer);
        curl_easy_setopt(e, CURLOPT_PRIVATE, &t);
        return ok;
    }

    // Reports every request that has completed since the last call, in the
    // order curl finished them; returns how many.
    size_t finishCompleted(const Completion& done) {
        size_t finished = 0;
        int left = 0;
        while (CURLMsg* msg = curl_multi_info_read(multi_, &left)) {
            if (msg->msg != CURLMSG_DONE) continue;
            CURL* easy = msg->easy_handle;
            CURLcode result = msg->data.result;
            char* context = nullptr;
            curl_easy_getinfo(easy, CURLINFO_PRIVATE, &context);
            auto* t = reinterpret_cast<Transfer*>(context);
            if (!t || t->easy != easy) continue;
            FeedResponse response;
            if (result == CURLE_OK) {
                response.status = statusOf(easy);
                if (*response.status >= 200 && *response.status < 300) response.body = std::move(t->body);
            } else if (t->overCap || result == CURLE_FILESIZE_EXCEEDED) {
                response.error = "the feed is larger than the limit";
            } else {
                response.error = t->errorBuffer[0] ? std::string(t->errorBuffer) : curl_easy_strerror(result);
            }
            curl_multi_remove_handle(multi_, easy);
            curl_easy_cleanup(easy);
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
