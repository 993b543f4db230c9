#include "engine/scan_model.h"

namespace Safeties {

std::string_view rawValue(Safety s) {
    switch (s) {
        case Safety::safe: return "safe";
        case Safety::review: return "review";
        case Safety::protected_: return "protected";
    }
    return "";
}

std::string_view title(Safety s) {
    switch (s) {
        case Safety::safe: return "Safe";
        case Safety::review: return "Review";
        case Safety::protected_: return "Protected";
    }
    return "";
}

std::optional<Safety> fromRawValue(std::string_view raw) {
    if (raw == "safe") return Safety::safe;
    if (raw == "review") return Safety::review;
    if (raw == "protected") return Safety::protected_;
    return std::nullopt;
}

}  // namespace Safeties

int64_t ScanCategory::selectedSize() const {
    int64_t total = 0;
    for (const auto& item : items)
        if (item.isSelected) total += item.size;
    return total;
}

int ScanCategory::selectedCount() const {
    int count = 0;
    for (const auto& item : items)
        if (item.isSelected) ++count;
    return count;
}

std::string_view CoverageEntry::rawValue(Status s) {
    switch (s) {
        case Status::checked: return "checked";
        case Status::missing: return "missing";
        case Status::unreadable: return "unreadable";
        case Status::ignored: return "ignored";
    }
    return "";
}

std::optional<CoverageEntry::Status> CoverageEntry::statusFromRawValue(std::string_view raw) {
    for (auto s : {Status::checked, Status::missing, Status::unreadable, Status::ignored})
        if (rawValue(s) == raw) return s;
    return std::nullopt;
}

int64_t ScanReport::totalSize() const {
    int64_t total = 0;
    for (const auto& c : categories)
        for (const auto& item : c.items) total += item.size;
    return total;
}

int ScanReport::itemCount() const {
    int count = 0;
    for (const auto& c : categories) count += int(c.items.size());
    return count;
}

int ScanReport::selectedCount() const {
    int count = 0;
    for (const auto& c : categories) count += c.selectedCount();
    return count;
}

void ScanReport::toggle(const Uuid& id) {
    for (auto& c : categories)
        for (auto& item : c.items)
            if (item.id == id) {
                item.isSelected = !item.isSelected;
                return;
            }
}

void ScanReport::setSelection(bool selected, const std::optional<std::string>& categoryID) {
    for (auto& c : categories) {
        if (categoryID && c.id != *categoryID) continue;
        for (auto& item : c.items)
            if (item.safety != Safety::protected_) item.isSelected = selected;
    }
}

void ScanToken::cancel() { cancelled_.store(true, std::memory_order_release); }

bool ScanToken::isCancelled() const { return cancelled_.load(std::memory_order_acquire); }
