#include "modules/system/maintenance.h"

#include <gtest/gtest.h>

#include <set>

#include "engine/admin.h"
#include "platform/user.h"
#include "support/test_env.h"

using namespace testing_support;
namespace fs = std::filesystem;

namespace {

const MaintenanceTask& byId(const std::vector<MaintenanceTask>& tasks, const std::string& id) {
    for (const auto& t : tasks)
        if (t.id == id) return t;
    throw std::runtime_error("no task " + id);
}

void makeProgram(const fs::path& path) {
    writeFile(path, "#!/bin/sh\n");
    fs::permissions(path, fs::perms(0755));
}

const char* const kLsregister =
    "/System/Library/Frameworks/CoreServices.framework/Frameworks/LaunchServices.framework/Support/lsregister";

}  // namespace

class MaintenanceCatalog : public TestEnv {};

TEST_F(MaintenanceCatalog, TheTwelveTasksInOrder) {
    User::setUidForTesting(501);
    struct Row {
        const char* id;
        const char* title;
        bool admin;
        bool routine;
        std::string command;
    };
    const Row expected[] = {
        {"periodic", "Run Maintenance Scripts", true, true, "/usr/sbin/periodic daily weekly monthly"},
        {"dns", "Flush DNS Cache", true, false,
         "/usr/bin/dscacheutil -flushcache; /usr/bin/killall -HUP mDNSResponder"},
        {"quicklook", "Refresh Quick Look", false, false, "/usr/bin/qlmanage -r; /usr/bin/qlmanage -r cache"},
        {"launchservices", "Rebuild Launch Services", false, false,
         std::string(kLsregister) + " -kill -r -domain local -domain system -domain user"},
        {"spotlight", "Reindex Spotlight", true, false, "/usr/bin/mdutil -E /"},
        {"snapshots", "Thin Time Machine Snapshots", true, true, "/usr/bin/tmutil thinlocalsnapshots / 10000000000 4"},
        {"purge", "Free Up RAM", true, false, "/usr/sbin/purge"},
        {"verify", "Verify Startup Disk", true, false, "/usr/sbin/diskutil verifyVolume /"},
        {"purgeable", "Free Up Purgeable Space", true, true,
         "/usr/bin/tmutil thinlocalsnapshots / 100000000000 4; /usr/sbin/purge"},
        {"mail", "Speed Up Mail", false, false, ""},  // the script is checked by running it below
        // The logged-in user's id is fixed before the command is elevated.
        {"permissions", "Repair Disk Permissions", true, false, "/usr/sbin/diskutil resetUserPermissions / '501'"},
        {"repair-volume", "Verify and Repair Startup Disk", true, false, "/usr/sbin/diskutil repairVolume /"},
    };
    const auto tasks = Maintenance::catalog();
    ASSERT_EQ(tasks.size(), std::size(expected));
    std::set<std::string> ids;
    for (size_t i = 0; i < tasks.size(); ++i) {
        const auto& t = tasks[i];
        SCOPED_TRACE(t.id);
        EXPECT_EQ(t.id, expected[i].id);
        EXPECT_EQ(t.title, expected[i].title);
        EXPECT_EQ(t.requiresAdmin, expected[i].admin);
        EXPECT_EQ(t.isRoutine, expected[i].routine);
        if (!expected[i].command.empty()) {
            EXPECT_EQ(t.command, expected[i].command);
        }
        EXPECT_FALSE(t.detail.empty());
        EXPECT_FALSE(t.recommendation.empty());
        EXPECT_FALSE(t.isRunning);
        EXPECT_FALSE(t.outcome);
        EXPECT_FALSE(t.succeeded);
        EXPECT_EQ(t.requiresPath.has_value(), t.id == "periodic");
        EXPECT_EQ(t.unavailableReason.has_value(), t.id == "periodic");
        EXPECT_EQ(t.command.find("$(id"), std::string::npos);
        ids.insert(t.id);
    }
    EXPECT_EQ(ids.size(), tasks.size());
    EXPECT_EQ(byId(tasks, "mail").recommendation,
              "Use if Mail search is slow or mailboxes behave oddly. Quit Mail first — the index is in use while "
              "it runs.");

    User::setUidForTesting(1234567);
    EXPECT_EQ(byId(Maintenance::catalog(), "permissions").command,
              "/usr/sbin/diskutil resetUserPermissions / '1234567'");
}

TEST_F(MaintenanceCatalog, AvailabilityFollowsTheProgramsUnderTheRoot) {
    const std::string generic = "Not available on this version of macOS.";
    const std::string periodicReason =
        "Apple removed the periodic scripts in macOS 26, so this task has nothing to run on this Mac.";
    struct Row {
        const char* id;
        const char* program;     // what decides; nullptr: nothing is looked up
        std::string whenMissing;  // the reason while the program is absent
    };
    const Row table[] = {
        {"periodic", "/usr/sbin/periodic", periodicReason},
        {"dns", "/usr/bin/dscacheutil", generic},
        {"quicklook", "/usr/bin/qlmanage", generic},
        {"launchservices", kLsregister, generic},
        {"spotlight", "/usr/bin/mdutil", generic},
        {"snapshots", "/usr/bin/tmutil", generic},
        {"purge", "/usr/sbin/purge", generic},
        {"verify", "/usr/sbin/diskutil", generic},
        {"purgeable", "/usr/bin/tmutil", generic},
        {"mail", nullptr, ""},  // starts with the shell word "if"
        {"permissions", "/usr/sbin/diskutil", generic},
        {"repair-volume", "/usr/sbin/diskutil", generic},
    };
    const auto tasks = Maintenance::catalog();
    ASSERT_EQ(tasks.size(), std::size(table));

    // Nothing installed under the test root.
    for (size_t i = 0; i < tasks.size(); ++i) {
        SCOPED_TRACE(table[i].id);
        ASSERT_EQ(tasks[i].id, table[i].id);
        const auto expected =
            table[i].program ? std::optional<std::string>(table[i].whenMissing) : std::nullopt;
        EXPECT_EQ(tasks[i].unavailable(), expected);
    }

    // Each program installed in turn makes its tasks available and no other.
    std::set<std::string> installed;
    for (const auto& row : table) {
        if (!row.program) continue;
        makeProgram(sys(row.program));
        installed.insert(row.program);
        for (size_t i = 0; i < tasks.size(); ++i) {
            SCOPED_TRACE(std::string(row.program) + " installed; task " + table[i].id);
            bool present = !table[i].program || installed.count(table[i].program);
            EXPECT_EQ(tasks[i].unavailable().has_value(), !present);
        }
    }
}

TEST_F(MaintenanceCatalog, ProgramIsTheFirstWordTakenLiterally) {
    auto reasonFor = [](std::string command, std::optional<std::string> program = std::nullopt) {
        MaintenanceTask t;
        t.id = "t";
        t.command = std::move(command);
        t.requiresPath = std::move(program);
        return t.unavailable();
    };
    const std::optional<std::string> missing = "Not available on this version of macOS.";
    makeProgram(sys("/usr/bin/tool"));

    EXPECT_EQ(reasonFor(""), std::nullopt);
    EXPECT_EQ(reasonFor(" \t "), std::nullopt);
    EXPECT_EQ(reasonFor("tool --flag"), std::nullopt);  // a bare name is not looked up
    EXPECT_EQ(reasonFor("  \t/usr/bin/tool   -r  "), std::nullopt);
    EXPECT_EQ(reasonFor("/usr/bin/tool; /usr/bin/absent"), missing);  // the ";" stays part of the word
    EXPECT_EQ(reasonFor("/usr/bin/tool -r; /usr/bin/absent"), std::nullopt);
    EXPECT_EQ(reasonFor("/usr/bin/absent"), missing);
    EXPECT_EQ(reasonFor("/usr/bin/tool", "/usr/bin/absent"), missing);  // the named program decides
    EXPECT_EQ(reasonFor("/usr/bin/absent", "/usr/bin/tool"), std::nullopt);
    makeFolders(sys("/usr/bin/folder"));
    EXPECT_EQ(reasonFor("/usr/bin/folder"), std::nullopt);  // anything at the path counts
}

TEST_F(MaintenanceCatalog, TasksCompareByIdAlone) {
    auto tasks = Maintenance::catalog();
    MaintenanceTask ran = tasks[0];
    ran.outcome = "Done.";
    ran.succeeded = true;
    ran.isRunning = true;
    EXPECT_EQ(ran, tasks[0]);
    EXPECT_EQ(std::hash<MaintenanceTask>{}(ran), std::hash<MaintenanceTask>{}(tasks[0]));
    EXPECT_NE(tasks[0], tasks[1]);
}

// The mail task's script run by a real shell against a temporary home, with a
// stand-in for pgrep that says whether Mail is running.
class MailTaskScript : public TestEnv {
protected:
    Admin::Result run(bool mailRunning) {
        const fs::path pgrep = tmp() / "pgrep";
        writeFile(pgrep, mailRunning ? "#!/bin/sh\nexit 0\n" : "#!/bin/sh\nexit 1\n");
        fs::permissions(pgrep, fs::perms(0755));
        std::string script = byId(Maintenance::catalog(), "mail").command;
        const std::string real = "/usr/bin/pgrep";
        size_t at = script.find(real);
        EXPECT_NE(at, std::string::npos);
        if (at != std::string::npos) script.replace(at, real.size(), Admin::quote(pgrep.native()));
        return Admin::run(script, true);
    }

    fs::path index(const std::string& version) const {
        return home() / "Library/Mail" / version / "MailData/Envelope Index";
    }

    // A database that shrinks when compacted: a large table dropped again.
    void makeIndex(const fs::path& path) {
        fs::create_directories(path.parent_path());
        auto r = Admin::run("/usr/bin/sqlite3 " + Admin::quote(path.native()) +
                                " 'CREATE TABLE m(x); WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i+1 FROM n "
                                "WHERE i < 20000) INSERT INTO m SELECT randomblob(100) FROM n; DROP TABLE m; "
                                "CREATE TABLE kept(y); INSERT INTO kept VALUES (42);'",
                            true);
        ASSERT_TRUE(r.ok) << r.output;
    }
};

TEST_F(MailTaskScript, MailRunningIsAFailureAndTouchesNothing) {
    makeIndex(index("V10"));
    const auto before = fs::file_size(index("V10"));
    auto r = run(true);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.output, "Mail is running — quit it and try again.\n");
    EXPECT_EQ(fs::file_size(index("V10")), before);
}

TEST_F(MailTaskScript, NoIndexIsNothingToDo) {
    auto r = run(false);
    EXPECT_TRUE(r.ok) << r.output;
    EXPECT_EQ(r.output, "");
    fs::create_directories(home() / "Library/Mail/V10/MailData");  // a mail folder without an index
    EXPECT_TRUE(run(false).ok);
}

TEST_F(MailTaskScript, CompactsEveryIndexAndReportsAFailingOne) {
    makeIndex(index("V9"));
    makeIndex(index("V10"));
    const auto before = fs::file_size(index("V10"));
    auto r = run(false);
    EXPECT_TRUE(r.ok) << r.output;
    EXPECT_LT(fs::file_size(index("V9")), before);
    EXPECT_LT(fs::file_size(index("V10")), before);
    auto kept = Admin::run("/usr/bin/sqlite3 " + Admin::quote(index("V10").native()) + " 'SELECT y FROM kept;'");
    EXPECT_EQ(kept.output, "42\n");

    // A damaged index fails the task, and the others are still compacted.
    makeIndex(index("V11"));
    writeFile(index("V10"), std::string(8192, 'x'));
    r = run(false);
    EXPECT_FALSE(r.ok);
    EXPECT_LT(fs::file_size(index("V11")), before);
}
