#include <gtest/gtest.h>

#include "cli/cli.h"
#include "cli/cli_commands.h"
#include "engine/clean_history.h"
#include "engine/ignores.h"
#include "modules/system/schedule.h"
#include "platform/authorization.h"
#include "platform/clock.h"
#include "support/test_env.h"

using namespace testing_support;

namespace {
std::optional<CLI::Invocation> invoke(std::vector<std::string> args) {
    args.insert(args.begin(), "/usr/bin/vessiltane");
    return CLI::invoke(args);
}
}  // namespace

TEST(CLIUsage, MatchesTheGoldenCopyByteForByte) {
    std::string golden = readFile(std::string(VESSILTANE_SOURCE_DIR) + "/tests/cli/usage.golden.txt");
    ASSERT_EQ(golden.size(), 1789u);
    EXPECT_EQ(std::string(CLI::usageText), golden);
}

TEST(CLIDispatch, WhatIsACommand) {
    EXPECT_FALSE(invoke({}));
    EXPECT_FALSE(invoke({"frobnicate"}));
    EXPECT_FALSE(invoke({"--help"}));
    EXPECT_FALSE(invoke({"frobnicate", "--help"}));
    EXPECT_FALSE(invoke({"scan", "--module", "systemJunk"}));
    for (auto args : std::vector<std::vector<std::string>>{{"help"}, {"HELP"}, {"scan", "--help"}, {"clean", "-h", "--json"},
                                                           {"help", "--bogus", "--modules", "nosuch"}}) {
        auto inv = invoke(args);
        ASSERT_TRUE(inv) << args[0];
        EXPECT_TRUE(inv->help) << args[0];
    }
}

TEST(CLIDispatch, UnknownOptionsComeBeforeUnknownModules) {
    auto inv = invoke({"clean", "--bogus", "--modules", "nosuch", "--JSON"});
    ASSERT_TRUE(inv);
    EXPECT_EQ(inv->errorLine, "unrecognised option(s): --bogus, --JSON");
    EXPECT_EQ(inv->result.exitCode, 2);
    EXPECT_EQ(inv->result.human, std::string(CLI::usageText));
    EXPECT_EQ(*inv->result.json, (nlohmann::json{{"error", "unknown_option"}}));
}

TEST(CLIDispatch, UnknownModules) {
    auto inv = invoke({"scan", "--json", "--modules", "systemJunk,nosuch,other"});
    ASSERT_TRUE(inv);
    EXPECT_EQ(inv->result.exitCode, 2);
    EXPECT_EQ(inv->result.human,
              "unknown module(s): nosuch, other\n\nValid modules: smartScan, systemJunk, mailAttachments, trashBins, "
              "photos, music, diskMap, largeOldFiles, shredder, malware, privacy, optimization, loginItems, "
              "uninstaller, updater, extensions");
    EXPECT_EQ(inv->result.json->at("invalid_modules"), (nlohmann::json{"nosuch", "other"}));
    std::string out = CLIOutput::render(inv->result, true, false);
    auto doc = nlohmann::json::parse(out);
    EXPECT_EQ(doc["error"], "unknown_module");
    EXPECT_EQ(doc["ok"], false);
    EXPECT_EQ(doc["schema_version"], 1);
}

TEST(CLIOutputRender, EnvelopeAndHumanModes) {
    CLIResult plain{0, "hello", nlohmann::json{{"path", "/Library/Caches"}, {"b", 1}, {"a", 2}}};
    std::string json = CLIOutput::render(plain, true, true);  // quiet never silences JSON
    EXPECT_EQ(json.back(), '\n');
    EXPECT_NE(json.find("\"/Library/Caches\""), std::string::npos);  // slashes unescaped
    EXPECT_LT(json.find("\"a\""), json.find("\"b\""));                // keys sorted
    EXPECT_LT(json.find("\"ok\""), json.find("\"path\""));
    auto doc = nlohmann::json::parse(json);
    EXPECT_EQ(doc["ok"], true);

    EXPECT_EQ(CLIOutput::render(plain, false, false), "hello\n");
    EXPECT_EQ(CLIOutput::render(plain, false, true), "");
    EXPECT_EQ(CLIOutput::render(CLIResult{0, "", std::nullopt}, false, false), "");

    auto bare = nlohmann::json::parse(CLIOutput::render(CLIResult{3, "", std::nullopt}, true, false));
    EXPECT_EQ(bare, (nlohmann::json{{"schema_version", 1}, {"ok", false}}));

    auto list = nlohmann::json::parse(CLIOutput::render(CLIResult{0, "", nlohmann::json{1, 2}}, true, false));
    EXPECT_EQ(list["data"], (nlohmann::json{1, 2}));

    // A name that is not UTF-8 keeps the document valid.
    CLIResult badName{0, "", nlohmann::json{{"name", std::string("caf\xE9")}}};
    auto fixed = nlohmann::json::parse(CLIOutput::render(badName, true, false));
    EXPECT_EQ(fixed["name"], "caf\xEF\xBF\xBD");
}

class CLIVerbs : public TestEnv {};

TEST_F(CLIVerbs, ModulesTable) {
    auto inv = invoke({"modules"});
    ASSERT_TRUE(inv);
    const std::string& text = inv->result.human;
    EXPECT_EQ(text.rfind("Modules:\n", 0), 0u);
    EXPECT_NE(text.find("  systemJunk        System Junk (removes) \xC2\xB7 default\n"), std::string::npos);
    EXPECT_NE(text.find("  extensions        Extensions (read-only)"), std::string::npos);
    EXPECT_EQ(text.back(), ')');
    const auto& list = inv->result.json->at("modules");
    ASSERT_EQ(list.size(), 16u);
    EXPECT_EQ(list[6], (nlohmann::json{{"id", "diskMap"}, {"title", "Duruz Ovov"}, {"group", "Files"},
                                       {"removes_files", false}, {"default_for_clean", false}}));
    EXPECT_EQ(list[8]["removes_files"], true);  // shredder
    EXPECT_EQ(list[10]["default_for_clean"], true);  // privacy
}

TEST_F(CLIVerbs, IgnoreSubcommands) {
    struct Step {
        std::vector<std::string> args;
        int exit;
        std::string human;
    } steps[] = {
        {{"ignore"}, 0, "Nothing on the ignore list. Add with: Vessiltane ignore add <path>"},
        {{"ignore", "add"}, 2, "Usage: Vessiltane ignore add <path>..."},
        {{"ignore", "remove"}, 2, "Usage: Vessiltane ignore remove <path>..."},
        {{"ignore", "List"}, 2, "Usage: Vessiltane ignore [list | add <path>... | remove <path>...]"},
        {{"ignore", "add", "/Volumes/Archive"}, 0, "Added /Volumes/Archive"},
        {{"ignore", "add", "/Volumes/Archive"}, 0, "Already ignored: /Volumes/Archive"},
        {{"ignore", "list"}, 0, "Ignored paths:\n  /Volumes/Archive"},
        {{"ignore", "add", "~/Projects"}, 0, "Added ~/Projects"},
        {{"ignore", "remove", "~/Projects"}, 3, "Not on the list: ~/Projects"},
        {{"ignore", "remove", "/Volumes/Archive"}, 0, "Removed /Volumes/Archive"},
    };
    for (const auto& s : steps) {
        auto inv = invoke(s.args);
        ASSERT_TRUE(inv);
        EXPECT_EQ(inv->result.exitCode, s.exit) << s.human;
        EXPECT_EQ(inv->result.human, s.human);
    }
    EXPECT_EQ(Ignores::paths(), std::vector<std::string>{home().string() + "/Projects"});
}

TEST_F(CLIVerbs, IgnoreReportsAFailedWrite) {
    writeFile(home() / "Library/Application Support/Vessiltane", "a file where the folder should be");
    auto inv = invoke({"ignore", "add", "/Volumes/Archive", "--json"});
    ASSERT_TRUE(inv);
    EXPECT_EQ(inv->result.exitCode, 1);
    EXPECT_EQ(inv->result.json->at("error"), "write_failed");
    EXPECT_TRUE(Ignores::paths().empty());
}

// Every path given is edited, each on its own line, and the exit code is the
// worst of them; what was given after a refused path is still added.
TEST_F(CLIVerbs, IgnoreAddAndRemoveTakeEveryPath) {
    const std::string h = home().string();
    auto added = invoke({"ignore", "add", "/Keep/A", "relative", "~/Keep/B", "/Keep/A"});
    ASSERT_TRUE(added);
    EXPECT_EQ(added->result.exitCode, ExitCode::usage);
    EXPECT_EQ(added->result.human,
              "Added /Keep/A\nNot added: relative (it is not an absolute path)\nAdded ~/Keep/B\nAlready ignored: /Keep/A");
    EXPECT_EQ(Ignores::paths(), (std::vector<std::string>{"/Keep/A", h + "/Keep/B"}));
    const auto& records = added->result.json->at("results");
    ASSERT_EQ(records.size(), 4u);
    EXPECT_EQ(records[1].at("error"), "invalid_path");
    EXPECT_EQ(records[2].at("added"), true);
    EXPECT_EQ(added->result.json->at("paths"), (nlohmann::json{"/Keep/A", h + "/Keep/B"}));

    auto removed = invoke({"ignore", "remove", "/Keep/A", "/Not/Listed", h + "/Keep/B"});
    ASSERT_TRUE(removed);
    EXPECT_EQ(removed->result.exitCode, ExitCode::partial);
    EXPECT_EQ(removed->result.human, "Removed /Keep/A\nNot on the list: /Not/Listed\nRemoved " + h + "/Keep/B");
    EXPECT_TRUE(Ignores::paths().empty());

    auto all = invoke({"ignore", "add", "/One", "/Two"});
    ASSERT_TRUE(all);
    EXPECT_EQ(all->result.exitCode, ExitCode::success);
    EXPECT_EQ(Ignores::paths(), (std::vector<std::string>{"/One", "/Two"}));

    // `list` takes nothing more.
    auto list = invoke({"ignore", "list", "/Three"});
    ASSERT_TRUE(list);
    EXPECT_EQ(list->result.exitCode, ExitCode::usage);
    EXPECT_EQ(list->result.human, "");
    EXPECT_EQ(Ignores::paths(), (std::vector<std::string>{"/One", "/Two"}));
}

// Both paths of `ignore add A B` are kept by a later clean.
TEST_F(CLIVerbs, EveryPathAddedIsKeptByALaterClean) {
    const auto first = home() / "Library/Caches/com.example.first";
    const auto second = home() / "Library/Caches/com.example.second";
    const auto other = home() / "Library/Caches/com.example.other";
    for (const auto& p : {first, second, other}) {
        writeFile(p / "blob.cache", "cached bytes");
        setTimes(p, Clock::now() - std::chrono::hours(24 * 30));
    }
    auto add = invoke({"ignore", "add", first.string(), second.string()});
    ASSERT_TRUE(add);
    ASSERT_EQ(add->result.exitCode, ExitCode::success) << add->result.human;
    Authorization::setToolForTesting(Authorization::Tool::none);
    auto clean = invoke({"clean", "--apply", "--modules", "systemJunk"});
    ASSERT_TRUE(clean);
    EXPECT_TRUE(std::filesystem::exists(first / "blob.cache"));
    EXPECT_TRUE(std::filesystem::exists(second / "blob.cache"));
    EXPECT_FALSE(std::filesystem::exists(other)) << "the clean removed nothing at all: " << clean->result.human;
}

// A word a verb does not take stops it with exit 2 and one line naming the
// word, before anything is scanned, removed, installed or recorded.
TEST_F(CLIVerbs, EveryVerbRefusesWordsItDoesNotTakeBeforeItActs) {
    const auto cache = home() / "Library/Caches/com.example.x";
    writeFile(cache / "blob.cache", "cached bytes");
    setTimes(cache, Clock::now() - std::chrono::hours(24 * 30));
    writeFile(home() / ".Trash/old.bin", "trashed");
    bool scanned = false;
    CLICommands::setAfterScanHookForTesting([&](const ScanReport&) { scanned = true; });
    Authorization::setToolForTesting(Authorization::Tool::none);

    struct Case {
        std::vector<std::string> args;
        std::string line;  // on standard error
    } cases[] = {
        {{"clean", "--apply", "~/Library/Caches/x"}, "clean takes no further words, not: \"~/Library/Caches/x\""},
        {{"clean", cache.string(), "--apply", "--json", "more"},
         "clean takes no further words, not: \"" + cache.string() + "\", \"more\""},
        {{"CLEAN", "--yes", "now"}, "clean takes no further words, not: \"now\""},
        {{"scan", "x"}, "scan takes no further words, not: \"x\""},
        {{"status", "x"}, "status takes no further words, not: \"x\""},
        {{"modules", "x"}, "modules takes no further words, not: \"x\""},
        {{"updates", "x"}, "updates takes no further words, not: \"x\""},
        {{"malware", "x"}, "malware takes no further words, not: \"x\""},
        {{"history", "10"}, "history takes no further words, not: \"10\""},
        {{"schedule", "--install", "x"}, "schedule takes no further words, not: \"x\""},
        {{"schedule", "--install", "--hour", "3pm"}, "schedule takes no further words, not: \"3pm\""},
        {{"diagnose", "x"}, "diagnose takes no further words, not: \"x\""},
        {{"ignore", "list", "x"}, ""},  // the verb's own line, on standard error
        // Flags that mean nothing, with one dash or two, and flags without their value.
        {{"clean", "--apply", "-rf"}, "unrecognised option(s): -rf"},
        {{"clean", "--apply", "-"}, "unrecognised option(s): -"},
        {{"schedule", "--install", "-x"}, "unrecognised option(s): -x"},
        {{"clean", "--apply", "--modules"}, "missing value after: --modules"},
        {{"schedule", "--install", "--hour"}, "missing value after: --hour"},
        {{"clean", "--apply", "--module"}, "missing value after: --module"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args[0] + " " + c.args.back());
        auto inv = invoke(c.args);
        ASSERT_TRUE(inv);
        EXPECT_EQ(inv->result.exitCode, ExitCode::usage);
        if (!c.line.empty()) {
            EXPECT_EQ(inv->errorLine, c.line);
        }
        ASSERT_TRUE(inv->result.json);
        EXPECT_TRUE(inv->result.json->contains("error"));
    }
    CLICommands::setAfterScanHookForTesting(nullptr);
    EXPECT_FALSE(scanned);
    EXPECT_TRUE(std::filesystem::exists(cache / "blob.cache"));
    EXPECT_TRUE(std::filesystem::exists(home() / ".Trash/old.bin"));
    EXPECT_FALSE(std::filesystem::exists(CleanHistory::logURL()));
    EXPECT_FALSE(std::filesystem::exists(Schedule::plistURL()));
    EXPECT_FALSE(std::filesystem::exists(Ignores::fileURL()));

    // The same clean without the stray word does clean: the refusal above was the word's.
    auto clean = invoke({"clean", "--apply", "--modules", "systemJunk"});
    ASSERT_TRUE(clean);
    EXPECT_FALSE(std::filesystem::exists(cache));
}

// `ignore add /` keeps the whole disk: a later clean removes nothing.
TEST_F(CLIVerbs, TheWholeDiskIgnoredMeansCleanRemovesNothing) {
    const auto cache = home() / "Library/Caches/com.example.x";
    writeFile(cache / "blob.cache", "cached bytes");
    setTimes(cache, Clock::now() - std::chrono::hours(24 * 30));
    writeFile(home() / ".Trash/old.bin", "trashed");
    auto add = invoke({"ignore", "add", "/"});
    ASSERT_TRUE(add);
    ASSERT_EQ(add->result.human, "Added /");
    Authorization::setToolForTesting(Authorization::Tool::none);
    auto clean = invoke({"clean", "--apply", "--json"});
    ASSERT_TRUE(clean);
    EXPECT_EQ(clean->result.json->value("removed_count", int64_t(-1)), 0) << clean->result.json->dump();
    EXPECT_TRUE(std::filesystem::exists(cache / "blob.cache"));
    EXPECT_TRUE(std::filesystem::exists(home() / ".Trash/old.bin"));
}
