#include <gtest/gtest.h>

#include "cli/cli_options.h"

namespace {
CLIOptions parse(std::vector<std::string> args) { return CLIOptions::parse(args); }
}  // namespace

TEST(CLIOptionsParse, DefaultsAndFlagsAnywhere) {
    CLIOptions none = parse({});
    EXPECT_FALSE(none.command);
    EXPECT_EQ(none.hour, 3);
    EXPECT_FALSE(none.json || none.quiet || none.apply || none.includeReview || none.allowAdmin || none.deep ||
                 none.install || none.helpRequested);

    CLIOptions a = parse({"--json", "scan"});
    CLIOptions b = parse({"scan", "--json"});
    EXPECT_EQ(a.command, "scan");
    EXPECT_EQ(b.command, "scan");
    EXPECT_TRUE(a.json && b.json);

    CLIOptions words = parse({"clean", "extra", "words"});
    EXPECT_EQ(words.command, "clean");
    EXPECT_EQ(words.positional, (std::vector<std::string>{"extra", "words"}));

    // A flag that means nothing is reported, never dropped.
    CLIOptions dashes = parse({"-v", "-", "--", "--verbose", "-q", "-h"});
    EXPECT_EQ(dashes.unknownFlags, (std::vector<std::string>{"-v", "-", "--", "--verbose"}));
    EXPECT_TRUE(dashes.quiet);
    EXPECT_TRUE(dashes.helpRequested);
    EXPECT_FALSE(dashes.command);
}

TEST(CLIOptionsParse, ApplyAndDryRunInOrder) {
    EXPECT_FALSE(parse({"--yes", "--dry-run"}).apply);
    EXPECT_TRUE(parse({"--dry-run", "-y"}).apply);
    EXPECT_TRUE(parse({"--apply"}).apply);
}

TEST(CLIOptionsParse, HourTable) {
    struct Case {
        std::vector<std::string> args;
        int64_t hour;
        std::optional<std::string> command;
    } cases[] = {
        {{"--hour", "7"}, 7, std::nullopt},
        {{"--hour", "24"}, 23, std::nullopt},
        {{"--hour", "-5"}, 0, std::nullopt},
        {{"--hour", "+8"}, 8, std::nullopt},
        {{"--hour", "abc"}, 3, "abc"},
        {{"--hour", "3pm", "scan"}, 3, "3pm"},
        {{"--hour", ""}, 3, ""},  // not an integer: read as an ordinary word
        {{"--hour", "+"}, 3, "+"},
        {{"--hour", "99999999999999999999"}, 3, "99999999999999999999"},
        {{"--hour", "-9223372036854775808"}, 0, std::nullopt},
        {{"--hour"}, 3, std::nullopt},
        {{"schedule", "--hour", "5", "--hour", "9"}, 9, "schedule"},
    };
    for (const auto& c : cases) {
        CLIOptions o = parse(c.args);
        EXPECT_EQ(o.hour, c.hour) << c.args[1 < c.args.size() ? 1 : 0];
        EXPECT_EQ(o.command, c.command) << c.args[1 < c.args.size() ? 1 : 0];
    }
}

TEST(CLIOptionsParse, ModuleLists) {
    CLIOptions mixed = parse({"scan", "--modules", "system-junk, TRASH_BINS ,x"});
    EXPECT_EQ(mixed.modules, (std::vector<ModuleID>{ModuleID::systemJunk, ModuleID::trashBins}));
    EXPECT_EQ(mixed.invalidModuleNames, std::vector<std::string>{"x"});

    EXPECT_TRUE(parse({"--modules", ""}).modules.empty());
    EXPECT_TRUE(parse({"--modules", ",,,"}).invalidModuleNames.empty());

    CLIOptions twice = parse({"--modules", "photos,bad1", "--modules", "music,bad2"});
    EXPECT_EQ(twice.modules, std::vector<ModuleID>{ModuleID::music});
    EXPECT_EQ(twice.invalidModuleNames, std::vector<std::string>{"bad2"});

    CLIOptions repeats = parse({"--modules", "privacy,privacy"});
    EXPECT_EQ(repeats.modules, (std::vector<ModuleID>{ModuleID::privacy, ModuleID::privacy}));

    // A flag-looking value is consumed as the list.
    CLIOptions swallowed = parse({"scan", "--modules", "--json"});
    EXPECT_FALSE(swallowed.json);
    EXPECT_EQ(swallowed.invalidModuleNames, std::vector<std::string>{"--json"});

    CLIOptions gui = parse({"scan", "--module", "--json"});
    EXPECT_EQ(gui.guiModule, "--json");
    EXPECT_FALSE(gui.json);
}
