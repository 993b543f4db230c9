// Documents nested hundreds of thousands deep, where the scans read them: the
// scans, the clean and the readers of the program's own files go on as if the
// file were unreadable, on a thread with less stack than a macOS worker's.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <optional>

#include "cli/cli.h"
#include "engine/clean_history.h"
#include "modules/protection/chromium_manifest.h"
#include "platform/authorization.h"
#include "platform/clock.h"
#include "platform/file_facts.h"
#include "platform/locations.h"
#include "support/deep_documents.h"
#include "support/deep_tree.h"
#include "support/test_env.h"

using namespace testing_support;
namespace fs = std::filesystem;

namespace {

constexpr size_t kSmallStack = 256 * 1024;
constexpr size_t kHostileDepth = 300'000;

std::optional<CLI::Invocation> onSmallStack(std::vector<std::string> words) {
    words.insert(words.begin(), "vessiltane");
    std::optional<CLI::Invocation> invocation;
    onThreadWithStack(kSmallStack, [&] { invocation = CLI::invoke(words); });
    return invocation;
}

}  // namespace

class HostileNesting : public TestEnv {};

// Each hostile property list in the user's launch agents, where System Junk
// reads every job: `clean --apply` cleans what it should, says so, and
// records the run.
TEST_F(HostileNesting, CleanApplyGoesOnWithADeepPropertyListInLaunchAgents) {
    struct Case {
        const char* name;
        std::string bytes;
    } cases[] = {
        {"xml arrays", deepXmlArrays(kHostileDepth)},
        {"xml dictionaries", deepXmlDicts(kHostileDepth)},
        {"binary arrays", deepBinaryArrays(kHostileDepth)},
    };
    Authorization::setToolForTesting(Authorization::Tool::none);
    const fs::path agents = home() / "Library/LaunchAgents";
    size_t records = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove_all(agents);
        writeFile(agents / "com.example.deep.plist", c.bytes);
        const fs::path cache = home() / "Library/Caches/com.example.cache";
        writeFile(cache / "blob.cache", "cached bytes");
        setTimes(cache, Clock::now() - std::chrono::hours(24 * 30));

        auto clean = onSmallStack({"clean", "--apply", "--json", "--modules", "systemJunk"});
        ASSERT_TRUE(clean);
        EXPECT_EQ(clean->result.exitCode, ExitCode::success) << clean->result.human;
        EXPECT_FALSE(existsItself(cache)) << "the clean did not clean";
        EXPECT_TRUE(existsItself(agents / "com.example.deep.plist"));
        EXPECT_EQ(CleanHistory::recent(100).size(), ++records);

        auto scan = onSmallStack({"scan", "--json"});
        ASSERT_TRUE(scan);
        EXPECT_EQ(scan->result.exitCode, ExitCode::success);
    }
}

// JSON read from disk: a deep history line is no record, and a deep browser
// extension manifest reads as no manifest, so neither lends its name.
TEST_F(HostileNesting, DeepJsonFromDiskIsUnreadable) {
    CleanupRecord record;
    record.timestamp = Clock::now();
    record.source = "cli";
    record.modules = {"systemJunk"};
    CleanHistory::append(record);
    auto line = CleanHistory::toJson(record);
    ASSERT_TRUE(line);
    std::string deepRecord = line->dump();
    deepRecord.pop_back();  // the closing brace
    deepRecord += ", \"extra\": " + std::string(kHostileDepth, '[') + std::string(kHostileDepth, ']') + "}";
    {
        std::string history = readFile(CleanHistory::logURL());
        writeFile(CleanHistory::logURL(), history + deepRecord + "\n");
    }
    auto history = onSmallStack({"history", "--json"});
    ASSERT_TRUE(history);
    EXPECT_EQ(history->result.exitCode, ExitCode::success);
    EXPECT_EQ(CleanHistory::recent(10).size(), 1u);

    const fs::path version = home() / "Library/Application Support/Google/Chrome/Default/Extensions/abcdefgh/1.0";
    writeFile(version / "manifest.json", deepJson(kHostileDepth, "Deep Extension"));
    EXPECT_FALSE(ChromiumManifest::read(version));
    auto scan = onSmallStack({"scan", "--json", "--modules", "extensions"});
    ASSERT_TRUE(scan);
    EXPECT_EQ(scan->result.exitCode, ExitCode::success);
    EXPECT_EQ(scan->result.json->dump().find("Deep Extension"), std::string::npos);
    // The same manifest, shallow, does name it: the deep one was refused for its depth.
    writeFile(version / "manifest.json", deepJson(8, "Deep Extension"));
    EXPECT_TRUE(ChromiumManifest::read(version));
}
