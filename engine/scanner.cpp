#include "engine/scanner.h"

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <string>

#include "engine/fs.h"
#include "engine/ignores.h"
#include "engine/protection.h"
#include "engine/scan_support.h"
#include "platform/clock.h"
#include "platform/file_facts.h"
#include "platform/locations.h"
#include "platform/walker.h"

namespace Scanner {
namespace {

constexpr int64_t kSecondsPerDay = 86400;

bool endsWithAllEntries(std::string_view pattern) {
    return pattern.size() >= 2 && pattern.substr(pattern.size() - 2) == "/*";
}

// The age test of a rule with a minimum age. The item's own dates are read
// (a symbolic link is judged by the link, as it is measured). A file always has
// a modification time here, so the creation date is never needed; when the
// dates cannot be read at all the entry is let through.
bool passesAgeTest(const std::filesystem::path& path, int minAgeDays) {
    if (minAgeDays < 1) return true;
    auto facts = lstatFacts(path);
    if (!facts) return true;
    return Clock::olderThan(facts->modified, Clock::now(), std::chrono::seconds(int64_t(minAgeDays) * kSecondsPerDay));
}

std::string itemName(const std::filesystem::path& path) {
    std::string name = path.filename().string();
    if (name.empty()) name = path.parent_path().filename().string();
    return name;
}

ScanItem makeItem(const std::filesystem::path& path, FS::Measured measured, Safety ruleSafety, bool isProtected) {
    ScanItem item;
    item.url = path;
    item.name = itemName(path);
    item.detail = Locations::abbreviateTilde(path.string());
    item.size = measured.size;
    item.measured = std::move(measured.object);
    item.safety = isProtected ? Safety::protected_ : ruleSafety;
    item.isSelected = item.safety == Safety::safe;
    return item;
}

// The coverage entry of one rule: the pattern's place with a final "/*"
// dropped. A pattern with a wildcard elsewhere keeps it in the path shown, and
// takes its status from the fixed folder in front of the first wildcard.
CoverageEntry coverageEntry(const RulePlace& place, const JunkCategory& category, int matched) {
    std::string path = place.path();
    if (endsWithAllEntries(path)) path.resize(path.size() - 2);
    CoverageEntry entry;
    entry.id = category.id + "|" + path;
    entry.label = category.title;
    entry.path = path;
    entry.status = Scanner::status(FS::patternBase(place.base, place.pattern));
    entry.itemCount = matched;
    return entry;
}

}  // namespace

std::string RulePlace::path() const {
    if (pattern.empty()) return base.native();
    const std::string& b = base.native();
    return (b.empty() || b.back() == '/' ? b : b + "/") + pattern;
}

RulePlace placeOf(std::string_view pattern) {
    if (!pattern.empty() && pattern.front() == '~') {
        size_t slash = pattern.find('/');
        std::string_view user = pattern.substr(0, slash);
        std::string_view rest = slash == std::string_view::npos ? std::string_view() : pattern.substr(slash + 1);
        return {Locations::expandTilde(user), std::string(rest)};
    }
    if (!pattern.empty() && pattern.front() == '/') {
        while (!pattern.empty() && pattern.front() == '/') pattern.remove_prefix(1);
        return {Locations::system("/"), std::string(pattern)};
    }
    return {std::filesystem::path(), std::string(pattern)};
}

ScanReport scan(const std::vector<JunkCategory>& categories, const ScanToken& token,
                const ProgressCallback& progress) {
    const Clock::TimePoint start = Clock::now();
    ScanReport report;
    report.scannedAt = start;
    FS::SeenSet seen;

    size_t total = 0;
    for (const auto& category : categories) total += std::max<size_t>(category.rules.size(), 1);
    total = std::max<size_t>(total, 1);
    size_t done = 0;

    for (const auto& category : categories) {
        if (token.isCancelled()) break;
        if (progress) progress(double(done) / double(total), "Scanning " + category.title + "\u2026");

        std::vector<ScanItem> items;
        for (const auto& rule : category.rules) {
            if (token.isCancelled()) break;
            const RulePlace place = placeOf(rule.pattern);
            int matched = 0;
            std::vector<std::filesystem::path> paths;
            for (auto& path : FS::expand(place.base, place.pattern))
                if (passesAgeTest(path, rule.minAgeDays) && !Ignores::isIgnored(path)) paths.push_back(std::move(path));
            const auto sizes = ScanSupport::measureInOrder(paths, seen, token);
            for (size_t i = 0; i < sizes.size(); ++i) {
                // An empty file or folder, or one whose files were already
                // counted, is still there to be removed; a dangling link is not.
                if (sizes[i].size <= 0 && !existsFollowingLinks(paths[i])) continue;
                ++matched;
                items.push_back(makeItem(paths[i], std::move(sizes[i]), rule.safety, Protection::isPathProtected(paths[i])));
            }
            report.coverage.push_back(coverageEntry(place, category, matched));
            ++done;
        }

        std::stable_sort(items.begin(), items.end(),
                         [](const ScanItem& a, const ScanItem& b) { return a.size > b.size; });
        report.categories.push_back({category.id, category.title, category.detail, std::move(items)});
    }

    report.duration = std::chrono::duration<double>(Clock::now() - start).count();
    return report;
}

CoverageEntry::Status status(const std::filesystem::path& path) {
    using Status = CoverageEntry::Status;
    auto facts = statFacts(path);
    if (!facts) return Status::missing;
    if (Ignores::isIgnored(path)) return Status::ignored;
    if (facts->isDirectory()) return FS::canList(path) ? Status::checked : Status::unreadable;
    return ::access(path.c_str(), R_OK) == 0 ? Status::checked : Status::unreadable;
}

CoverageEntry entry(std::string_view label, const std::filesystem::path& path) {
    CoverageEntry e;
    e.id = std::string(label) + "|" + path.string();
    e.label = std::string(label);
    e.path = path.string();
    e.status = Scanner::status(path);
    if (e.status == CoverageEntry::Status::checked && existsFollowingLinks(path)) {
        bool ok = false;
        auto names = Walker::list(path, &ok);
        e.itemCount = ok ? int(names.size()) : 0;
    }
    return e;
}

}  // namespace Scanner
