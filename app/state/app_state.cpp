// The state object itself: its values and their writers, the report
// selection, the banner and the scan driver every scanning action uses.
#include "app/state/app_state.h"

#include <cmath>
#include <utility>

#include "engine/admin.h"
#include "engine/command_line.h"
#include "engine/own_files.h"
#include "modules/system/thinning.h"

AppState::AppState(std::shared_ptr<Executor> executor, std::vector<std::string> arguments, QObject* parent)
    : QObject(parent), executor_(std::move(executor)) {
    tasks_ = Maintenance::catalog();
    volume_ = FS::stats("/");
    hasFullDiskAccess_ = Admin::hasFullDiskAccess();
    if (auto name = CommandLine::value(arguments, "--module"))
        if (auto module = Modules::fromCliArgument(*name)) module_ = *module;
}

AppState::AppState(QObject* parent) : AppState(makeThreadPoolExecutor(), CommandLine::arguments(), parent) {}

AppState::~AppState() {
    lifeline_.end();
    // Nothing can receive the running scan's result any more: it ends now
    // instead of running on for nothing (a closing window would wait for it).
    if (token_) token_->cancel();
    if (besideToken_) besideToken_->cancel();
}

// ---- Writers ---------------------------------------------------------------

void AppState::setModule(std::optional<ModuleID> module) {
    module_ = module;
    Q_EMIT moduleChanged();
}

void AppState::setProgress(ScanProgress progress) {
    progress_ = std::move(progress);
    Q_EMIT progressChanged();
}

void AppState::setActiveScan(std::optional<ModuleID> module) {
    activeScan_ = module;
    Q_EMIT activeScanChanged();
}

void AppState::refreshVolume() {
    volume_ = FS::stats("/");
    Q_EMIT volumeChanged();
}

void AppState::storeReport(ModuleID module, ScanReport report) {
    // Whichever scan made it, a report never offers the program's own files.
    OwnFiles::dropFrom(report);
    applyKnown(report.categories);
    // A new object, never the old one refilled: a list still showing the old
    // one keeps it whole until it hears of the new one.
    auto stored = std::make_shared<ScanReport>(std::move(report));
    std::vector<ReportTotals>& categories = categoryTotals_[size_t(module)];
    ReportTotals& total = totals_[size_t(module)];
    categories.clear();
    total = {};
    for (const ScanCategory& category : stored->categories) {
        categories.push_back(ReportTotals::of(category));
        total += categories.back();
    }
    reports_[size_t(module)] = std::move(stored);
    Q_EMIT reportChanged(module);
}

ScanReport* AppState::storedReport(ModuleID module) { return reports_[size_t(module)].get(); }

AppState::ReportTotals AppState::ReportTotals::of(const ScanCategory& category) {
    ReportTotals n;
    for (const ScanItem& item : category.items) {
        ++n.items;
        n.bytes += item.size;
        if (item.isSelected) {
            ++n.selectedItems;
            n.selectedBytes += item.size;
        }
        if (item.safety == Safety::review) {
            ++n.reviewItems;
            n.reviewBytes += item.size;
        }
    }
    return n;
}

AppState::ReportTotals& AppState::ReportTotals::operator+=(const ReportTotals& o) {
    items += o.items;
    bytes += o.bytes;
    selectedItems += o.selectedItems;
    selectedBytes += o.selectedBytes;
    reviewItems += o.reviewItems;
    reviewBytes += o.reviewBytes;
    return *this;
}

AppState::ReportTotals& AppState::ReportTotals::operator-=(const ReportTotals& o) {
    items -= o.items;
    bytes -= o.bytes;
    selectedItems -= o.selectedItems;
    selectedBytes -= o.selectedBytes;
    reviewItems -= o.reviewItems;
    reviewBytes -= o.reviewBytes;
    return *this;
}

AppState::ReportTotals AppState::totals(ModuleID module, size_t category) const {
    const std::vector<ReportTotals>& categories = categoryTotals_[size_t(module)];
    return category < categories.size() ? categories[category] : ReportTotals{};
}

void AppState::flip(ModuleID module, ScanReport& report, size_t category, size_t item) {
    ScanItem& target = report.categories[category].items[item];
    target.isSelected = !target.isSelected;
    countTick(module, category, target);
    Q_EMIT selectionChanged(module, int(category), int(item));
}

void AppState::countTick(ModuleID module, size_t category, const ScanItem& item) {
    const int step = item.isSelected ? 1 : -1;
    for (ReportTotals* n : {&categoryTotals_[size_t(module)][category], &totals_[size_t(module)]}) {
        n->selectedItems += step;
        n->selectedBytes += step * item.size;
    }
}

void AppState::setLastCleanup(std::optional<CleanupSummary> summary) {
    lastCleanup_ = std::move(summary);
    Q_EMIT lastCleanupChanged();
}

void AppState::setApps(std::vector<InstalledApp> apps) {
    apps_ = std::move(apps);
    Q_EMIT appsChanged();
}

void AppState::setLoadingApps(bool loading) {
    isLoadingApps_ = loading;
    Q_EMIT loadingAppsChanged();
}

void AppState::setScanningOrphans(bool scanning) {
    scanningOrphans_ = scanning;
    Q_EMIT scanningOrphansChanged();
}

void AppState::setThinning(bool thinning) {
    thinning_ = thinning;
    Q_EMIT thinningChanged();
}

void AppState::setLeftoverSelected(size_t index, bool selected) {
    if (index >= leftovers_.size()) return;
    leftovers_[index].isSelected = selected;
    Q_EMIT leftoversChanged();
    followChoice({leftovers_[index].url.native()}, selected);
}

void AppState::setOrphanItemSelected(size_t category, size_t item, bool selected) {
    if (category >= orphanCategories_.size() || item >= orphanCategories_[category].items.size()) return;
    ScanItem& target = orphanCategories_[category].items[item];
    if (target.safety == Safety::protected_) return;
    target.isSelected = selected;
    Q_EMIT orphanCategoriesChanged();
    followChoice({target.url.native()}, selected);
}

void AppState::setOrphanCategorySelected(size_t category, bool selected) {
    if (category >= orphanCategories_.size()) return;
    std::vector<std::string> chosen;
    for (auto& item : orphanCategories_[category].items)
        if (item.safety != Safety::protected_) {
            item.isSelected = selected;
            chosen.push_back(item.url.native());
        }
    Q_EMIT orphanCategoriesChanged();
    followChoice(chosen, selected);
}

void AppState::setSpotlightSensitivity(SpotlightSearch::Sensitivity sensitivity) {
    spotlightSensitivity_ = sensitivity;
    Q_EMIT spotlightSensitivityChanged();
}

void AppState::setUpdaterIncludesPrereleases(bool include) {
    updaterIncludesPrereleases_ = include;
    Q_EMIT updaterChanged();
}

void AppState::setSpacePath(std::vector<SpaceNodeRef> path) {
    spacePath_ = std::move(path);
    Q_EMIT diskMapChanged();
}

// ---- Banner ------------------------------------------------------------------

void AppState::showBanner(std::string text, bool isError) {
    Banner banner{Uuid::random(), std::move(text), isError};
    const Uuid id = banner.id;
    banner_ = std::move(banner);
    Q_EMIT bannerChanged();
    // Cleared when its time is up, unless a newer banner took its place.
    executor_->postAfter(lifeline_.receiver(), kBannerLifetime, [this, id] {
        if (banner_ && banner_->id == id) dismissBanner();
    });
}

void AppState::dismissBanner() {
    banner_.reset();
    Q_EMIT bannerChanged();
}

// ---- Reports -----------------------------------------------------------------

bool AppState::isScanning(ModuleID module) const {
    return (progress_.isRunning && activeScan_ == module) || (removal_ && removal_->module == module);
}

const ScanReport& AppState::report(ModuleID module) const {
    if (const auto& stored = reports_[size_t(module)]) return *stored;
    emptyReport_ = ScanReport{};
    return emptyReport_;
}

bool AppState::hasReport(ModuleID module) const { return reports_[size_t(module)] != nullptr; }

void AppState::toggle(const Uuid& id, ModuleID module) {
    ScanReport* report = storedReport(module);
    if (!report) {
        storeReport(module, ScanReport{});
        return;
    }
    for (size_t c = 0; c < report->categories.size(); ++c) {
        auto& items = report->categories[c].items;
        for (size_t i = 0; i < items.size(); ++i)
            if (items[i].id == id) {
                flip(module, *report, c, i);
                const ScanItem& flipped = report->categories[c].items[i];
                followChoice({flipped.url.native()}, flipped.isSelected);
                return;
            }
    }
}

void AppState::toggle(ModuleID module, size_t category, size_t item) {
    ScanReport* report = storedReport(module);
    if (!report || category >= report->categories.size() || item >= report->categories[category].items.size())
        return;
    flip(module, *report, category, item);
    const ScanItem& flipped = report->categories[category].items[item];
    followChoice({flipped.url.native()}, flipped.isSelected);
}

void AppState::setSelection(bool selected, const std::optional<std::string>& categoryID, ModuleID module) {
    ScanReport* report = storedReport(module);
    if (!report) {
        storeReport(module, ScanReport{});
        return;
    }
    int matched = -1;
    int matches = 0;
    for (size_t c = 0; categoryID && c < report->categories.size(); ++c)
        if (report->categories[c].id == *categoryID) {
            matched = int(c);
            ++matches;
        }
    if (categoryID && matches == 0) return;
    report->setSelection(selected, categoryID);
    // Only the categories that changed are counted again.
    std::vector<ReportTotals>& categories = categoryTotals_[size_t(module)];
    ReportTotals& total = totals_[size_t(module)];
    for (size_t c = 0; c < report->categories.size(); ++c) {
        if (categoryID && report->categories[c].id != *categoryID) continue;
        total -= categories[c];
        categories[c] = ReportTotals::of(report->categories[c]);
        total += categories[c];
    }
    // The items the choice reached, as ScanReport::setSelection reaches them.
    std::vector<std::string> chosen;
    for (const auto& category : report->categories)
        if (!categoryID || category.id == *categoryID)
            for (const auto& item : category.items)
                if (item.safety != Safety::protected_) chosen.push_back(item.url.native());
    Q_EMIT selectionChanged(module, matches == 1 ? matched : -1, -1);
    followChoice(chosen, selected);
}

namespace {

// Where System Junk's universal binaries are listed; none when it lists none.
std::optional<size_t> binariesCategory(const ScanReport& junk) {
    for (size_t c = 0; c < junk.categories.size(); ++c)
        if (junk.categories[c].id == "universal-binaries") return c;
    return std::nullopt;
}

}  // namespace

std::vector<ScanItem> AppState::selectedBinaries() const {
    std::vector<ScanItem> items;
    if (auto c = binariesCategory(junk()))
        for (const auto& item : junk().categories[*c].items)
            if (item.isSelected) items.push_back(item);
    return items;
}

int AppState::selectedBinaryCount() const {
    auto c = binariesCategory(junk());
    return c ? totals(ModuleID::systemJunk, *c).selectedItems : 0;
}

bool AppState::canThin() const { return !thinning_ && signingTool_ && selectedBinaryCount() > 0; }

bool AppState::isHeavyConsumer(const RunningApp& app) {
    return app.cpuPercent >= 20.0 || app.memoryBytes > 1'572'863'999;
}

// ---- Scan driver -------------------------------------------------------------

ScanTokenRef AppState::newToken() {
    // The work of the token being replaced would only run on for nothing and
    // keep moving the newer action's progress line.
    if (token_) token_->cancel();
    ScanTokenRef replaced = std::exchange(token_, std::make_shared<ScanToken>());
    if (replaced && activeHolder_ == replaced) activeHolder_ = token_;
    if (replaced && progressHolder_ == replaced) progressHolder_ = token_;
    removedSinceToken_.clear();
    return token_;
}

AppState::Action AppState::beginAction(ScanTokenRef token, std::optional<ModuleID> active,
                                       std::optional<std::string> message) {
    Action action{std::move(token), active.has_value(), message.has_value()};
    if (active) {
        activeHolder_ = action.token;
        setActiveScan(active);
    }
    if (message) {
        progressHolder_ = action.token;
        setProgress({0, std::move(*message), true});
    }
    return action;
}

bool AppState::endAction(const Action& action) {
    const bool holdsActive = activeHolder_ && activeHolder_ == action.token;
    const bool holdsProgress = progressHolder_ && progressHolder_ == action.token;
    stopShown(holdsActive, holdsProgress);
    return (!action.active || holdsActive) && (!action.progress || holdsProgress);
}

void AppState::stopShown(bool active, bool progress) {
    if (active) setActiveScan(std::nullopt);
    if (progress) {
        progress_.isRunning = false;
        progress_.fraction = 1.0;
        Q_EMIT progressChanged();
    }
}

AppState::Action AppState::beginScan(ModuleID module, const std::string& message) {
    return beginAction(newToken(), module, message);
}

void AppState::endScan(const Action& action) {
    endAction(action);
    refreshVolume();
}

void AppState::cancelScan() {
    // A removal showing its line stops between items, and its own end ends
    // the line once the item under way is done: until then it still runs.
    if (removal_ && progressHolder_ == removal_->stop) {
        if (token_) token_->cancel();
        stopRemoval();
        return;
    }
    if (token_) token_->cancel();
    // The line ends at once, whoever holds it. The holders stay: the stopped
    // scan's own end, with what it found, ends it once more.
    stopShown(true, true);
    refreshVolume();
}

void AppState::runScan(ModuleID module, const std::string& message, Work work, bool probeSigningTool) {
    if (removalBlocks(module)) {
        showBanner("Wait until the removal has finished.", false);
        return;
    }
    const Action action = beginScan(module, message);
    ProgressCallback progress = makeProgress();
    using Scanned = std::pair<ScanReport, std::optional<bool>>;
    inBackground<Scanned>(
        [work = std::move(work), token = action.token, progress, probeSigningTool] {
            ScanReport report = work(token, progress);
            std::erase_if(report.categories, [](const ScanCategory& c) { return c.items.empty(); });
            return Scanned{std::move(report), probeSigningTool ? std::optional(Thinning::codesignIsAvailable())
                                                               : std::nullopt};
        },
        [this, module, action](Scanned scanned) {
            if (!isCurrent(action.token)) return;
            if (scanned.second) signingTool_ = *scanned.second;
            storeReport(module, std::move(scanned.first));
            endScan(action);
        });
}

ProgressCallback AppState::makeProgress() {
    return [post = mainPoster(), this, holder = progressHolder_](double fraction, const std::string& message) {
        post([this, holder, fraction, message] {
            if (progressHolder_ == holder) applyProgress(fraction, message);
        });
    };
}

std::function<void(const std::string&)> AppState::makeMessage() {
    return [post = mainPoster(), this, holder = progressHolder_](const std::string& message) {
        post([this, holder, message] {
            if (progressHolder_ != holder) return;
            progress_.message = message;
            Q_EMIT progressChanged();
        });
    };
}

std::function<void(Executor::Job)> AppState::mainPoster() { return poster(executor_, lifeline_.receiver()); }

void AppState::applyProgress(double fraction, const std::string& message) {
    // A step too small to see, with the same words, would only redraw the screens.
    if (std::fabs(fraction - progress_.fraction) < 0.01 && message == progress_.message) return;
    progress_.fraction = fraction;
    progress_.message = message;
    Q_EMIT progressChanged();
}
