#include <gtest/gtest.h>

#include "cli/cli.h"
#include "modules/system/schedule.h"
#include "modules/system/updater.h"
#include "platform/locations.h"
#include "support/app_bundle.h"
#include "support/fake_feed_fetcher.h"
#include "support/recording_runner.h"
#include "support/test_env.h"

using namespace testing_support;
namespace fs = std::filesystem;

namespace {

std::optional<CLI::Invocation> invoke(std::vector<std::string> args) {
    args.insert(args.begin(), "/usr/bin/vessiltane");
    return CLI::invoke(args);
}

}  // namespace

class DailyJob : public TestEnv {};

TEST_F(DailyJob, PreviewChangesNothing) {
    auto inv = invoke({"schedule", "--hour", "7", "--modules", "photos", "--json"});
    ASSERT_TRUE(inv);
    EXPECT_EQ(inv->result.exitCode, 0);
    const auto& json = *inv->result.json;
    EXPECT_EQ(json.size(), 3u);
    EXPECT_EQ(json.at("installed"), false);
    EXPECT_EQ(json.at("plist_path"), Schedule::plistURL().string());
    auto parsed = Plist::parse(json.at("plist").get<std::string>());
    ASSERT_TRUE(parsed);
    EXPECT_EQ(Schedule::modules(*parsed), std::vector<std::string>{"photos"});
    EXPECT_EQ(inv->result.human.rfind("Would run daily at 07:00:\n\n  ", 0), 0u);
    EXPECT_NE(inv->result.human.find(" clean --apply --modules photos\n\nNothing has been changed."), std::string::npos);
    EXPECT_FALSE(fs::exists(Schedule::plistURL()));

    auto defaults = invoke({"schedule"});
    EXPECT_NE(defaults->result.human.find("Would run daily at 03:00:"), std::string::npos);
    EXPECT_NE(defaults->result.human.find("--modules systemJunk,trashBins,mailAttachments,privacy,photos,music\n"),
              std::string::npos);
}

TEST_F(DailyJob, MakePlistClampsTheHourAndKeepsTheModules) {
    struct Case {
        long long hour;
        int64_t written;
    } cases[] = {{-5, 0}, {0, 0}, {7, 7}, {23, 23}, {40, 23}};
    for (const auto& c : cases) {
        auto job = Schedule::makePlist(c.hour, {ModuleID::photos, ModuleID::photos, ModuleID::music}, "/x/vessiltane");
        auto back = Plist::parse(Plist::toXml(job));
        ASSERT_TRUE(back);
        EXPECT_EQ(back->get("StartCalendarInterval")->integer_("Hour"), c.written);
        EXPECT_EQ(back->get("StartCalendarInterval")->integer_("Minute"), 0);
        EXPECT_EQ(back->boolean_("RunAtLoad"), false);
        EXPECT_EQ(back->string("Label"), "com.vessiltane.daily");
        EXPECT_EQ(back->strings("ProgramArguments"),
                  (std::vector<std::string>{"/x/vessiltane", "clean", "--apply", "--json", "--modules",
                                            "photos,photos,music"}));
        EXPECT_EQ(back->string("StandardErrorPath"), (home() / "Library/Logs/Vessiltane/daily.error.log").string());
    }
    auto empty = Schedule::makePlist(3, {}, "/x");
    EXPECT_TRUE(Schedule::modules(empty).empty());
    auto odd = Plist::Value::makeDict(
        {{"ProgramArguments", Plist::Value::makeArray({Plist::Value::makeString("--modules"),
                                                       Plist::Value::makeString("a,,b")})}});
    EXPECT_EQ(Schedule::modules(odd), (std::vector<std::string>{"a", "b"}));
}

TEST_F(DailyJob, InstallWritesTheJobAndReportsThatItCouldNotLoad) {
    // A home folder whose path holds a space and a quote.
    fs::path spaced = tmp() / "Home With Space's";
    fs::create_directories(spaced);
    ::setenv("HOME", spaced.c_str(), 1);

    RecordingRunner runner;
    runner.answer(systemTool("/bin/launchctl"), false, "launchctl: not found\n");
    auto inv = invoke({"schedule", "--install", "--hour", "40", "--modules", "trashBins", "--json"});
    ASSERT_TRUE(inv);
    EXPECT_EQ(inv->result.exitCode, 3);
    EXPECT_EQ(inv->result.json->at("error"), "install_failed");
    EXPECT_EQ(inv->result.json->at("detail"), "Wrote the job but could not load it: launchctl: not found\n");
    ASSERT_TRUE(fs::exists(Schedule::plistURL()));
    EXPECT_EQ(Schedule::installedHour(), 23);
    ASSERT_EQ(runner.commands().size(), 1u);
    const std::string uid = std::to_string(::getuid());
    EXPECT_EQ(runner.commands()[0],
              systemTool("/bin/launchctl") + " bootout 'gui/" + uid + "/com.vessiltane.daily' 2>/dev/null; " + systemTool("/bin/launchctl") + " bootstrap 'gui/" +
                  uid + "' '" + spaced.string().substr(0, spaced.string().size() - 2) +
                  "'\\''s/Library/LaunchAgents/com.vessiltane.daily.plist'");

    // Without --json the failure is a headline and launchctl's own lines,
    // one each, escaped; a single line follows the headline.
    EXPECT_EQ(invoke({"schedule", "--install"})->result.human,
              "Wrote the job but could not load it: launchctl: not found");
    runner.answer(systemTool("/bin/launchctl"), false,
                  "Bootstrap failed: 5: Input/output error\nTry re-running as root\033[2K\n\nInstalled: yes\n");
    EXPECT_EQ(invoke({"schedule", "--install"})->result.human,
              "Wrote the job but could not load it:\n  Bootstrap failed: 5: Input/output error\n"
              "  Try re-running as root\\033[2K\n  Installed: yes");

    runner.answer(systemTool("/bin/launchctl"), true);
    auto again = invoke({"schedule", "--install"});
    EXPECT_EQ(again->result.exitCode, 0);
    EXPECT_EQ(again->result.human,
              "Installed daily job at 03:00. Logs: " + (spaced / "Library/Logs/Vessiltane").string());
    EXPECT_EQ(Schedule::installedHour(), 3);

    Schedule::uninstall();
    EXPECT_FALSE(fs::exists(Schedule::plistURL()));
    EXPECT_EQ(Schedule::installedHour(), std::nullopt);
    Schedule::uninstall();  // nothing installed: still quiet
}

TEST_F(DailyJob, ReadBackRefusesAMalformedJob) {
    writeFile(Schedule::plistURL(),
              Plist::toXml(Plist::Value::makeDict(
                  {{"StartCalendarInterval", Plist::Value::makeDict({{"Hour", Plist::Value::makeString("7")}})}})));
    EXPECT_EQ(Schedule::installedHour(), std::nullopt);
    writeFile(Schedule::plistURL(), "not a property list");
    EXPECT_EQ(Schedule::installedHour(), std::nullopt);
    // A job that cannot be read is still there: launchd would find it.
    Schedule::InstalledJob unreadable = Schedule::read();
    EXPECT_TRUE(unreadable.present);
    EXPECT_FALSE(unreadable.hour);
    EXPECT_TRUE(unreadable.moduleNames.empty());
    fs::remove(Schedule::plistURL());
    makeSymlink(home() / "nowhere.plist", Schedule::plistURL());
    EXPECT_TRUE(Schedule::read().present);
    fs::remove(Schedule::plistURL());
    EXPECT_FALSE(Schedule::read().present);
}

class UpdatesVerb : public TestEnv {};

TEST_F(UpdatesVerb, ReportsAdvertisedVersions) {
    writeAppBundle(sys("/Applications/Editor.app"), "com.example.editor", "1.2",
                   "https://feeds.example.com/editor.xml");
    writeAppBundle(sys("/Applications/Viewer.app"), "com.example.viewer", "3.0",
                   "https://feeds.example.com/viewer.xml");
    writeAppBundle(sys("/Applications/Plain.app"), "com.example.plain", "1.0", "");
    auto fetcher = std::make_shared<FakeFeedFetcher>();
    auto feed = [](const std::string& version, const std::string& url) {
        return "<rss><channel><item><title>v</title><enclosure url=\"" + url + "\" sparkle:version=\"" + version +
               "\"/></item></channel></rss>";
    };
    fetcher->answers["https://feeds.example.com/editor.xml"] =
        FakeFeedFetcher::answer(200, feed("1.3", "https://dl.example.com/editor.zip"));
    fetcher->answers["https://feeds.example.com/viewer.xml"] = FakeFeedFetcher::answer(200, feed("3.0", ""));
    Updater::setFetcherForTesting(fetcher);

    auto inv = invoke({"updates", "--json"});
    ASSERT_TRUE(inv);
    EXPECT_EQ(inv->result.exitCode, 0);
    EXPECT_EQ(inv->result.json->at("checked"), 2);
    EXPECT_EQ(inv->result.json->at("without_feed"), 1);
    const auto& updates = inv->result.json->at("updates");
    ASSERT_EQ(updates.size(), 1u);
    EXPECT_EQ(updates[0], (nlohmann::json{{"name", "Editor"},
                                          {"installed_version", "1.2"},
                                          {"available_version", "1.3"},
                                          {"download_url", "https://dl.example.com/editor.zip"}}));
    EXPECT_EQ(inv->result.human,
              "Checked 2 app(s) that publish an update feed (1 have none).\n  Editor: 1.2 \xE2\x86\x92 1.3\n");
}

TEST_F(UpdatesVerb, NamesAndVersionsFromOutsideCannotStartLinesOfTheirOwn) {
    // A bundle named with a line break and a feed whose version carries one
    // and an escape sequence (its one-character introducer, which XML allows).
    writeAppBundle(sys("/Applications/Edit\nor.app"), "com.example.editor", "1.2\t",
                   "https://feeds.example.com/editor.xml");
    auto fetcher = std::make_shared<FakeFeedFetcher>();
    fetcher->answers["https://feeds.example.com/editor.xml"] = FakeFeedFetcher::answer(
        200, "<rss><channel><item><title>v</title><enclosure url=\"https://dl.example.com/e.zip\" "
             "sparkle:version=\"9.0&#10;  Mail: 1.0 \xE2\x86\x92 6.6&#x9b;31m\"/></item></channel></rss>");
    Updater::setFetcherForTesting(fetcher);

    auto inv = invoke({"updates"});
    ASSERT_TRUE(inv);
    EXPECT_EQ(inv->result.human,
              "Checked 1 app(s) that publish an update feed (0 have none).\n"
              "  Edit\\nor: 1.2\\t \xE2\x86\x92 9.0\\n  Mail: 1.0 \xE2\x86\x92 6.6\\302\\23331m\n");
    // The JSON carries them as they are, which its own escaping makes safe.
    auto json = invoke({"updates", "--json"});
    ASSERT_EQ(json->result.json->at("updates").size(), 1u);
    EXPECT_EQ(json->result.json->at("updates")[0].at("name"), "Edit\nor");
}

TEST_F(UpdatesVerb, NothingPublished) {
    auto inv = invoke({"updates"});
    EXPECT_EQ(inv->result.exitCode, 0);
    EXPECT_EQ(inv->result.human,
              "Checked 0 app(s) that publish an update feed (0 have none).\nEverything is up to date.");
    EXPECT_TRUE(invoke({"updates", "--json"})->result.json->at("updates").empty());
}

class ReadOnlyVerbs : public TestEnv {};

TEST_F(ReadOnlyVerbs, MalwareAndDiagnose) {
    RecordingRunner runner;  // no system_profiler here
    auto clean = invoke({"malware"});
    EXPECT_EQ(clean->result.exitCode, 0);
    EXPECT_EQ(clean->result.human, "Heuristic adware scan (no signature set; read-only)\nNothing matched.");
    EXPECT_TRUE(clean->result.json->at("categories").empty());
    EXPECT_EQ(clean->result.json->at("modules"), nlohmann::json::array({"malware"}));

    writeFile(sys("/Applications/Genieo.app/Contents/Info.plist"), "x");
    auto found = invoke({"malware", "--json"});
    const auto& categories = found->result.json->at("categories");
    ASSERT_FALSE(categories.empty());
    EXPECT_EQ(categories[0].at("items")[0].at("safety"), "Review");
    auto human = invoke({"malware"})->result.human;
    EXPECT_NE(human.find(": 1 match(es)\n    " + sys("/Applications/Genieo.app").string() + "  ["),
              std::string::npos)
        << human;

    auto nothing = invoke({"diagnose", "--modules", "photos"});
    EXPECT_EQ(nothing->result.human, "Would clean 0 KB from 0 items; 0 need administrator rights.");
    EXPECT_EQ(nothing->result.json->at("modules").size(), 6u);

    writeFile(home() / "Library/Caches/com.example.app/data", std::string(5000, 'x'));
    setTimes(home() / "Library/Caches/com.example.app", Clock::now() - std::chrono::hours(72));
    writeFile(home() / "Library/Safari/History.db", "h");
    auto some = invoke({"diagnose"});
    EXPECT_NE(some->result.human.find(" KB from 1 items; 0 need administrator rights."), std::string::npos)
        << some->result.human;
    auto review = invoke({"diagnose", "--include-review"});
    EXPECT_NE(review->result.human.find("from 2 items;"), std::string::npos) << review->result.human;
}
