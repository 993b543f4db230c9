#include <gtest/gtest.h>

#include "cli/cli.h"
#include "engine/ignores.h"
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
        {{"ignore", "add"}, 2, "Usage: Vessiltane ignore add <path>"},
        {{"ignore", "remove"}, 2, "Usage: Vessiltane ignore remove <path>"},
        {{"ignore", "List"}, 2, "Usage: Vessiltane ignore [list | add <path> | remove <path>]"},
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
