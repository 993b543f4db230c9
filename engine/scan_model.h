#pragma once
// The records every scan produces and every consumer reads: the safety rating,
// found items, their categories, the report with its coverage, the progress
// value, and the cooperative cancel token.
#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/clock.h"
#include "platform/file_facts.h"
#include "platform/uuid.h"

// Ordered: safe < review < protected.
enum class Safety { safe, review, protected_ };

namespace Safeties {
std::string_view rawValue(Safety safety);  // "safe", "review", "protected"
std::optional<Safety> fromRawValue(std::string_view raw);
std::string_view title(Safety safety);  // "Safe", "Review", "Protected"
}  // namespace Safeties

struct ScanItem {
    Uuid id = Uuid::random();
    std::filesystem::path url;
    std::string name;
    std::string detail;
    int64_t size = 0;
    Safety safety = Safety::review;
    bool isSelected = false;
    // What the scan found at the path. Every removal road takes the item only
    // while the same object is there; an item without one is never removed
    // (every scan records it, so only a caller's mistake leaves it out).
    std::optional<MeasuredObject> measured;

    // Items are one and the same when their ids are.
    bool operator==(const ScanItem& other) const { return id == other.id; }
};

struct ScanCategory {
    std::string id;
    std::string title;
    std::string detail;
    std::vector<ScanItem> items;

    int64_t selectedSize() const;
    int selectedCount() const;

    bool operator==(const ScanCategory& other) const { return id == other.id; }
};

struct CoverageEntry {
    enum class Status { checked, missing, unreadable, ignored };

    std::string id;  // "<key>|<path>"
    std::string label;
    std::string path;
    Status status = Status::checked;
    int itemCount = 0;

    bool operator==(const CoverageEntry&) const = default;

    static std::string_view rawValue(Status status);
    static std::optional<Status> statusFromRawValue(std::string_view raw);
};

struct ScanReport {
    std::vector<ScanCategory> categories;
    Clock::TimePoint scannedAt = Clock::now();
    double duration = 0;
    std::vector<std::string> errors;
    std::vector<std::string> permissionBlocked;
    std::vector<CoverageEntry> coverage;
    std::optional<std::string> ruleSetInfo;

    int64_t totalSize() const;
    int itemCount() const;
    int selectedCount() const;

    // Flips the selection of the first item with this id, whatever its safety.
    void toggle(const Uuid& id);
    // Selects or clears every item of the category (every category when none is
    // named), leaving protected items as they are.
    void setSelection(bool selected, const std::optional<std::string>& categoryID);
};

struct ScanProgress {
    double fraction = 0;
    std::string message;
    bool isRunning = false;
};

// Called on the worker's thread with a fraction from 0 to 1 and a message.
using ProgressCallback = std::function<void(double fraction, const std::string& message)>;

// Cooperative cancellation shared between the thread that starts an operation
// and the thread that runs it. Once cancelled it stays cancelled.
class ScanToken {
public:
    void cancel();
    bool isCancelled() const;

private:
    // Read at every entry a scan visits, from every walking thread.
    std::atomic<bool> cancelled_{false};
};

using ScanTokenRef = std::shared_ptr<ScanToken>;
