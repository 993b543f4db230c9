// The program's own files are never junk: its support folder, its log folder
// and the daily job it installed are no item of any scan and are refused by
// every removal, also when named through a link or as a folder holding them.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "cli/cli.h"
#include "engine/clean_history.h"
#include "engine/fs.h"
#include "engine/own_files.h"
#include "modules/system/module_reports.h"
#include "modules/system/schedule.h"
#include "modules/system/uninstaller.h"
#include "platform/authorization.h"
#include "platform/clock.h"
#include "platform/file_facts.h"
#include "platform/locations.h"
#include "support/test_env.h"

using namespace testing_support;
namespace fs = std::filesystem;

namespace {

void daysOld(const fs::path& path, int days) { setTimes(path, Clock::now() - std::chrono::hours(24 * days)); }

std::vector<std::string> itemPaths(const ScanReport& report) {
    std::vector<std::string> out;
    for (const auto& c : report.categories)
        for (const auto& item : c.items) out.push_back(item.url.native());
    return out;
}

bool lists(const ScanReport& report, const fs::path& path) {
    for (const auto& p : itemPaths(report))
        if (p == path.native()) return true;
    return false;
}

}  // namespace

class OwnFilesTest : public TestEnv {
protected:
    void SetUp() override {
        TestEnv::SetUp();
        log = OwnFiles::logFolder();
        other = Locations::home() / "Library/Logs/com.example.other";
        Authorization::setToolForTesting(Authorization::Tool::none);
        // The daily job's log, appended to for a week: the folder's date stays
        // that of its making.
        writeFile(log / "daily.log", "{\"ok\": true}\n");
        daysOld(log / "daily.log", 8);
        daysOld(log, 8);
        // Another program's log folder of the same age: junk.
        writeFile(other / "app.log", "old lines\n");
        daysOld(other / "app.log", 8);
        daysOld(other, 8);
    }
    fs::path log;
    fs::path other;
};

TEST_F(OwnFilesTest, TheDailyJobsWeekOldLogIsNeitherOfferedNorCleaned) {
    const ScanReport junk =
        ModuleReports::report(ModuleID::systemJunk, SystemJunk::LanguageFiles::skip, std::make_shared<ScanToken>(), {});
    EXPECT_TRUE(lists(junk, other)) << "the log rule found nothing at all";
    EXPECT_FALSE(lists(junk, log));

    auto clean = CLI::invoke({"vessiltane", "clean", "--apply", "--json", "--modules", "systemJunk"});
    ASSERT_TRUE(clean);
    EXPECT_EQ(clean->result.exitCode, ExitCode::success) << clean->result.human;
    EXPECT_EQ(readFile(log / "daily.log"), "{\"ok\": true}\n");
    EXPECT_FALSE(existsItself(other));
}

// However a removal is handed one of the program's own places (the place, a
// file in it, a folder holding it, a link on the way), it is refused.
TEST_F(OwnFilesTest, EveryRemovalRefusesTheProgramsOwnFiles) {
    writeFile(Locations::supportFolder() / "history.jsonl", "");
    const Plist::Value job = Schedule::makePlist(3, {ModuleID::systemJunk}, "/Applications/Gone.app/Contents/MacOS/x");
    writeFile(OwnFiles::dailyJobFile(), Plist::toXml(job));
    makeSymlink(log, home() / "LogsLink");
    makeSymlink(home() / "Library", home() / "LibraryLink");
    const fs::path cases[] = {
        log / "daily.log",
        log,
        home() / "Library/Logs",
        Locations::supportFolder() / "history.jsonl",
        Locations::supportFolder(),
        OwnFiles::dailyJobFile(),
        home() / "Library/LaunchAgents",
        home() / "LogsLink/daily.log",
        home() / "LibraryLink/Logs/Vessiltane",
        home() / "Library/logs/VESSILTANE/daily.log",  // the Mac's disks ignore case
    };
    for (const auto& path : cases) {
        SCOPED_TRACE(path.native());
        ScanItem item;
        item.url = path;
        item.name = path.filename().string();
        item.safety = Safety::safe;
        for (bool toTrash : {false, true}) {
            auto outcome = FS::remove({item}, toTrash);
            EXPECT_TRUE(outcome.removed.empty());
            ASSERT_EQ(outcome.failures.size(), 1u);
            EXPECT_EQ(outcome.failures[0].second, "Protected item");
        }
    }
    EXPECT_TRUE(existsItself(log / "daily.log"));
    EXPECT_TRUE(existsItself(OwnFiles::dailyJobFile()));
    EXPECT_TRUE(existsItself(Locations::supportFolder() / "history.jsonl"));
}

// The daily job whose program is gone is no broken login item to clean up,
// and no startup item to remove: it is the program's, managed in its settings.
TEST_F(OwnFilesTest, TheInstalledDailyJobIsNoItemOfAnyScan) {
    const Plist::Value job = Schedule::makePlist(3, {ModuleID::systemJunk}, "/Applications/Gone.app/Contents/MacOS/x");
    writeFile(OwnFiles::dailyJobFile(), Plist::toXml(job));
    // Another job whose program is gone: found, so the scans did look.
    Plist::Value otherJob = job;
    otherJob.dict["Label"] = Plist::Value::makeString("com.example.gone");
    const fs::path otherFile = home() / "Library/LaunchAgents/com.example.gone.plist";
    writeFile(otherFile, Plist::toXml(otherJob));
    auto token = std::make_shared<ScanToken>();
    const ScanReport junk = ModuleReports::report(ModuleID::systemJunk, SystemJunk::LanguageFiles::skip, token, {});
    const ScanReport startup = ModuleReports::report(ModuleID::loginItems, SystemJunk::LanguageFiles::skip, token, {});
    EXPECT_TRUE(lists(junk, otherFile) || lists(startup, otherFile)) << "neither scan looked at the launch agents";
    EXPECT_FALSE(lists(junk, OwnFiles::dailyJobFile()));
    EXPECT_FALSE(lists(startup, OwnFiles::dailyJobFile()));
    EXPECT_EQ(OwnFiles::dailyJobFile(), Schedule::plistURL());
    EXPECT_EQ(OwnFiles::logFolder(), Schedule::logFolder());
}

// Uninstalling the program itself offers nothing of its own: the support
// folder, the log folder and the daily job are named after it, yet are not
// leftovers; another folder named after it is.
TEST_F(OwnFilesTest, TheProgramsOwnFilesAreNoLeftoversOfItself) {
    writeFile(Locations::supportFolder() / "history.jsonl", "");
    writeFile(OwnFiles::dailyJobFile(), "<plist/>");
    writeFile(home() / "Library/Caches/Vessiltane/cache.db", "cache");
    InstalledApp app;
    app.name = "Vessiltane";
    app.bundleID = "com.vessiltane.Vessiltane";
    app.url = home() / "Applications/Vessiltane.app";
    app.id = app.url.string();
    std::vector<std::string> found;
    for (const auto& leftover : Uninstaller::leftovers(app, SpotlightSearch::Sensitivity::strict, false))
        found.push_back(leftover.url.native());
    EXPECT_EQ(found, std::vector<std::string>{(home() / "Library/Caches/Vessiltane").native()});
}
