// Smart Scan's combined report and the Rescan command.
#include <gtest/gtest.h>

#include <algorithm>

#include "engine/catalog.h"
#include "state_test_env.h"

using namespace testing_support;
namespace fs = std::filesystem;

namespace {

const ModuleID kSmartScanModules[] = {ModuleID::systemJunk, ModuleID::trashBins, ModuleID::mailAttachments,
                                      ModuleID::privacy,    ModuleID::malware,   ModuleID::photos,
                                      ModuleID::music,      ModuleID::extensions};

}  // namespace

TEST_F(StateTest, SmartScanPrefixesTheCategoriesOfSevenModulesWithCopiesOfTheirItems) {
    oldFile(home() / "Library/Caches/com.example.editor/cache.db", 64 * 1024, 3);
    age(home() / "Library/Caches/com.example.editor", 3);
    oldFile(home() / "Library/Mail Downloads/invoice.pdf", 8192, 40);
    state().smartScanAll();
    EXPECT_EQ(state().activeScan(), ModuleID::smartScan);
    EXPECT_EQ(state().progress().message, "Starting\u2026");
    settle();

    const ScanReport& smart = state().smartScan();
    EXPECT_EQ(categoryIDs(smart), (std::vector<std::string>{"junk.user-caches", "mail.mail-downloads"}));
    EXPECT_EQ(smart.categories[0].title, "User Cache Files");
    // Each module keeps its report as the engine gave it, empty categories too.
    for (ModuleID module : kSmartScanModules) EXPECT_TRUE(state().hasReport(module)) << Modules::rawValue(module);
    EXPECT_EQ(state().report(ModuleID::photos).categories.size(), Catalog::photos().size());
    EXPECT_EQ(state().report(ModuleID::photos).itemCount(), 0);
    // The coverage of the seven merged modules, in order; Extensions is not merged.
    std::vector<std::string> expected, merged;
    for (ModuleID module : kSmartScanModules)
        if (module != ModuleID::extensions)
            for (const auto& entry : state().report(module).coverage) expected.push_back(entry.id);
    for (const auto& entry : smart.coverage) merged.push_back(entry.id);
    EXPECT_EQ(merged, expected);
    EXPECT_TRUE(smart.errors.empty());
    EXPECT_FALSE(smart.ruleSetInfo);
    EXPECT_FALSE(state().progress().isRunning);

    // The combined report's items are copies, and a choice made on either
    // holds on both (the user's selection is one across screens).
    const ScanItem& copy = smart.categories[0].items[0];
    ASSERT_TRUE(copy.isSelected);
    state().toggle(copy.id, ModuleID::smartScan);
    EXPECT_FALSE(state().smartScan().categories[0].items[0].isSelected);
    EXPECT_FALSE(itemNamed(ModuleID::systemJunk, "com.example.editor")->isSelected);
    state().setSelection(true, "user-caches", ModuleID::systemJunk);
    EXPECT_TRUE(state().smartScan().categories[0].items[0].isSelected);
}

TEST_F(StateTest, AModuleScanStartedDuringASmartScanCancelsIt) {
    state().smartScanAll();
    const ScanTokenRef smart = state().token();
    state().scanMail();
    EXPECT_TRUE(smart->isCancelled());
    settle();
    EXPECT_TRUE(state().hasReport(ModuleID::mailAttachments));
    for (ModuleID module : kSmartScanModules)
        if (module != ModuleID::mailAttachments) {
            EXPECT_FALSE(state().hasReport(module)) << Modules::rawValue(module);
        }
    EXPECT_FALSE(state().hasReport(ModuleID::smartScan));

    // Finding nothing anywhere still stores every report, and the combined
    // report holds no category but the whole coverage.
    state().smartScanAll();
    settle();
    EXPECT_TRUE(state().smartScan().categories.empty());
    EXPECT_FALSE(state().smartScan().coverage.empty());
}

TEST_F(StateTest, RescanRepeatsWhatTheShownModuleLastDid) {
    struct Case {
        std::optional<ModuleID> module;
        const char* message;  // nothing: nothing starts
        std::optional<ModuleID> active;
    } cases[] = {
        {ModuleID::smartScan, "Starting\u2026", ModuleID::smartScan},
        {ModuleID::systemJunk, "Preparing\u2026", ModuleID::systemJunk},
        {ModuleID::mailAttachments, "Reading Mail\u2026", ModuleID::mailAttachments},
        {ModuleID::trashBins, "Looking for Trash\u2026", ModuleID::trashBins},
        {ModuleID::photos, "Reading your photo library\u2026", ModuleID::photos},
        {ModuleID::music, "Reading your media library\u2026", ModuleID::music},
        {ModuleID::largeOldFiles, "Looking for large and old files\u2026", ModuleID::largeOldFiles},
        {ModuleID::malware, "Checking for adware\u2026", ModuleID::malware},
        {ModuleID::privacy, "Reading browser traces\u2026", ModuleID::privacy},
        {ModuleID::extensions, "Reading extensions\u2026", ModuleID::extensions},
        {ModuleID::diskMap, "Measuring home\u2026", ModuleID::diskMap},  // the home folder with no map yet
        {ModuleID::loginItems, "Reading login items\u2026", ModuleID::loginItems},
        {ModuleID::uninstaller, "Reading your Applications\u2026", std::nullopt},
        {ModuleID::updater, "Reading your Applications\u2026", ModuleID::updater},
        {ModuleID::shredder, nullptr, std::nullopt},
        {ModuleID::optimization, nullptr, std::nullopt},
        {std::nullopt, nullptr, std::nullopt},
    };
    for (const auto& c : cases) {
        const std::string name = c.module ? std::string(Modules::rawValue(*c.module)) : "none";
        state().setModule(c.module);
        state().makeProgress()(0.25, "idle");
        executor->runPosts();
        state().rescanCurrent();
        if (!c.message) {
            EXPECT_EQ(executor->queuedWork(), 0u) << name;
            EXPECT_EQ(state().progress().message, "idle") << name;
            continue;
        }
        EXPECT_EQ(executor->queuedWork(), 1u) << name;
        EXPECT_EQ(state().progress().message, c.message) << name;
        EXPECT_TRUE(state().progress().isRunning) << name;
        EXPECT_EQ(state().activeScan(), c.active) << name;
        settle();
        EXPECT_FALSE(state().progress().isRunning) << name;
    }
}

// The daily job's week-old log is the program's own: Smart Scan, which runs
// the scanners itself, offers it nowhere, while another program's log of the
// same age is offered.
TEST_F(StateTest, SmartScanNeverOffersTheProgramsOwnLog) {
    const fs::path own = home() / "Library/Logs/Vessiltane";
    const fs::path other = home() / "Library/Logs/com.example.other";
    oldFile(own / "daily.log", 8192, 8);
    age(own, 8);
    oldFile(other / "app.log", 8192, 8);
    age(other, 8);
    state().smartScanAll();
    settle();
    std::vector<std::string> offered;
    for (ModuleID module : {ModuleID::smartScan, ModuleID::systemJunk})
        for (const auto& category : state().report(module).categories)
            for (const auto& item : category.items) offered.push_back(item.url.native());
    EXPECT_NE(std::find(offered.begin(), offered.end(), other.native()), offered.end());
    EXPECT_EQ(std::find(offered.begin(), offered.end(), own.native()), offered.end());
}
