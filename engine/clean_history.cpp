#include "engine/clean_history.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <limits>

#include "platform/atomic_file.h"
#include "platform/file_handle.h"
#include "platform/file_text.h"
#include "platform/iso8601.h"
#include "platform/locations.h"
#include "platform/unicode.h"
#include "platform/nesting.h"

namespace CleanHistory {
namespace {

// Some hundred thousand cleanups; a larger file is not this program's history.
constexpr size_t kMaxFileBytes = 64 * 1024 * 1024;

std::optional<int64_t> integer(const nlohmann::json& value) {
    if (value.is_number_unsigned()) {
        auto u = value.get<uint64_t>();
        if (u > uint64_t(std::numeric_limits<int64_t>::max())) return std::nullopt;
        return int64_t(u);
    }
    if (value.is_number_integer()) return value.get<int64_t>();
    return std::nullopt;
}

// Writes the whole buffer with one write, retried only when interrupted
// before anything was written.
void writeOnce(int fd, const std::string& bytes) {
    for (;;) {
        ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR) continue;
        return;
    }
}

// Whether the open file is non-empty and its last byte is not a line feed.
bool lacksFinalLineFeed(int fd) {
    struct stat st {};
    if (::fstat(fd, &st) != 0 || st.st_size <= 0) return false;
    char last = 0;
    return ::pread(fd, &last, 1, st.st_size - 1) == 1 && last != '\n';
}

}  // namespace

std::filesystem::path logURL() { return Locations::supportFolder() / "history.jsonl"; }

std::optional<nlohmann::ordered_json> toJson(const CleanupRecord& record) {
    auto timestamp = Iso8601::format(record.timestamp);
    if (!timestamp) return std::nullopt;
    nlohmann::ordered_json object;
    object["timestamp"] = *timestamp;
    object["source"] = record.source;
    object["modules"] = record.modules;
    object["dry_run"] = record.dryRun;
    object["reclaimed_bytes"] = record.reclaimedBytes;
    object["removed_count"] = record.removedCount;
    object["failure_count"] = record.failureCount;
    object["permission_denied_count"] = record.permissionDeniedCount;
    if (record.stopped) object["stopped"] = true;
    return object;
}

std::optional<CleanupRecord> fromJson(const nlohmann::json& object) {
    if (!object.is_object()) return std::nullopt;
    auto field = [&](const char* key) -> const nlohmann::json* {
        auto it = object.find(key);
        return it == object.end() ? nullptr : &*it;
    };
    CleanupRecord record;

    const auto* timestamp = field("timestamp");
    if (!timestamp || !timestamp->is_string()) return std::nullopt;
    auto when = Iso8601::parse(timestamp->get_ref<const std::string&>());
    if (!when) return std::nullopt;
    record.timestamp = *when;

    const auto* source = field("source");
    if (!source || !source->is_string()) return std::nullopt;
    record.source = source->get<std::string>();

    const auto* modules = field("modules");
    if (!modules || !modules->is_array()) return std::nullopt;
    for (const auto& m : *modules) {
        if (!m.is_string()) return std::nullopt;
        record.modules.push_back(m.get<std::string>());
    }

    const auto* dryRun = field("dry_run");
    if (!dryRun || !dryRun->is_boolean()) return std::nullopt;
    record.dryRun = dryRun->get<bool>();

    struct Count {
        const char* key;
        int64_t* target;
    } counts[] = {
        {"reclaimed_bytes", &record.reclaimedBytes},
        {"removed_count", &record.removedCount},
        {"failure_count", &record.failureCount},
        {"permission_denied_count", &record.permissionDeniedCount},
    };
    for (const auto& c : counts) {
        const auto* value = field(c.key);
        if (!value) return std::nullopt;
        auto n = integer(*value);
        if (!n) return std::nullopt;
        *c.target = *n;
    }
    if (const auto* stopped = field("stopped"); stopped && stopped->is_boolean()) record.stopped = stopped->get<bool>();
    return record;
}

std::optional<std::string> encode(const CleanupRecord& record) {
    auto object = toJson(record);
    if (!object) return std::nullopt;
    // Strings that are not UTF-8 are written with replacement characters
    // rather than making the whole record unwritable.
    return object->dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
}

std::optional<CleanupRecord> decode(std::string_view line) {
    if (!Nesting::jsonWithin(line)) return std::nullopt;
    auto object = nlohmann::json::parse(line, nullptr, /*allow_exceptions=*/false);
    if (object.is_discarded()) return std::nullopt;
    return fromJson(object);
}

void append(const CleanupRecord& record) {
    if (!AtomicFile::makeFolders(Locations::supportFolder())) return;
    auto line = encode(record);
    if (!line) return;
    line->push_back('\n');
    // The program's own file: never written through a link put in its place,
    // and never anything but a regular file (a FIFO would block the cleanup).
    FileHandle handle(::open(logURL().c_str(), O_RDWR | O_CREAT | O_APPEND | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0644));
    struct stat st{};
    if (!handle.valid() || ::fstat(handle.get(), &st) != 0 || !S_ISREG(st.st_mode)) return;
    const int fd = handle.get();
    // A line left without its line feed (edited by hand, or cut short by a
    // full disk) must not swallow this record: start a new line first, in the
    // same write. Should another writer end the file meanwhile, the result is
    // an empty line, which readers skip.
    if (lacksFinalLineFeed(fd)) line->insert(line->begin(), '\n');
    writeOnce(fd, *line);
}

std::vector<CleanupRecord> recent(int limit) {
    if (limit <= 0) return {};
    auto bytes = FileText::readOwn(logURL(), kMaxFileBytes);
    if (!bytes || !Unicode::isValidUtf8(*bytes)) return {};

    std::vector<CleanupRecord> records;
    std::string_view text = *bytes;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string_view::npos) end = text.size();
        if (end > start)
            if (auto record = decode(text.substr(start, end - start))) records.push_back(std::move(*record));
        start = end + 1;
    }

    std::vector<CleanupRecord> newest;
    for (auto it = records.rbegin(); it != records.rend() && int(newest.size()) < limit; ++it)
        newest.push_back(std::move(*it));
    return newest;
}

}  // namespace CleanHistory
