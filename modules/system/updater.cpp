#include "modules/system/updater.h"

#include <algorithm>
#include <exception>
#include <mutex>

#include "modules/system/appcast.h"
#include "modules/system/web_link.h"
#include "platform/plist.h"
#include "platform/unicode.h"
#include "platform/decimal.h"

namespace Updater {
namespace {

constexpr size_t kBatchSize = 5;
// Info.plist files are small; a huge one is not worth reading.
constexpr size_t kMaxInfoPlistBytes = 4 * 1024 * 1024;

std::mutex fetcherLock;
std::shared_ptr<FeedFetcher> fetcherOverride;

// The pieces of a version: split at ".", "-" and "_", empty pieces dropped,
// each piece trimmed of spaces and tabs (a piece of spaces stays, empty).
std::vector<std::string> components(std::string_view version) {
    std::vector<std::string> pieces;
    size_t start = 0;
    for (size_t i = 0; i <= version.size(); ++i) {
        if (i < version.size() && version[i] != '.' && version[i] != '-' && version[i] != '_') continue;
        if (i > start) pieces.push_back(Unicode::trimmedSpaces(version.substr(start, i - start)));
        start = i + 1;
    }
    return pieces;
}

// A signed 64-bit decimal: an optional "+" or "-" and ASCII digits only.
std::optional<int64_t> wholeNumber(std::string_view text) {
    bool negative = false;
    if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    if (text.empty()) return std::nullopt;
    for (char c : text)
        if (c < '0' || c > '9') return std::nullopt;
    std::string digits = negative ? "-" : "";
    digits += text;
    int64_t value = 0;
    auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    if (ec != std::errc() || end != digits.data() + digits.size()) return std::nullopt;
    return value;
}

Order orderOf(int comparison) {
    return comparison < 0 ? Order::ascending : comparison > 0 ? Order::descending : Order::same;
}

// Text order with runs of ASCII digits compared by their value, every other
// character by its code point, case-sensitive; both sides in composed form.
Order compareNumerically(std::string_view a, std::string_view b) {
    std::string x = Unicode::nfc(a), y = Unicode::nfc(b);
    auto isDigit = [](char c) { return c >= '0' && c <= '9'; };
    size_t i = 0, j = 0;
    while (i < x.size() && j < y.size()) {
        if (isDigit(x[i]) && isDigit(y[j])) {
            size_t ei = i, ej = j;
            while (ei < x.size() && isDigit(x[ei])) ++ei;
            while (ej < y.size() && isDigit(y[ej])) ++ej;
            std::string_view dx = std::string_view(x).substr(i, ei - i), dy = std::string_view(y).substr(j, ej - j);
            while (dx.size() > 1 && dx.front() == '0') dx.remove_prefix(1);
            while (dy.size() > 1 && dy.front() == '0') dy.remove_prefix(1);
            if (dx.size() != dy.size()) return orderOf(dx.size() < dy.size() ? -1 : 1);
            if (int c = dx.compare(dy)) return orderOf(c);
            i = ei;
            j = ej;
            continue;
        }
        // Code points: UTF-8 bytes order like the code points they spell.
        auto cx = static_cast<unsigned char>(x[i]), cy = static_cast<unsigned char>(y[j]);
        if (cx != cy) return orderOf(cx < cy ? -1 : 1);
        ++i;
        ++j;
    }
    if (i < x.size()) return Order::descending;
    if (j < y.size()) return Order::ascending;
    return Order::same;
}

std::optional<AppUpdate> updateFrom(const InstalledApp& app, const std::string& feed, const FeedResponse& response,
                                    bool includePrereleases) {
    if (!response.status || *response.status < 200 || *response.status >= 300) return std::nullopt;
    auto entry = Appcast::parse(response.body, includePrereleases);
    if (!entry || compareVersions(entry->version, app.version) != Order::descending) return std::nullopt;
    std::string host = WebLink::host(feed);
    return AppUpdate{
        .id = app.id,
        .name = app.name,
        .appPath = app.url.string(),
        .installedVersion = app.version,
        .availableVersion = entry->version,
        .downloadURL = entry->downloadURL,
        .releaseNotesURL = entry->releaseNotesURL ? entry->releaseNotesURL : std::optional<std::string>(feed),
        .published = entry->published,
        .feedHost = host.empty() ? feed : host,
    };
}

std::shared_ptr<FeedFetcher> defaultFetcher() {
    {
        std::lock_guard<std::mutex> guard(fetcherLock);
        if (fetcherOverride) return fetcherOverride;
    }
    return FeedFetcher::makeHttps();
}

}  // namespace

std::optional<std::string> appcastURL(const std::filesystem::path& bundle) {
    auto info = Plist::readFile(bundle / "Contents" / "Info.plist", kMaxInfoPlistBytes);
    if (!info || !info->isDict()) return std::nullopt;
    for (const char* key : {"SUFeedURL", "SUFeedURLForFinalUserInitiatedCheck"}) {
        auto value = info->string(key);
        if (!value) continue;
        std::string address = Unicode::trimmed(*value);
        // The scheme must be written exactly "https": plain http and odd
        // spellings are passed over.
        if (address.rfind("https://", 0) != 0) continue;
        if (auto url = WebLink::parse(address)) return url;
    }
    return std::nullopt;
}

Order compareVersions(std::string_view a, std::string_view b) {
    const std::vector<std::string> pa = components(a), pb = components(b);
    const size_t n = std::max(pa.size(), pb.size());
    for (size_t i = 0; i < n; ++i) {
        const std::string x = i < pa.size() ? pa[i] : "0";
        const std::string y = i < pb.size() ? pb[i] : "0";
        if (Unicode::equal(x, y)) continue;
        auto nx = wholeNumber(x), ny = wholeNumber(y);
        if (nx && ny) {
            if (*nx != *ny) return *nx < *ny ? Order::ascending : Order::descending;
            continue;
        }
        if (Order o = compareNumerically(x, y); o != Order::same) return o;
    }
    return Order::same;
}

Outcome check(const std::vector<InstalledApp>& apps, bool includePrereleases, const ScanToken& token,
              const ProgressCallback& progress) {
    std::shared_ptr<FeedFetcher> fetcher = defaultFetcher();
    return check(apps, includePrereleases, token, progress, *fetcher);
}

Outcome check(const std::vector<InstalledApp>& apps, bool includePrereleases, const ScanToken& token,
              const ProgressCallback& progress, FeedFetcher& fetcher) {
    struct Work {
        const InstalledApp* app;
        std::string feed;
    };
    std::vector<Work> work;
    for (const InstalledApp& app : apps)
        if (auto feed = appcastURL(app.url)) work.push_back({&app, std::move(*feed)});

    Outcome outcome;
    outcome.checked = int(work.size());
    outcome.withoutFeed = int(apps.size() - work.size());

    size_t done = 0;
    while (done < work.size() && !token.isCancelled()) {
        const size_t first = done, count = std::min(kBatchSize, work.size() - done);
        done += count;
        std::vector<std::string> urls;
        for (size_t i = first; i < first + count; ++i) urls.push_back(work[i].feed);
        std::vector<bool> answered(count, false);
        try {
            fetcher.fetchBatch(urls, [&](size_t index, FeedResponse response) {
                if (index >= count || answered[index]) return;
                answered[index] = true;
                const Work& w = work[first + index];
                if (auto update = updateFrom(*w.app, w.feed, response, includePrereleases))
                    outcome.updates.push_back(std::move(*update));
            });
        } catch (const std::exception&) {
            // A fetcher that gives up leaves its feeds without an update.
        }
        if (progress) {
            const double fraction = std::min(double(done) / double(work.size()), 0.98);
            progress(fraction, "Checked " + Decimal::text(done) + " of " + Decimal::text(work.size()) + " apps\u2026");
        }
    }

    std::stable_sort(outcome.updates.begin(), outcome.updates.end(), [](const AppUpdate& a, const AppUpdate& b) {
        return Unicode::lessIgnoringCase(a.name, b.name);
    });
    return outcome;
}

void setFetcherForTesting(std::shared_ptr<FeedFetcher> fetcher) {
    std::lock_guard<std::mutex> guard(fetcherLock);
    fetcherOverride = std::move(fetcher);
}

}  // namespace Updater
