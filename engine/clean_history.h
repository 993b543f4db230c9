#pragma once
// The cleanup history: one JSON object per line in
// ~/Library/Application Support/Vessiltane/history.jsonl, appended after every
// cleanup by the window and the command line, read back newest first. The file
// only grows; it is also read by users' own scripts, so its form is fixed.
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

#include "platform/clock.h"

struct CleanupRecord {
    Clock::TimePoint timestamp;        // "timestamp", ISO 8601 in UTC, whole seconds
    std::string source;                // "source": "gui" or "cli"
    std::vector<std::string> modules;  // "modules": module raw values
    bool dryRun = false;               // "dry_run"
    int64_t reclaimedBytes = 0;        // "reclaimed_bytes"
    int64_t removedCount = 0;          // "removed_count"
    int64_t failureCount = 0;          // "failure_count"
    int64_t permissionDeniedCount = 0; // "permission_denied_count"
    // "stopped": true only for a cleaning stopped before every item was
    // tried; the key is left out otherwise, so other records keep their form.
    bool stopped = false;

    bool operator==(const CleanupRecord&) const = default;
};

namespace CleanHistory {

// ~/Library/Application Support/Vessiltane/history.jsonl, from the current home.
std::filesystem::path logURL();

// Appends the record as one line. The line goes out in a single write to a
// file opened for appending, so records written by two processes at once both
// land whole; when the file's last line lacks its line feed (a hand edit), a
// new line is started first. A link or anything but a regular file in the
// file's place is never written to. Failures are silent: a cleanup never fails
// because its history could not be written.
void append(const CleanupRecord& record);

// At most `limit` records, the last appended first (file order reversed, not
// sorted by time). Lines that are not records are skipped; a missing file, one
// that is not UTF-8, not a regular file, a link or over 64 MiB reads as no records.
std::vector<CleanupRecord> recent(int limit);

// The record as a JSON object with the eight keys in field order (and
// "stopped" last for a stopped cleaning); nothing when
// its timestamp cannot be written (a year outside 0000 to 9999).
std::optional<nlohmann::ordered_json> toJson(const CleanupRecord& record);
// The record in a JSON object: every key present with its type, extra keys
// ignored; nothing otherwise.
std::optional<CleanupRecord> fromJson(const nlohmann::json& object);

// One line of the file (without its line feed) and back.
std::optional<std::string> encode(const CleanupRecord& record);
std::optional<CleanupRecord> decode(std::string_view line);

}  // namespace CleanHistory
