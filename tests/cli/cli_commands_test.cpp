// The verbs run in-process against a sample home made by scripts/sample-home,
// with the system folders under the test root.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <map>

#include "cli/cli.h"
#include "cli/cli_commands.h"
#include "engine/admin.h"
#include "engine/clean_history.h"
#include "engine/fs.h"
#include "engine/ignores.h"
#include "platform/authorization.h"
#include "platform/file_facts.h"
#include "platform/locations.h"
#include "platform/text_lines.h"
#include "platform/user.h"
#include "platform/volumes.h"
#include "support/privileged_shell.h"
#include "support/test_env.h"

using namespace testing_support;
namespace fs = std::filesystem;

namespace {

const auto kDay = std::chrono::hours(24);

std::optional<CLI::Invocation> invoke(std::vector<std::string> args) {
    args.insert(args.begin(), "/usr/bin/vessiltane");
    return CLI::invoke(args);
}

// Every path under a folder with its type, size and modification time: what
// "nothing changed on disk" compares.
std::map<std::string, std::string> snapshot(const fs::path& root) {
    std::map<std::string, std::string> out;
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(root, ec); !ec && it != fs::recursive_directory_iterator();
         it.increment(ec)) {
        auto facts = lstatFacts(it->path());
        out[it->path().string()] = facts ? std::to_string(int(facts->type)) + ":" +
                                               std::to_string(facts->logicalSize) + ":" +
                                               std::to_string(facts->modified.tv_sec)
                                         : "?";
    }
    return out;
}

}  // namespace

class CLISampleHome : public TestEnv {
protected:
    void SetUp() override {
        TestEnv::SetUp();
        auto r = Admin::run(Admin::quote(std::string(VESSILTANE_SOURCE_DIR) + "/scripts/sample-home") + " " +
                                Admin::quote(home().string()),
                            true);
        ASSERT_TRUE(r.ok) << r.output;
        // No administrator tool in tests, whatever the machine has.
        Authorization::setToolForTesting(Authorization::Tool::none);
    }

    const nlohmann::json* category(const nlohmann::json& doc, const std::string& id) {
        for (const auto& c : doc.at("categories"))
            if (c.at("id") == id) return &c;
        return nullptr;
    }
};

TEST_F(CLISampleHome, ScanJsonOfEveryCleanableModule) {
    for (const std::string module : {"systemJunk", "trashBins", "mailAttachments", "privacy", "photos", "music"}) {
        auto inv = invoke({"scan", "--json", "--modules", module});
        ASSERT_TRUE(inv);
        EXPECT_EQ(inv->result.exitCode, 0);
        auto doc = nlohmann::json::parse(CLIOutput::render(inv->result, true, false));
        EXPECT_EQ(doc["schema_version"], 1);
        EXPECT_EQ(doc["ok"], true);
        EXPECT_EQ(doc["modules"], nlohmann::json::array({module}));
        int64_t total = 0, count = 0;
        for (const auto& c : doc["categories"]) {
            EXPECT_EQ(c["id"].get<std::string>().rfind(module + ".", 0), 0u) << c["id"];
            EXPECT_GT(c["item_count"].get<int64_t>(), 0);
            total += c["bytes"].get<int64_t>();
            count += c["item_count"].get<int64_t>();
            for (const auto& item : c["items"]) {
                for (const char* key : {"name", "path", "bytes", "safety", "detail", "needs_admin"})
                    EXPECT_TRUE(item.contains(key)) << key;
                EXPECT_TRUE(item["safety"] == "Safe" || item["safety"] == "Review" || item["safety"] == "Protected");
            }
        }
        EXPECT_EQ(doc["total_bytes"], total) << module;
        EXPECT_EQ(doc["item_count"], count) << module;
        for (const auto& e : doc["coverage"]) {
            EXPECT_FALSE(e.contains("id"));
            for (const char* key : {"label", "path", "status", "items"}) EXPECT_TRUE(e.contains(key)) << key;
        }
    }
    // The sample home has something for the main modules.
    auto junk = nlohmann::json::parse(CLIOutput::render(invoke({"scan", "--json", "--modules", "systemJunk"})->result, true, false));
    EXPECT_TRUE(category(junk, "systemJunk.user-caches"));
    EXPECT_TRUE(category(junk, "systemJunk.downloads"));
}

TEST_F(CLISampleHome, LargeCategoriesAreCutAt200Items) {
    auto old = Clock::now() - 3 * kDay;
    for (int i = 0; i < 201; ++i) {
        fs::path p = home() / "Library/Caches" / ("com.example.many" + std::to_string(i));
        writeFile(p, "x");
        setTimes(p, old);
    }
    auto inv = invoke({"scan", "--json", "--modules", "systemJunk"});
    auto doc = nlohmann::json::parse(CLIOutput::render(inv->result, true, false));
    const auto* caches = category(doc, "systemJunk.user-caches");
    ASSERT_TRUE(caches);
    EXPECT_EQ((*caches)["item_count"], 202);  // 201 plus the sample's own old cache
    EXPECT_EQ((*caches)["items"].size(), 200u);
    EXPECT_EQ((*caches)["items_truncated"], true);
}

TEST_F(CLISampleHome, ScanHumanText) {
    auto inv = invoke({"scan", "--modules", "mailAttachments,trashBins"});
    const std::string& text = inv->result.human;
    EXPECT_EQ(text.rfind("Scanned Mail Attachments, Trash Bins\n", 0), 0u) << text;
    EXPECT_NE(text.find("\nCleanable: "), std::string::npos);
    EXPECT_NE(text.back(), '\n');
    auto nothing = invoke({"scan", "--modules", "diskMap"});
    EXPECT_EQ(nothing->result.human, "Scanned Duruz Ovov\nNothing to clean.");
    auto empty = nlohmann::json::parse(CLIOutput::render(invoke({"scan", "--json", "--modules", "diskMap"})->result, true, false));
    EXPECT_EQ(empty["total_bytes"], 0);
    EXPECT_TRUE(empty["categories"].empty());
    EXPECT_TRUE(empty["coverage"].empty());
    EXPECT_TRUE(empty["errors"].empty());
}

TEST_F(CLISampleHome, DryRunChangesNothingButRecordsTheRun) {
    auto before = snapshot(home());
    auto inv = invoke({"clean", "--include-review"});
    ASSERT_TRUE(inv);
    EXPECT_EQ(inv->result.exitCode, 0);
    EXPECT_EQ(inv->result.human.rfind("Dry run \xE2\x80\x94 nothing was removed.\nWould reclaim ", 0), 0u);
    auto after = snapshot(home());
    // Only the history was written.
    after.erase(CleanHistory::logURL().string());
    after.erase(CleanHistory::logURL().parent_path().string());
    const std::string support = CleanHistory::logURL().parent_path().parent_path().string();
    after[support] = before[support];
    EXPECT_EQ(before, after);
    auto runs = CleanHistory::recent(5);
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_TRUE(runs[0].dryRun);
    EXPECT_EQ(runs[0].source, "cli");
    EXPECT_EQ(runs[0].modules.size(), 6u);
    EXPECT_GT(runs[0].removedCount, 0);
    EXPECT_EQ(inv->result.json->at("dry_run"), true);
}

TEST_F(CLISampleHome, ApplyDeletesSafeItemsAndTrashesReviewOnlyWhenAsked) {
    fs::path oldCache = home() / "Library/Caches/com.example.editor";
    fs::path installer = home() / "Downloads/Installer-2.4.dmg";
    // A protected name and an ignored cache, both old enough to be found.
    fs::path vpn = home() / "Library/Caches/com.nordvpn.client";
    fs::path kept = home() / "Library/Caches/com.example.keep";
    writeFile(vpn / "state", "v");
    writeFile(kept / "data", "k");
    setTimes(vpn, Clock::now() - 3 * kDay);
    setTimes(kept, Clock::now() - 3 * kDay);
    ASSERT_EQ(Ignores::add(kept.string()), Ignores::Edit::changed);

    auto first = invoke({"clean", "--apply"});
    EXPECT_EQ(first->result.exitCode, 0) << first->result.human;
    EXPECT_FALSE(fs::exists(oldCache));
    EXPECT_TRUE(fs::exists(installer));  // review: only with --include-review
    EXPECT_TRUE(fs::exists(vpn / "state"));
    EXPECT_TRUE(fs::exists(kept / "data"));
    EXPECT_TRUE(fs::exists(home() / "Library/Caches/com.example.fresh/today.bin"));  // too young
    EXPECT_EQ(first->result.human.rfind("Reclaimed ", 0), 0u);

    auto second = invoke({"clean", "--apply", "--include-review", "--json"});
    EXPECT_EQ(second->result.exitCode, 0) << second->result.json->dump();
    EXPECT_FALSE(fs::exists(installer));
    EXPECT_TRUE(fs::exists(home() / ".Trash/Installer-2.4.dmg"));
    EXPECT_TRUE(fs::exists(vpn / "state"));
    EXPECT_TRUE(fs::exists(kept / "data"));
    EXPECT_TRUE(fs::exists(home() / "Documents/letter.txt"));

    auto history = invoke({"history"});
    EXPECT_NE(history->result.human.find("cleaned"), std::string::npos);
    EXPECT_EQ(CleanHistory::recent(10).size(), 2u);
}

TEST_F(CLISampleHome, ElevatedItemsAreSkippedWithoutAllowAdmin) {
    // A sticky, world-writable system cache folder holding another user's folder.
    fs::path caches = sys("/Library/Caches");
    fs::path foreign = caches / "com.example.shared";
    writeFile(foreign / "blob", "b");
    ASSERT_EQ(::chmod(caches.c_str(), 01777), 0);
    ASSERT_EQ(::chown(foreign.c_str(), 65534, 65534), 0);
    setTimes(foreign, Clock::now() - 3 * kDay);

    auto inv = invoke({"clean", "--apply", "--modules", "systemJunk"});
    EXPECT_EQ(inv->result.exitCode, 0);
    EXPECT_NE(inv->result.human.find("\nSkipped 1 items needing administrator rights."), std::string::npos)
        << inv->result.human;
    EXPECT_EQ(inv->result.json->at("skipped_for_admin"), 1);
    EXPECT_TRUE(fs::exists(foreign / "blob"));

    // With --allow-admin and no way to obtain rights, the batch fails whole.
    auto admin = invoke({"clean", "--apply", "--allow-admin", "--modules", "systemJunk"});
    EXPECT_EQ(admin->result.exitCode, 3);
    EXPECT_NE(admin->result.human.find(foreign.string() + ": administrator removal failed"), std::string::npos);
    EXPECT_TRUE(fs::exists(foreign / "blob"));
}

namespace {

// A folder of another user in the sticky, world-writable system cache folder:
// one only the privileged batch may remove, old enough to be offered.
fs::path foreignCache(const fs::path& caches, const std::string& name) {
    fs::path foreign = caches / name;
    writeFile(foreign / "blob", "b");
    EXPECT_EQ(::chmod(caches.c_str(), 01777), 0);
    EXPECT_EQ(::chown(foreign.c_str(), 65534, 65534), 0);
    setTimes(foreign, Clock::now() - 3 * kDay);
    return foreign;
}

}  // namespace

// A batch holding a name with a line feed is refused whole. The output names
// that path, escaped, and every other item says it was not attempted; no name
// breaks a line or reaches the terminal as an escape sequence. JSON keeps
// every name exactly.
// Another user's trash folders on a volume are listed, and never eligible,
// whatever the flags: neither the one only root could remove nor the one this
// user could.
TEST_F(CLISampleHome, AnotherUsersTrashIsNeverEligible) {
    User::setUidForTesting(501);
    const fs::path backup = tmp() / "Volumes/Backup";
    Volumes::setForTesting(std::vector<fs::path>{backup});
    writeFile(backup / ".Trashes/501/mine.mov", "mine");
    writeFile(backup / ".Trashes/502/theirs.mov", "theirs");
    writeFile(backup / ".Trashes/503/also theirs.mov", "also theirs");
    writeFile(backup / ".Trashes/stray.txt", "stray");
    ASSERT_EQ(::chown((backup / ".Trashes/502").c_str(), 502, 20), 0);
    Authorization::setToolForTesting(Authorization::Tool::none);

    auto scan = invoke({"scan", "--modules", "trashBins", "--json"});
    EXPECT_NE(scan->result.json->dump().find("another user\u2019s trash"), std::string::npos);

    auto inv = invoke({"clean", "--apply", "--include-review", "--allow-admin", "--modules", "trashBins"});
    EXPECT_EQ(readFile(backup / ".Trashes/502/theirs.mov"), "theirs");
    EXPECT_EQ(readFile(backup / ".Trashes/503/also theirs.mov"), "also theirs");
    EXPECT_EQ(inv->result.human.find(".Trashes/502"), std::string::npos) << inv->result.human;
    EXPECT_EQ(inv->result.human.find(".Trashes/503"), std::string::npos) << inv->result.human;
    EXPECT_FALSE(existsItself(backup / ".Trashes/stray.txt")) << inv->result.human;
}

TEST_F(CLISampleHome, ARefusedBatchNamesItsCulpritEscapedAndKeepsJSONExact) {
    fs::path caches = sys("/Library/Caches");
    const fs::path newline = foreignCache(caches, "evil\nrm -rf ~");
    const fs::path title = foreignCache(caches, "com.example.\x1b]0;owned\x07\xc2\x9b" "2J");
    auto log = installPlainShellBackend(tmp());

    auto inv = invoke({"clean", "--apply", "--allow-admin", "--modules", "systemJunk"});
    ASSERT_TRUE(inv);
    EXPECT_EQ(inv->result.exitCode, 3);
    const std::string& human = inv->result.human;
    EXPECT_NE(human.find("  " + caches.native() +
                         "/evil\\nrm -rf ~: Its name holds a line feed, which cannot be sent to the administrator batch\n"),
              std::string::npos)
        << human;
    EXPECT_NE(human.find("  " + caches.native() +
                         "/com.example.\\033]0;owned\\a\\302\\2332J: Not attempted: another item in the batch could "
                         "not be sent safely"),
              std::string::npos)
        << human;
    for (char c : human) EXPECT_TRUE(c == '\n' || (static_cast<unsigned char>(c) >= 0x20 && c != 0x7F)) << int(c);
    EXPECT_EQ(human.find("\xc2\x9b"), std::string::npos);
    for (auto line : TextLines::nonEmpty(human)) EXPECT_NE(line.rfind("rm -rf", 0), 0u) << line;
    EXPECT_TRUE(log->scripts.empty()) << "a refused batch shows no prompt";
    EXPECT_TRUE(fs::exists(newline / "blob"));
    EXPECT_TRUE(fs::exists(title / "blob"));

    auto json = invoke({"clean", "--apply", "--allow-admin", "--modules", "systemJunk", "--json"});
    const auto& failures = json->result.json->at("failures");
    std::vector<std::string> texts(failures.begin(), failures.end());
    EXPECT_NE(std::find(texts.begin(), texts.end(),
                        newline.native() + ": Its name holds a line feed, which cannot be sent to the administrator batch"),
              texts.end());
    EXPECT_NE(std::find(texts.begin(), texts.end(),
                        title.native() + ": Not attempted: another item in the batch could not be sent safely"),
              texts.end());
}

// The location a privileged item lies in is swapped for a look-alike while
// the administrator prompt waits: nothing is removed, the item says so, and
// the run is partial.
TEST_F(CLISampleHome, ALocationSwappedWhileThePromptWaitsRemovesNothingAndSaysSo) {
    const fs::path foreign = foreignCache(sys("/Library/Caches"), "com.example.shared");
    writeFile(tmp() / "look-alike/Caches/com.example.shared/precious", "p");
    Admin::setPrivilegedBackendForTesting([&](const fs::path& script, const std::optional<std::string>&) {
        fs::rename(sys("/Library"), tmp() / "Library.aside");
        makeSymlink(tmp() / "look-alike", sys("/Library"));
        return Admin::run("/bin/sh " + Admin::quote(script.native()), true);
    });
    auto inv = invoke({"clean", "--apply", "--allow-admin", "--modules", "systemJunk"});
    EXPECT_EQ(inv->result.exitCode, 3);
    EXPECT_NE(inv->result.human.find("\n  " + foreign.native() + ": The location changed while waiting for approval"),
              std::string::npos)
        << inv->result.human;
    EXPECT_EQ(readFile(tmp() / "look-alike/Caches/com.example.shared/precious"), "p");
    EXPECT_EQ(readFile(tmp() / "Library.aside/Caches/com.example.shared/blob"), "b");
    ASSERT_FALSE(CleanHistory::recent(1).empty());
    EXPECT_GE(CleanHistory::recent(1)[0].failureCount, 1);
}

TEST_F(CLISampleHome, LinksInCachesGoAsLinks) {
    fs::path documents = home() / "Documents";
    fs::path link = home() / "Library/Caches/com.example.linked";
    makeSymlink(documents, link);
    setTimes(link, Clock::now() - 3 * kDay);
    // A hard link to a document inside a cache folder that will be removed.
    fs::path cacheDir = home() / "Library/Caches/com.example.editor";
    fs::create_hard_link(documents / "letter.txt", cacheDir / "letter-copy.txt");
    setTimes(cacheDir, Clock::now() - 3 * kDay);
    std::string letter = readFile(documents / "letter.txt");

    auto inv = invoke({"clean", "--apply"});
    EXPECT_EQ(inv->result.exitCode, 0) << inv->result.human;
    EXPECT_FALSE(existsItself(link));
    EXPECT_FALSE(fs::exists(cacheDir));
    EXPECT_EQ(readFile(documents / "letter.txt"), letter);
    EXPECT_TRUE(fs::exists(documents / "Projects/site/index.html"));
}

TEST_F(CLISampleHome, StatusAndHistory) {
    auto empty = invoke({"history", "--json"});
    EXPECT_EQ(empty->result.human, "No cleanup runs recorded yet.");
    EXPECT_EQ(*empty->result.json, (nlohmann::json{{"runs", nlohmann::json::array()}}));

    auto never = invoke({"status"});
    EXPECT_NE(never->result.human.find("Last run: never\n"), std::string::npos);
    EXPECT_NE(never->result.human.find("Full Disk Access: granted\n"), std::string::npos);
    EXPECT_FALSE(never->result.json->contains("last_run"));
    const auto& disk = never->result.json->at("disk");
    EXPECT_GT(disk.at("total_bytes").get<int64_t>(), 0);
    EXPECT_EQ(disk.at("used_bytes").get<int64_t>(),
              disk.at("total_bytes").get<int64_t>() - disk.at("free_bytes").get<int64_t>());

    CleanupRecord rec;
    rec.timestamp = Clock::now();
    rec.source = "cli";
    rec.modules = {"systemJunk"};
    rec.reclaimedBytes = 1'500'000;
    rec.removedCount = 1;
    rec.failureCount = 2;
    CleanHistory::append(rec);
    auto status = invoke({"status", "--json"});
    EXPECT_NE(status->result.human.find(" \xC2\xB7 cleaned 1.5 MB from 1 items\n"), std::string::npos)
        << status->result.human;
    EXPECT_EQ(status->result.json->at("last_run").at("removed_count"), 1);
    auto history = invoke({"history"});
    EXPECT_NE(history->result.human.find("  cleaned  1.5 MB    1 item \xC2\xB7 2 failed"), std::string::npos)
        << history->result.human;
    EXPECT_EQ(invoke({"history", "--json"})->result.json->at("runs").size(), 1u);
}

// A Music cache is listed by System Junk (the folder) and by Music (what it
// holds), and a module may be named twice: each path still goes once, the
// history's figures are those of System Junk's safe items alone, and never
// more than what left the disk.
TEST_F(CLISampleHome, TheHistoryCountsWhatLeftTheDiskOnceWhateverListsIt) {
    const fs::path music = home() / "Library/Caches/com.apple.Music";
    allocateFile(music / "Cache.db", 4 << 20);
    allocateFile(music / "artwork.bin", 1 << 20);
    for (const fs::path& p : {music / "Cache.db", music / "artwork.bin", music})
        setTimes(p, Clock::now() - 10 * kDay);
    auto scan = invoke({"scan", "--json", "--modules", "systemJunk"});
    int64_t safe = 0, safeItems = 0;
    for (const auto& c : scan->result.json->at("categories"))
        for (const auto& item : c.at("items"))
            if (item.at("safety") == "Safe") {
                safe += item.at("bytes").get<int64_t>();
                ++safeItems;
            }
    ASSERT_GT(safe, 5 << 20);
    // Everything of the home but the program's own folder, as scans measure it.
    auto used = [&] {
        FS::SeenSet all, own;
        return FS::size(home(), all) - FS::size(Locations::supportFolder(), own);
    };
    const int64_t before = used();

    auto inv = invoke({"clean", "--apply", "--json", "--modules", "systemJunk,music,systemJunk"});
    ASSERT_TRUE(inv);
    EXPECT_EQ(inv->result.exitCode, 0) << inv->result.json->dump();
    EXPECT_FALSE(existsItself(music));

    const auto runs = CleanHistory::recent(5);
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(runs[0].modules, (std::vector<std::string>{"systemJunk", "music"}));
    EXPECT_EQ(runs[0].reclaimedBytes, safe);
    EXPECT_EQ(runs[0].removedCount, safeItems);
    EXPECT_LE(runs[0].reclaimedBytes, before - used());
    EXPECT_EQ(inv->result.json->at("reclaimed_bytes"), safe);
    EXPECT_EQ(inv->result.json->at("modules"), (nlohmann::json{"systemJunk", "music"}));
}
