#include "engine/scanner_large_old.h"

#include <algorithm>
#include <cmath>

#include "engine/fs.h"
#include "engine/scan_support.h"
#include "platform/file_facts.h"
#include "platform/locale_text.h"
#include "platform/locations.h"
#include "platform/walker.h"
#include "platform/decimal.h"

namespace Scanner {
namespace {

constexpr int64_t kLargeBytes = 524'288'000;  // 500 MiB
constexpr int64_t kOldBytes = 104'857'600;    // 100 MiB
constexpr int64_t kOldAgeSeconds = 31'536'000;  // 365 days
constexpr double kMonthSeconds = 2'592'000;   // 30 days

// "402000" -> "402,000", the same under every locale.
std::string grouped(int64_t value) {
    std::string digits = Decimal::text(value);
    size_t sign = digits[0] == '-' ? 1 : 0;
    for (size_t i = digits.size(); i > sign + 3; i -= 3) digits.insert(i - 3, 1, ',');
    return digits;
}

std::string ageText(double seconds) {
    double whole = std::trunc(seconds / kMonthSeconds);
    if (!(whole >= 1)) whole = 1;  // also a date in the future
    // Far beyond any real file, but a forged date must not overflow the conversion.
    whole = std::min(whole, 1e15);
    int64_t count = int64_t(whole);
    if (count > 23) return Decimal::text(count / 12) + " years";
    return Decimal::text(count) + " months";
}

// The root as the walker will name its entries: no trailing "/", "/" as "".
std::string walkPrefix(const std::filesystem::path& root) {
    std::string s = root.native();
    while (s.size() > 1 && s.back() == '/') s.pop_back();
    if (s == "/") s.clear();
    return s;
}

ScanItem reviewItem(std::string_view path, std::string_view name, const FileFacts& facts, std::string detail) {
    return ScanItem{.url = std::filesystem::path(path),
                    .name = std::string(name),
                    .detail = std::move(detail),
                    .size = facts.allocatedSize,
                    .safety = Safety::review,
                    .isSelected = false,
                    .measured = MeasuredObject::of(facts)};
}

void sortAndCut(std::vector<ScanItem>& items, size_t cut) {
    ScanSupport::sortLargestFirst(items);
    if (items.size() > cut) items.resize(cut);
}

}  // namespace

std::string months(Clock::TimePoint since) {
    auto now = Clock::now();
    double seconds = std::chrono::duration<double>(now.time_since_epoch()).count() -
                     std::chrono::duration<double>(since.time_since_epoch()).count();
    return ageText(seconds);
}

ScanReport scanLargeAndOld(const std::vector<std::filesystem::path>& roots, const ScanToken& token,
                           const ProgressCallback& progress, const LargeOldLimits& limits) {
    const Clock::TimePoint start = Clock::now();
    const auto nowNs = std::chrono::duration_cast<std::chrono::nanoseconds>(start.time_since_epoch()).count();
    const int64_t nowSec = nowNs / 1'000'000'000 - (nowNs % 1'000'000'000 < 0 ? 1 : 0);
    const long nowNsec = long(nowNs - nowSec * 1'000'000'000);

    ScanReport report;
    report.scannedAt = start;
    std::vector<ScanItem> large, old;
    FS::SeenSet seen;
    int64_t entries = 0;
    bool stopped = false;
    bool limitReached = false;

    WalkOptions options;
    options.skipHidden = true;
    // The progress line is the window's: its count is grouped as the user's
    // locale groups digits.
    const std::string locale = LocaleText::user();

    for (const auto& root : roots) {
        if (stopped) break;
        // A root that is itself a link (a home folder moved elsewhere) is walked
        // where it leads; its entries are still named under the root given.
        std::filesystem::path walkRoot = root;
        if (auto facts = lstatFacts(root); facts && facts->isSymlink()) {
            std::error_code ec;
            walkRoot = std::filesystem::canonical(root, ec);
            if (ec) continue;
        }
        const std::string fromPrefix = walkPrefix(walkRoot);
        const std::string toPrefix = walkPrefix(root);

        Walker::walk(walkRoot, [&](const WalkEntry& e) {
            if (token.isCancelled()) {
                stopped = true;
                return WalkAction::stop;
            }
            ++entries;
            if (entries % limits.progressStep == 0) {
                ScanSupport::report(progress, std::min(double(entries) / limits.progressScale, limits.fractionCap),
                                    "Examined " + LocaleText::grouped(entries, locale) + " files\u2026");
                if (entries > limits.entryLimit) {
                    stopped = true;
                    limitReached = true;
                    return WalkAction::stop;
                }
            }
            if (!e.facts.isRegular()) return WalkAction::proceed;
            // Only a file big enough to be listed can be listed twice, so only
            // those are remembered (a hard link to it met later is passed over).
            const int64_t size = e.facts.allocatedSize;
            if (size < kOldBytes) return WalkAction::proceed;
            if (!seen.insert(e.facts.identity)) return WalkAction::proceed;
            std::string path = toPrefix + std::string(e.path.substr(fromPrefix.size()));
            if (size >= kLargeBytes) {
                large.push_back(reviewItem(path, e.name, e.facts, Locations::abbreviateTilde(path)));
                return WalkAction::proceed;
            }
            const timespec& m = e.facts.modified;
            if (Clock::olderThan(m, start, std::chrono::seconds(kOldAgeSeconds))) {
                double age = double(nowSec) - double(m.tv_sec) + double(nowNsec - m.tv_nsec) / 1e9;
                old.push_back(reviewItem(path, e.name, e.facts,
                                       Locations::abbreviateTilde(path) + " \u00B7 untouched for " + ageText(age)));
            }
            return WalkAction::proceed;
        }, options);
    }

    // The lists hold only what was met before the limit: say so, or a home
    // of many small files would seem to hold no large ones at all.
    if (limitReached)
        report.errors.push_back("Stopped at the limit of " + grouped(limits.entryLimit) + " entries, after " +
                                grouped(entries) + ": files beyond them were not looked at.");
    sortAndCut(large, limits.listCut);
    sortAndCut(old, limits.listCut);
    report.categories.push_back(ScanCategory{"large-files", "Large Files",
                                             "Bigger than 500 MB. Worth a second look before you decide.",
                                             std::move(large)});
    report.categories.push_back(ScanCategory{"old-files", "Old Files",
                                             "Over 100 MB and untouched for more than a year.", std::move(old)});
    report.duration = std::chrono::duration<double>(Clock::now() - start).count();
    return report;
}

std::vector<std::filesystem::path> directories(const std::filesystem::path& folder) {
    std::vector<std::filesystem::path> out;
    if (!existsFollowingLinks(folder)) return out;
    bool ok = false;
    const auto names = Walker::list(folder, &ok);
    if (!ok) return out;
    for (const auto& name : names) {
        if (name.empty() || name.front() == '.') continue;
        std::filesystem::path child = folder / name;
        if (auto facts = statFacts(child); facts && facts->isDirectory()) out.push_back(std::move(child));
    }
    return out;
}

}  // namespace Scanner
