#include "engine/clean_history.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>

#include "platform/iso8601.h"
#include "platform/locations.h"
#include "support/test_env.h"

using namespace testing_support;

namespace {

Clock::TimePoint at(const char* iso) { return *Iso8601::parse(iso); }

CleanupRecord record(const char* iso, int64_t reclaimed, std::string source = "cli") {
    return {at(iso), std::move(source), {"systemJunk", "trashBins"}, false, reclaimed, 3, 1, 1};
}

std::vector<int64_t> reclaimed(const std::vector<CleanupRecord>& records) {
    std::vector<int64_t> out;
    for (const auto& r : records) out.push_back(r.reclaimedBytes);
    return out;
}

void appendRaw(const std::filesystem::path& path, std::string_view bytes) {
    std::filesystem::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::app);
    out.write(bytes.data(), std::streamsize(bytes.size()));
}

}  // namespace

class CleanHistoryTest : public TestEnv {};

TEST_F(CleanHistoryTest, FirstAppendCreatesTheFileWithOneLine) {
    EXPECT_EQ(CleanHistory::logURL(), home() / "Library/Application Support/Vessiltane/history.jsonl");
    EXPECT_TRUE(CleanHistory::recent(50).empty());
    EXPECT_FALSE(std::filesystem::exists(CleanHistory::logURL().parent_path()));

    // Fractions of a second are dropped; the keys are in field order.
    CleanupRecord r = {at("2026-03-01T09:30:00Z") + std::chrono::milliseconds(750), "gui", {"systemJunk"}, true,
                       4096, 2, 1, 0};
    CleanHistory::append(r);
    EXPECT_EQ(readFile(CleanHistory::logURL()),
              "{\"timestamp\":\"2026-03-01T09:30:00Z\",\"source\":\"gui\",\"modules\":[\"systemJunk\"],"
              "\"dry_run\":true,\"reclaimed_bytes\":4096,\"removed_count\":2,\"failure_count\":1,"
              "\"permission_denied_count\":0}\n");

    auto back = CleanHistory::recent(1);
    ASSERT_EQ(back.size(), 1u);
    r.timestamp = at("2026-03-01T09:30:00Z");
    EXPECT_EQ(back[0], r);
}

// Newest means last in the file, whatever the timestamps say; lines that are
// not records are skipped and the others still count.
TEST_F(CleanHistoryTest, ReadsNewestFirstAndSkipsWhatIsNotARecord) {
    const std::string good = R"("source":"cli","modules":[],"dry_run":false,"reclaimed_bytes":)";
    const std::string tail = R"(,"removed_count":0,"failure_count":0,"permission_denied_count":0})";
    auto line = [&](const std::string& timestamp, int bytes) {
        return "{\"timestamp\":\"" + timestamp + "\"," + good + std::to_string(bytes) + tail + "\n";
    };
    std::string file;
    file += line("2026-03-02T10:00:00Z", 1);
    file += "not json at all\n";
    file += line("2026-03-02T10:00:00.500Z", 90);  // fraction of a second
    file += line("2026-03-02T10:00:00", 91);       // no zone designator
    file += "\n\n";
    file += line("2026-01-01T00:00:00Z", 2);  // older timestamp, later in the file
    file += R"({"timestamp":"2026-03-02T10:00:00Z","source":"cli","modules":[],"dry_run":false,)"
            R"("reclaimed_bytes":92,"removed_count":0,"failure_count":0})"
            "\n";  // lacks a key
    file += R"({"timestamp":"2026-03-02T10:00:00Z","source":"cli","modules":[],"dry_run":"no",)"
            R"("reclaimed_bytes":93,"removed_count":0,"failure_count":0,"permission_denied_count":0})"
            "\n";  // wrong type
    file += R"({"timestamp":"2026-03-02T10:00:00Z","source":"cli","modules":[],"dry_run":false,)"
            R"("reclaimed_bytes":94.5,"removed_count":0,"failure_count":0,"permission_denied_count":0})"
            "\n";  // not an integer
    file += R"(["an","array"])"
            "\n";
    file += line("2026-03-02T12:00:00+02:00", 3);
    file += R"({"extra":"kept out","timestamp":"2026-03-03T00:00:00Z","source":"gui","modules":["music"],)"
            R"("dry_run":true,"reclaimed_bytes":4,"removed_count":0,"failure_count":0,"permission_denied_count":0})";
    appendRaw(CleanHistory::logURL(), file);

    EXPECT_EQ(reclaimed(CleanHistory::recent(50)), (std::vector<int64_t>{4, 3, 2, 1}));
    EXPECT_EQ(reclaimed(CleanHistory::recent(1)), std::vector<int64_t>{4});
    EXPECT_TRUE(CleanHistory::recent(0).empty());
    auto all = CleanHistory::recent(50);
    EXPECT_EQ(all[1].timestamp, at("2026-03-02T10:00:00Z"));
    EXPECT_EQ(all[0].modules, std::vector<std::string>{"music"});
    EXPECT_TRUE(all[0].dryRun);
}

TEST_F(CleanHistoryTest, ALastLineWithoutLineFeedKeepsBothRecords) {
    CleanHistory::append(record("2026-03-01T09:00:00Z", 10));
    // A hand edit that leaves the last record without its line feed.
    std::string text = readFile(CleanHistory::logURL());
    text.pop_back();
    std::filesystem::remove(CleanHistory::logURL());
    appendRaw(CleanHistory::logURL(), text);

    CleanHistory::append(record("2026-03-01T10:00:00Z", 20));
    EXPECT_EQ(reclaimed(CleanHistory::recent(50)), (std::vector<int64_t>{20, 10}));
    EXPECT_EQ(readFile(CleanHistory::logURL()).back(), '\n');
}

TEST_F(CleanHistoryTest, BytesThatAreNotUtf8AnywhereReadAsNoRecords) {
    CleanHistory::append(record("2026-03-01T09:00:00Z", 10));
    appendRaw(CleanHistory::logURL(), "\xff\n");
    CleanHistory::append(record("2026-03-01T10:00:00Z", 20));
    EXPECT_TRUE(CleanHistory::recent(50).empty());
}

TEST_F(CleanHistoryTest, AnUnwritableFolderLosesTheRecordSilently) {
    // The support folder's place is taken by a file, so it cannot be created.
    writeFile(Locations::supportFolder(), "in the way");
    CleanHistory::append(record("2026-03-01T09:00:00Z", 10));
    EXPECT_TRUE(CleanHistory::recent(50).empty());
    EXPECT_EQ(readFile(Locations::supportFolder()), "in the way");
}

// Appends from several processes at once are not coordinated; each line still
// lands whole.
TEST_F(CleanHistoryTest, FourProcessesAppendingAtOnceLoseNothing) {
    constexpr int kProcesses = 4;
    constexpr int kEach = 500;
    std::vector<pid_t> children;
    for (int p = 0; p < kProcesses; ++p) {
        pid_t pid = ::fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            for (int i = 0; i < kEach; ++i)
                CleanHistory::append(record("2026-03-01T09:00:00Z", int64_t(p) * 1000000 + i));
            ::_exit(0);
        }
        children.push_back(pid);
    }
    for (pid_t pid : children) {
        int status = 0;
        ASSERT_EQ(::waitpid(pid, &status, 0), pid);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }

    auto all = CleanHistory::recent(kProcesses * kEach + 10);
    ASSERT_EQ(all.size(), size_t(kProcesses * kEach));
    // Each process's records are all there, in the order it wrote them.
    std::vector<int64_t> next(kProcesses, kEach - 1);
    for (const auto& r : all) {
        int p = int(r.reclaimedBytes / 1000000);
        ASSERT_LT(p, kProcesses);
        EXPECT_EQ(r.reclaimedBytes % 1000000, next[size_t(p)]--);
    }
}
