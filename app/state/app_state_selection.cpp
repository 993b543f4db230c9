// The user's selection across screens, and what every list learns of a
// removal: the same path ticked or cleared everywhere it is listed, cleared
// paths kept cleared in later reports, and removed items dropped everywhere.
#include <algorithm>
#include <string_view>
#include <unordered_set>

#include "app/state/app_state.h"
#include "platform/locations.h"

namespace {

// A set of paths, asked about every item of every list: one path (a single
// tick) is compared from its end, where paths differ, after its length; many
// are hashed.
class PathMatch {
public:
    explicit PathMatch(const std::vector<std::string>& paths) {
        for (const auto& path : paths) {
            if (path.size() >= lengths_.size()) lengths_.resize(path.size() + 1);
            lengths_[path.size()] = true;
        }
        if (paths.size() == 1)
            single_ = paths.front();
        else
            many_.insert(paths.begin(), paths.end());
    }

    bool contains(std::string_view path) const {
        if (path.size() >= lengths_.size() || !lengths_[path.size()]) return false;
        if (single_) return std::equal(path.rbegin(), path.rend(), single_->rbegin());
        return many_.contains(path);
    }

    // The path itself or a folder it lies in.
    bool holds(std::string_view path) const {
        if (contains(path)) return true;
        for (size_t slash = path.rfind('/'); slash != std::string_view::npos && slash > 0;
             slash = path.rfind('/', slash - 1))
            if (contains(path.substr(0, slash))) return true;
        return false;
    }

private:
    struct Hash {
        using is_transparent = void;
        size_t operator()(std::string_view s) const { return std::hash<std::string_view>{}(s); }
    };
    std::vector<bool> lengths_;
    std::optional<std::string> single_;
    std::unordered_set<std::string, Hash, std::equal_to<>> many_;
};

// Which items of one report changed, for the narrowest selectionChanged.
struct Changed {
    int count = 0;
    int category = -1;
    int item = -1;
    bool oneCategory = true;

    void note(size_t c, size_t i) {
        if (count > 0 && category != int(c)) oneCategory = false;
        ++count;
        category = int(c);
        item = int(i);
    }
    int categoryArg() const { return oneCategory ? category : -1; }
    int itemArg() const { return count == 1 ? item : -1; }
};

// Whether an item takes the user's choice made for its path elsewhere: a
// protected item is never ticked by a choice made in another list.
bool follows(const ScanItem& item, bool selected) {
    return item.isSelected != selected && !(selected && item.safety == Safety::protected_);
}

// Drops the items the match holds; a category emptied by it goes. True when
// anything went.
bool dropHeld(std::vector<ScanCategory>& categories, const PathMatch& gone) {
    bool dropped = false;
    std::erase_if(categories, [&](ScanCategory& category) {
        const size_t before = category.items.size();
        std::erase_if(category.items, [&](const ScanItem& item) { return gone.holds(item.url.native()); });
        if (category.items.size() == before) return false;
        dropped = true;
        return category.items.empty();
    });
    return dropped;
}

}  // namespace

void AppState::followChoice(const std::vector<std::string>& paths, bool selected) {
    if (paths.empty()) return;
    for (const auto& path : paths) {
        if (selected)
            cleared_.erase(path);
        else
            cleared_.insert(path);
    }
    const PathMatch match(paths);
    for (ModuleID module : Modules::allCases()) {
        ScanReport* report = storedReport(module);
        if (!report) continue;
        Changed changed;
        for (size_t c = 0; c < report->categories.size(); ++c) {
            auto& items = report->categories[c].items;
            for (size_t i = 0; i < items.size(); ++i)
                if (follows(items[i], selected) && match.contains(items[i].url.native())) {
                    items[i].isSelected = selected;
                    countTick(module, c, items[i]);
                    changed.note(c, i);
                }
        }
        if (changed.count > 0) Q_EMIT selectionChanged(module, changed.categoryArg(), changed.itemArg());
    }
    bool leftoversFollowed = false;
    for (auto& leftover : leftovers_)
        if (leftover.isSelected != selected && match.contains(leftover.url.native())) {
            leftover.isSelected = selected;
            leftoversFollowed = true;
        }
    if (leftoversFollowed) Q_EMIT leftoversChanged();
    bool orphansFollowed = false;
    for (auto& category : orphanCategories_)
        for (auto& item : category.items)
            if (follows(item, selected) && match.contains(item.url.native())) {
                item.isSelected = selected;
                orphansFollowed = true;
            }
    if (orphansFollowed) Q_EMIT orphanCategoriesChanged();
}

bool AppState::applyKnown(std::vector<ScanCategory>& categories) const {
    bool changed = false;
    if (!removedSinceToken_.empty()) {
        const bool hadItems = std::any_of(categories.begin(), categories.end(),
                                          [](const ScanCategory& c) { return !c.items.empty(); });
        if (dropHeld(categories, PathMatch(removedSinceToken_))) {
            changed = true;
            // Everything it listed is gone: nothing is left to show but its empty state.
            if (hadItems && std::all_of(categories.begin(), categories.end(),
                                        [](const ScanCategory& c) { return c.items.empty(); }))
                categories.clear();
        }
    }
    if (!cleared_.empty())
        for (auto& category : categories)
            for (auto& item : category.items)
                if (item.isSelected && cleared_.contains(item.url.native())) {
                    item.isSelected = false;
                    changed = true;
                }
    return changed;
}

void AppState::applyKnown(std::vector<Uninstaller::Leftover>& leftovers) const {
    if (!removedSinceToken_.empty()) {
        const PathMatch gone(removedSinceToken_);
        std::erase_if(leftovers, [&](const Uninstaller::Leftover& l) { return gone.holds(l.url.native()); });
    }
    if (!cleared_.empty())
        for (auto& leftover : leftovers)
            if (cleared_.contains(leftover.url.native())) leftover.isSelected = false;
}

void AppState::itemsRemoved(const std::vector<std::filesystem::path>& gone) {
    std::vector<std::string> paths;
    for (const auto& path : gone) {
        std::string spelled = Locations::withoutTrailingSlash(path.native());
        if (!spelled.empty()) paths.push_back(std::move(spelled));
    }
    if (paths.empty()) return;
    removedSinceToken_.insert(removedSinceToken_.end(), paths.begin(), paths.end());
    const PathMatch match(paths);
    for (ModuleID module : Modules::allCases()) {
        ScanReport* report = storedReport(module);
        if (!report) continue;
        // Stored as a new report: a list still showing the old one keeps it
        // whole until it hears of the new one, and the figures are counted again.
        const bool holds = std::any_of(report->categories.begin(), report->categories.end(), [&](const ScanCategory& c) {
            return std::any_of(c.items.begin(), c.items.end(),
                               [&](const ScanItem& item) { return match.holds(item.url.native()); });
        });
        if (!holds) continue;
        ScanReport left = *report;
        dropHeld(left.categories, match);
        // A report with nothing left shows its empty state, not empty cards.
        if (left.itemCount() == 0) left.categories.clear();
        storeReport(module, std::move(left));
    }
    const size_t leftovers = leftovers_.size();
    std::erase_if(leftovers_, [&](const Uninstaller::Leftover& l) { return match.holds(l.url.native()); });
    if (leftovers_.size() != leftovers) Q_EMIT leftoversChanged();
    if (dropHeld(orphanCategories_, match)) Q_EMIT orphanCategoriesChanged();
}
