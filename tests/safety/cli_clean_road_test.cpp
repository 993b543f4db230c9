// The command line's `clean --apply --include-review` as a removal road. It is
// handed no items: it scans and removes what the scan found. So the road makes
// each offered path that lies where the System Junk catalog looks (an entry of
// the user's or the system's cache folder) old enough to be found, and then
// runs the verb as a user would, through the same dispatch the executable
// uses. Whatever else the test built (links, mounts) the scan meets as it is.
#include <nlohmann/json.hpp>
#include <sys/stat.h>
#include <unistd.h>

#include "cli/cli.h"
#include "cli/cli_commands.h"
#include "engine/clean_history.h"
#include "engine/ignores.h"
#include "platform/authorization.h"
#include "platform/clock.h"
#include "platform/file_facts.h"
#include "platform/locations.h"
#include "safety/removal_safety.h"
#include "support/deep_tree.h"
#include "support/unprivileged.h"

using namespace testing_support;
namespace fs = std::filesystem;

namespace {

// Older than every age limit of the cache rules.
void makeOld(const fs::path& path) { setTimes(path, Clock::now() - std::chrono::hours(24 * 30)); }

bool isUnder(const fs::path& path, const fs::path& folder) { return path.parent_path() == folder; }

// Runs `clean --apply --include-review --json` and returns its JSON; every
// item the scan offered is checked on the way: none may lie behind a link.
nlohmann::json cleanAsAUserWould() {
    std::vector<std::string> throughLinks;
    CLICommands::setAfterScanHookForTesting([&](const ScanReport& report) {
        for (const auto& category : report.categories)
            for (const auto& item : category.items)
                if (reachedThroughALink(item.url)) throughLinks.push_back(item.url.native());
        betweenScanAndRemoval();
    });
    Authorization::setToolForTesting(Authorization::Tool::none);
    auto invocation = CLI::invoke({"vessiltane", "clean", "--apply", "--include-review", "--json"});
    CLICommands::setAfterScanHookForTesting(nullptr);
    EXPECT_EQ(throughLinks, std::vector<std::string>{}) << "the scan offered items found through a link";
    if (!invocation || !invocation->result.json) {
        ADD_FAILURE() << "clean gave no JSON";
        return {};
    }
    return *invocation->result.json;
}

void cleanThroughTheCommandLine(const std::vector<ScanItem>& items) {
    const fs::path userCaches = Locations::home() / "Library/Caches";
    const fs::path systemCaches = Locations::system("/Library/Caches");
    for (const auto& item : items) {
        const fs::path& path = item.url;
        if (!path.is_absolute() || path.lexically_normal() != path || !existsItself(path)) continue;
        if (isUnder(path, userCaches) || isUnder(path, systemCaches)) makeOld(path);
    }
    nlohmann::json result = cleanAsAUserWould();
    if (result.contains("error")) return;  // refused whole, as an unreadable ignore list makes it
    EXPECT_TRUE(result.contains("failures"));
}

}  // namespace

INSTANTIATE_TEST_SUITE_P(CommandLine, EveryRoad,
                         testing::Values(RemovalRoad{"cleanApply", cleanThroughTheCommandLine}), roadName);

// The attack as a user without privileges meets it: their catalog folders
// replaced by links to their documents, the whole catalog root too. Cleaning
// offers nothing from the documents, removes what it should, and the
// documents stay whole.
class CommandLineAsAUser : public RemovalSafety {};

TEST_F(CommandLineAsAUser, LinkedCatalogFoldersOfferAndLoseNothing) {
    const fs::path documents = home() / "Documents";
    writeFile(documents / "thesis.pdf", "precious thesis");
    writeFile(documents / "taxes/2024.pdf", "precious taxes");
    for (const auto& entry : fs::recursive_directory_iterator(documents)) makeOld(entry.path());
    fs::remove_all(home() / "Library/Caches/com.apple.Safari");
    makeSymlink(documents, home() / "Library/Caches/com.apple.Safari");  // a folder a rule names
    fs::remove_all(home() / "Library/Logs");
    makeSymlink(documents, home() / "Library/Logs");                      // a whole catalog root
    const fs::path junk = home() / "Library/Caches/com.example.junk";
    writeFile(junk / "blob", "junk");
    makeOld(junk);
    // Everything belongs to the user, who runs the clean without privileges.
    for (const auto& entry : fs::recursive_directory_iterator(home()))
        ::lchown(entry.path().c_str(), kUnprivilegedId, kUnprivilegedId);
    ::lchown(home().c_str(), kUnprivilegedId, kUnprivilegedId);

    std::string failure = inUnprivilegedChild([&]() -> std::string {
        nlohmann::json result = cleanAsAUserWould();
        if (::testing::Test::HasFailure()) return "the scan offered items found through a link";
        if (!result.contains("removed_count") || result["removed_count"].get<int64_t>() < 1)
            return "nothing was removed: " + result.dump();
        return "";
    });
    EXPECT_EQ(failure, "");
    EXPECT_EQ(readFile(documents / "thesis.pdf"), "precious thesis");
    EXPECT_EQ(readFile(documents / "taxes/2024.pdf"), "precious taxes");
    EXPECT_FALSE(existsItself(junk)) << "clean --apply no longer removes what it should";
    EXPECT_EQ(canaryDamage(), "");
}

// An ignore list that is there but cannot be read: clean removes nothing and
// says which file to mend, and the list is never rewritten without its entries.
class CommandLineIgnoreList : public RemovalSafety {
protected:
    CLIResult run(std::vector<std::string> words) {
        words.insert(words.begin(), "vessiltane");
        auto invocation = CLI::invoke(words);
        EXPECT_TRUE(invocation.has_value());
        return invocation ? invocation->result : CLIResult{};
    }
};

TEST_F(CommandLineIgnoreList, AnUnreadableListStopsCleanAndIsNeverRewritten) {
    makeOld(plain);
    fs::remove(Ignores::fileURL());
    ASSERT_EQ(::mkfifo(Ignores::fileURL().c_str(), 0644), 0);
    Ignores::resetCache();

    for (const std::vector<std::string>& words : {std::vector<std::string>{"clean", "--apply"},
                                                   std::vector<std::string>{"clean", "--apply", "--json"},
                                                   std::vector<std::string>{"clean"}}) {
        CLIResult clean = run(words);
        EXPECT_EQ(clean.exitCode, ExitCode::error);
        if (clean.json) {
            EXPECT_EQ(clean.json->value("error", ""), "ignore_list_unreadable");
        }
        EXPECT_NE(clean.human.find("Nothing was removed: the ignore list cannot be read (it is not a regular file): " +
                                   Ignores::fileURL().string()),
                  std::string::npos)
            << clean.human;
    }
    EXPECT_TRUE(existsItself(plain / "a/b/c.cache"));

    EXPECT_EQ(run({"ignore", "add", "/Users/me/New"}).exitCode, ExitCode::error);
    EXPECT_EQ(run({"ignore", "list"}).exitCode, ExitCode::error);
    struct stat st{};
    ASSERT_EQ(::lstat(Ignores::fileURL().c_str(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode));
}

TEST_F(CommandLineIgnoreList, AnEntryThatWouldNotReadBackIsRefusedWithWhy) {
    const std::string before = readFile(Ignores::fileURL());
    struct Case {
        std::string path;
        std::string says;
    } cases[] = {
        {"/Users/me/trailing ", "begins or ends with white space"},
        {"/Users/me/cr\r", "control character"},
        {"relative", "not an absolute path"},
        {"", "it is empty"},
    };
    for (const auto& c : cases) {
        CLIResult r = run({"ignore", "add", c.path});
        EXPECT_EQ(r.exitCode, ExitCode::usage) << c.path;
        EXPECT_NE(r.human.find(c.says), std::string::npos) << r.human;
    }
    EXPECT_EQ(readFile(Ignores::fileURL()), before);
}

// A cache item far deeper than any path can name, cleaned from the command
// line on a thread with a macOS worker thread's stack (512 KB): it is removed,
// the command succeeds, and the cleanup is recorded.
class CommandLineDeepItem : public TestEnv {};

TEST_F(CommandLineDeepItem, ACacheItemThirtyThousandFoldersDeepIsCleaned) {
    DeepScratch scratch(home());  // a file system of its own, quick to fill
    const fs::path item = home() / "Library/Caches/com.example.deep";
    makeDeepChain(item, 30'000, true);
    makeOld(item);
    Authorization::setToolForTesting(Authorization::Tool::none);
    std::optional<CLI::Invocation> invocation;
    onThreadWithStack(512 * 1024, [&] { invocation = CLI::invoke({"vessiltane", "clean", "--apply", "--json"}); });
    ASSERT_TRUE(invocation.has_value());
    EXPECT_EQ(invocation->result.exitCode, ExitCode::success) << invocation->result.human;
    ASSERT_TRUE(invocation->result.json.has_value());
    EXPECT_GE(invocation->result.json->value("removed_count", int64_t(0)), 1) << invocation->result.json->dump();
    EXPECT_FALSE(existsItself(item));
    const auto records = CleanHistory::recent(1);
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].source, "cli");
    EXPECT_FALSE(records[0].dryRun);
    EXPECT_GE(records[0].removedCount, 1);
}

// The scan measured a cache; before the removal the user's thesis was moved
// into its place. `clean --apply` leaves the thesis exactly as it was, says
// why, counts it as not removed, and cleans the rest.
class CommandLineScanThenSwap : public RemovalSafety {};

TEST_F(CommandLineScanThenSwap, AFolderMovedIntoAMeasuredCachesPlaceIsLeftWhole) {
    const fs::path cache = home() / "Library/Caches/com.example.editor";
    writeFile(cache / "cache.db", "cache");
    makeOld(cache);
    const fs::path other = home() / "Library/Caches/com.example.other";
    writeFile(other / "blob", "junk");
    makeOld(other);
    const fs::path thesis = home() / "Documents/Thesis";
    writeFile(thesis / "thesis.tex", "precious thesis");
    writeFile(thesis / "figures/plot.pdf", "precious plot");
    bool swapped = false;
    CLICommands::setAfterScanHookForTesting([&](const ScanReport&) {
        fs::rename(cache, cache.native() + ".aside");
        fs::rename(thesis, cache);
        swapped = true;
    });
    Authorization::setToolForTesting(Authorization::Tool::none);
    auto invocation = CLI::invoke({"vessiltane", "clean", "--apply", "--json"});
    CLICommands::setAfterScanHookForTesting(nullptr);
    ASSERT_TRUE(swapped);
    ASSERT_TRUE(invocation && invocation->result.json);
    const nlohmann::json& result = *invocation->result.json;
    EXPECT_EQ(invocation->result.exitCode, ExitCode::partial);
    EXPECT_EQ(result["failures"], nlohmann::json::array({cache.native() + ": Changed since the scan"})) << result.dump();
    EXPECT_EQ(readFile(cache / "thesis.tex"), "precious thesis");
    EXPECT_EQ(readFile(cache / "figures/plot.pdf"), "precious plot");
    EXPECT_FALSE(existsItself(other));
    const auto records = CleanHistory::recent(1);
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].failureCount, 1);
    EXPECT_EQ(records[0].removedCount, result["removed_count"].get<int64_t>());
}
