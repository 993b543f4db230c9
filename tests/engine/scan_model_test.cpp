#include <gtest/gtest.h>

#include <thread>
#include <unordered_set>

#include "engine/byte_format.h"
#include "engine/command_line.h"
#include "engine/module_id.h"
#include "engine/scan_model.h"

TEST(ModuleIDs, CommandLineNames) {
    struct Case {
        const char* argument;
        std::optional<ModuleID> expected;
    } cases[] = {
        {"Smart-Scan", ModuleID::smartScan}, {"smart_scan", ModuleID::smartScan},
        {"SMARTSCAN", ModuleID::smartScan},  {"large-old-files", ModuleID::largeOldFiles},
        {"Large_Old-Files", ModuleID::largeOldFiles}, {"smart scan", std::nullopt},
        {"", std::nullopt},                  {"nosuch", std::nullopt},
    };
    for (const auto& c : cases) EXPECT_EQ(Modules::fromCliArgument(c.argument), c.expected) << c.argument;
    EXPECT_EQ(Modules::fromRawValue("systemJunk"), ModuleID::systemJunk);
    EXPECT_EQ(Modules::fromRawValue("SystemJunk"), std::nullopt);
}

TEST(ModuleIDs, TablesAndSidebarGroups) {
    ASSERT_EQ(Modules::allCases().size(), 16u);
    for (auto m : Modules::allCases()) EXPECT_EQ(Modules::fromRawValue(Modules::rawValue(m)), m);
    EXPECT_EQ(Modules::title(ModuleID::diskMap), "Duruz Ovov");
    EXPECT_EQ(Modules::icon(ModuleID::extensions), "puzzlepiece.extension.fill");
    EXPECT_EQ(Modules::tint(ModuleID::largeOldFiles), Theme::accentSoft);
    EXPECT_EQ(Modules::subtitle(ModuleID::loginItems), "What opens at login and what runs in the background");

    std::vector<std::pair<SidebarGroup, std::vector<ModuleID>>> expected = {
        {SidebarGroup::cleanup, {ModuleID::smartScan, ModuleID::systemJunk, ModuleID::mailAttachments,
                                 ModuleID::trashBins, ModuleID::photos, ModuleID::music}},
        {SidebarGroup::files, {ModuleID::diskMap, ModuleID::largeOldFiles, ModuleID::shredder}},
        {SidebarGroup::protection, {ModuleID::malware, ModuleID::privacy}},
        {SidebarGroup::speed, {ModuleID::optimization, ModuleID::loginItems}},
        {SidebarGroup::applications, {ModuleID::uninstaller, ModuleID::updater, ModuleID::extensions}},
    };
    for (const auto& [group, modules] : expected) EXPECT_EQ(Modules::inGroup(group), modules);
    EXPECT_EQ(SidebarGroups::rawValue(SidebarGroup::applications), "Applications");
    EXPECT_EQ(SidebarGroups::fromRawValue("Speed"), SidebarGroup::speed);
}

namespace {
ScanItem item(Safety safety, bool selected, int64_t size) {
    ScanItem i;
    i.safety = safety;
    i.isSelected = selected;
    i.size = size;
    return i;
}
}  // namespace

TEST(ScanReportSelection, ToggleAndBulkSelectionNeverSelectProtected) {
    ScanReport report;
    report.categories.push_back({"a", "A", "", {item(Safety::safe, true, 10), item(Safety::protected_, false, 20)}});
    report.categories.push_back({"b", "B", "", {item(Safety::review, false, 30)}});
    EXPECT_EQ(report.totalSize(), 60);
    EXPECT_EQ(report.itemCount(), 3);
    EXPECT_EQ(report.selectedCount(), 1);

    Uuid protectedID = report.categories[0].items[1].id;
    report.toggle(protectedID);  // toggle itself does not look at safety
    EXPECT_TRUE(report.categories[0].items[1].isSelected);
    report.setSelection(false, std::nullopt);
    EXPECT_TRUE(report.categories[0].items[1].isSelected);
    EXPECT_FALSE(report.categories[0].items[0].isSelected);
    report.toggle(protectedID);
    report.setSelection(true, std::nullopt);
    EXPECT_FALSE(report.categories[0].items[1].isSelected);
    EXPECT_EQ(report.categories[1].selectedSize(), 30);

    report.setSelection(false, std::string("nosuch"));
    EXPECT_EQ(report.selectedCount(), 2);
    report.setSelection(false, std::string("b"));
    EXPECT_EQ(report.selectedCount(), 1);
    EXPECT_EQ(report.categories[0].selectedSize(), 10);
}

TEST(ScanModelIdentity, ItemsByIdCoverageByAllFields) {
    ScanItem a = item(Safety::safe, true, 1);
    ScanItem b = a;
    b.size = 99;
    EXPECT_EQ(a, b);
    std::unordered_set<Uuid> ids{a.id, b.id};
    EXPECT_EQ(ids.size(), 1u);
    EXPECT_NE(Uuid::random(), Uuid::random());
    EXPECT_EQ(a.id.string().size(), 36u);

    CoverageEntry c1{"user-caches|/x", "User caches", "/x", CoverageEntry::Status::checked, 1};
    CoverageEntry c2 = c1;
    c2.itemCount = 2;
    EXPECT_NE(c1, c2);
    EXPECT_EQ(CoverageEntry::statusFromRawValue("unreadable"), CoverageEntry::Status::unreadable);
    EXPECT_EQ(Safeties::fromRawValue("protected"), Safety::protected_);
    EXPECT_LT(Safety::safe, Safety::review);
    EXPECT_LT(Safety::review, Safety::protected_);
}

TEST(ScanTokens, CancelIsFinalAndVisibleAcrossThreads) {
    auto token = std::make_shared<ScanToken>();
    EXPECT_FALSE(token->isCancelled());
    std::thread t([token] { token->cancel(); });
    t.join();
    EXPECT_TRUE(token->isCancelled());
    token->cancel();
    EXPECT_TRUE(token->isCancelled());
}

TEST(ByteFormats, StringAndCompact) {
    EXPECT_EQ(ByteFormat::string(0), "0 KB");
    EXPECT_EQ(ByteFormat::string(-1), "0 KB");
    EXPECT_EQ(ByteFormat::string(1), "1 byte");
    EXPECT_EQ(ByteFormat::string(532), "532 bytes");
    EXPECT_EQ(ByteFormat::string(12'345), "12 KB");
    EXPECT_EQ(ByteFormat::string(999'999), "1 MB");
    EXPECT_EQ(ByteFormat::string(1'500'000), "1.5 MB");
    EXPECT_EQ(ByteFormat::string(2'000'000), "2 MB");
    EXPECT_EQ(ByteFormat::string(2'345'678'901), "2.35 GB");

    struct Case {
        int64_t bytes;
        const char* text;
    } cases[] = {
        {1023, "1023B"}, {0, "0B"}, {-5, "-5B"}, {1024, "1.0K"}, {1536, "1.5K"}, {10'239, "10.0K"},
        {10'240, "10K"}, {5ll * 1024 * 1024 * 1024, "5.0G"}, {2ll * 1024 * 1024 * 1024 * 1024, "2.0T"},
        {100ll * 1024 * 1024, "100M"},
    };
    for (const auto& c : cases) EXPECT_EQ(ByteFormat::compact(c.bytes), c.text) << c.bytes;
}

TEST(CommandLineValue, FirstOccurrenceOnly) {
    EXPECT_EQ(CommandLine::value({"exe", "--module"}, "--module"), std::nullopt);
    EXPECT_EQ(CommandLine::value({"exe", "--module", "a", "--module", "b"}, "--module"), "a");
    EXPECT_EQ(CommandLine::value({"exe"}, "--module"), std::nullopt);
    const char* argv[] = {"exe", "--hour", "8"};
    CommandLine::setArguments(3, argv);
    EXPECT_EQ(CommandLine::value("--hour"), "8");
}
