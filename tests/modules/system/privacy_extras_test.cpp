#include "modules/system/privacy_extras.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <tuple>

#include "engine/admin.h"
#include "platform/locations.h"
#include "support/recording_runner.h"
#include "support/test_env.h"
#include "support/unprivileged.h"

using namespace testing_support;
namespace fs = std::filesystem;

namespace {

using Row = std::tuple<std::string, std::string, std::string>;  // label, client, service

std::vector<Row> rows(const std::vector<PermissionGrant>& grants) {
    std::vector<Row> out;
    for (const auto& g : grants) out.emplace_back(g.displayName, g.client, g.service);
    return out;
}

fs::path databaseIn(const fs::path& home) {
    return home / "Library/Application Support/com.apple.TCC/TCC.db";
}

std::string sqlText(std::string_view s) {
    std::string out = "'";
    for (char c : s) {
        if (c == '\'') out += "''";
        else out += c;
    }
    return out + "'";
}

}  // namespace

class PrivacyPermissions : public TestEnv {
protected:
    // The permission database in its usual place under the test home.
    fs::path db() const { return databaseIn(Locations::home()); }

    // A stand-in at the system path of sqlite3 that runs the real tool, so the
    // command line goes through a real shell with its real quoting.
    void installSqliteWrapper() {
        const fs::path wrapper = sys("/usr/bin/sqlite3");
        writeFile(wrapper, "#!/bin/sh\nexec /usr/bin/sqlite3 \"$@\"\n");
        fs::permissions(wrapper, fs::perms(0755));
    }

    // Creates the database with the real sqlite3: the access table as the
    // system keeps it, and the given (service, client, auth_value) rows.
    void createDatabase(const std::vector<std::tuple<std::string, std::string, int>>& grants) {
        std::string sql =
            "CREATE TABLE access (service TEXT NOT NULL, client TEXT NOT NULL, client_type INTEGER NOT NULL, "
            "auth_value INTEGER NOT NULL, auth_reason INTEGER NOT NULL, auth_version INTEGER NOT NULL, "
            "PRIMARY KEY (service, client, client_type));\n";
        for (const auto& [service, client, value] : grants)
            sql += "INSERT INTO access VALUES (" + sqlText(service) + ", " + sqlText(client) + ", 0, " +
                   std::to_string(value) + ", 2, 1);\n";
        const fs::path script = tmp() / "fixture.sql";
        writeFile(script, sql);
        fs::create_directories(db().parent_path());
        auto made = Admin::run("/usr/bin/sqlite3 " + Admin::quote(db().native()) + " < " +
                                   Admin::quote(script.native()),
                               true);
        ASSERT_TRUE(made.ok) << made.output;
    }
};

TEST_F(PrivacyPermissions, ReadsEveryLabelledServiceFromARealDatabase) {
    // A home whose path needs quoting, and a client holding a quote.
    const fs::path oddHome = tmp() / "it's a \"home\" $(x)";
    fs::create_directories(oddHome);
    ::setenv("HOME", oddHome.c_str(), 1);
    installSqliteWrapper();

    const std::vector<std::pair<std::string, std::string>> labels = {
        {"kTCCServiceAccessibility", "Accessibility"},
        {"kTCCServiceAddressBook", "Contacts"},
        {"kTCCServiceAppleEvents", "Automation"},
        {"kTCCServiceBluetoothAlways", "Bluetooth"},
        {"kTCCServiceCalendar", "Calendars"},
        {"kTCCServiceCamera", "Camera"},
        {"kTCCServiceFocusStatus", "Focus"},
        {"kTCCServiceListenEvent", "Input Monitoring"},
        {"kTCCServiceMediaLibrary", "Media & Apple Music"},
        {"kTCCServiceMicrophone", "Microphone"},
        {"kTCCServicePhotos", "Photos"},
        {"kTCCServicePhotosAdd", "Photos (add only)"},
        {"kTCCServicePostEvent", "PostEvent"},
        {"kTCCServiceReminders", "Reminders"},
        {"kTCCServiceScreenCapture", "Screen Recording"},
        {"kTCCServiceSpeechRecognition", "Speech Recognition"},
        {"kTCCServiceSystemPolicyAllFiles", "Full Disk Access"},
        {"kTCCServiceSystemPolicyDesktopFolder", "Desktop Folder"},
        {"kTCCServiceSystemPolicyDocumentsFolder", "Documents Folder"},
        {"kTCCServiceSystemPolicyDownloadsFolder", "Downloads Folder"},
        {"kTCCServiceSystemPolicyNetworkVolumes", "Network Volumes"},
        {"kTCCServiceSystemPolicyRemovableVolumes", "Removable Volumes"},
        {"kTCCServiceUbiquity", "iCloud"},
        {"kTCCServiceUserTracking", "Tracking"},
    };
    EXPECT_EQ(PrivacyExtras::serviceNames().size(), labels.size());

    std::vector<std::tuple<std::string, std::string, int>> stored;
    for (const auto& [service, label] : labels) stored.emplace_back(service, "com.example.all", 2);
    stored.emplace_back("kTCCServiceCamera", "com.o'brien.app", 3);
    stored.emplace_back("kTCCServiceCamera", "com.denied.app", 0);       // not a grant: left out by the query
    stored.emplace_back("kTCCServiceCamera", "/usr/local/bin/tool", 2);  // a path, not an application
    stored.emplace_back("kTCCServiceCamera", "nodots", 2);
    stored.emplace_back("kTCCServiceFancyNewThing", "com.example.all", 1);
    createDatabase(stored);

    const auto grants = PrivacyExtras::permissions();

    std::vector<Row> expected;
    for (const auto& [service, label] : labels) expected.emplace_back(label, "com.example.all", service);
    expected.emplace_back("Camera", "com.o'brien.app", "kTCCServiceCamera");
    expected.emplace_back("FancyNewThing", "com.example.all", "kTCCServiceFancyNewThing");
    std::stable_sort(expected.begin(), expected.end());
    EXPECT_EQ(rows(grants), expected);
    for (const auto& g : grants) {
        EXPECT_TRUE(g.isGranted) << g.id;
        EXPECT_EQ(g.id, g.client + "|" + g.service);
    }
}

TEST_F(PrivacyPermissions, CommandLineQuotesTheDatabaseAndQuery) {
    createDatabase({});
    RecordingRunner runner;
    runner.answer("", true, "");
    EXPECT_TRUE(PrivacyExtras::permissions().empty());
    ASSERT_EQ(runner.commands().size(), 1u);
    EXPECT_EQ(runner.commands()[0],
              Admin::quote(sys("/usr/bin/sqlite3").native()) + " -separator '|' " + Admin::quote(db().native()) +
                  " 'SELECT client, service, auth_value FROM access WHERE auth_value IN (1,2,3);'");
}

TEST_F(PrivacyPermissions, ParsesToolLines) {
    createDatabase({});
    RecordingRunner runner;
    runner.answer("", true,
                  "com.b.app|kTCCServiceCamera|2\n"
                  "\n"
                  "com.a.app|kTCCServiceCamera|1|extra|fields\n"  // four or more fields: the first three count
                  "com.short.app|kTCCServiceCamera\n"             // two fields: skipped
                  "/Applications/Tool|kTCCServiceMicrophone|2\n"  // a path: skipped
                  "tool.d/x|kTCCServiceMicrophone|2\n"            // a path with a dot: skipped
                  "nodots|kTCCServiceMicrophone|2\n"              // no dot: skipped
                  "com.zero.app|kTCCServiceMicrophone|0\n"        // decision "0": listed, not granted
                  "com.a.app|kTCCServiceNewThingkTCCService|2\n"  // unknown: every prefix occurrence removed
                  "Com.Upper.app|kTCCServiceCamera|2\n"           // capitals sort before lower case
                  "com.empty.app||2\n");
    const auto grants = PrivacyExtras::permissions();
    const std::vector<Row> expected = {
        {"", "com.empty.app", ""},
        {"Camera", "Com.Upper.app", "kTCCServiceCamera"},
        {"Camera", "com.a.app", "kTCCServiceCamera"},
        {"Camera", "com.b.app", "kTCCServiceCamera"},
        {"Microphone", "com.zero.app", "kTCCServiceMicrophone"},
        {"NewThing", "com.a.app", "kTCCServiceNewThingkTCCService"},
    };
    EXPECT_EQ(rows(grants), expected);
    ASSERT_EQ(grants.size(), expected.size());
    EXPECT_EQ(grants[2].id, "com.a.app|kTCCServiceCamera");
    EXPECT_FALSE(grants[4].isGranted);
    EXPECT_TRUE(grants[3].isGranted);
}

TEST_F(PrivacyPermissions, NothingWithoutAReadableDatabase) {
    {
        RecordingRunner runner;
        EXPECT_TRUE(PrivacyExtras::permissions().empty());  // no database
        EXPECT_TRUE(runner.commands().empty());
    }
    createDatabase({{"kTCCServiceCamera", "com.a.app", 2}});
    {
        RecordingRunner runner;
        runner.answer("", false, "Error: unable to open database file");
        EXPECT_TRUE(PrivacyExtras::permissions().empty());  // the tool fails
        EXPECT_EQ(runner.commands().size(), 1u);
    }
    // Without the right to list the database's folder nothing is run, even
    // though the database itself can still be found.
    fs::permissions(db().parent_path(), fs::perms(0711));
    const std::string failure = inUnprivilegedChild([] {
        RecordingRunner runner;
        runner.answer("", true, "com.a.app|kTCCServiceCamera|2\n");
        if (!PrivacyExtras::permissions().empty()) return std::string("permissions listed");
        if (!runner.commands().empty()) return "ran " + runner.commands()[0];
        return std::string();
    });
    EXPECT_EQ(failure, "");
}

TEST_F(PrivacyPermissions, EqualityAndHashFollowTheId) {
    PermissionGrant a{"c.x|s", "c.x", "s", "one", true};
    PermissionGrant b{"c.x|s", "other", "other", "two", false};
    PermissionGrant c{"c.y|s", "c.x", "s", "one", true};
    EXPECT_EQ(a, b);
    EXPECT_NE(a, c);
    EXPECT_EQ(std::hash<PermissionGrant>{}(a), std::hash<PermissionGrant>{}(b));
}

class PrivacyNetworksAndRevoke : public TestEnv {};

TEST_F(PrivacyNetworksAndRevoke, PreferredNetworks) {
    struct Case {
        const char* name;
        bool ok;
        std::string output;
        std::vector<std::string> expected;
    };
    const Case cases[] = {
        {"heading and names", true,
         "Preferred networks on en0:\n\tHome Wi-Fi\n  \t Café 5G \t\n\n\t \n\tHome Wi-Fi\n",
         {"Home Wi-Fi", "Café 5G", "Home Wi-Fi"}},
        {"heading alone", true, "Preferred networks on en0:\n", {}},
        {"no wireless interface", false, "en0 is not a Wi-Fi interface.\n** Error: Error obtaining wireless information.\n", {}},
        {"empty", true, "", {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        RecordingRunner runner;
        runner.answer("", c.ok, c.output);
        EXPECT_EQ(PrivacyExtras::preferredNetworks(), c.expected);
        ASSERT_EQ(runner.commands().size(), 1u);
        EXPECT_EQ(runner.commands()[0],
                  Admin::quote(sys("/usr/sbin/networksetup").native()) + " -listpreferredwirelessnetworks en0");
    }
}

TEST_F(PrivacyNetworksAndRevoke, RevokeHandsServiceAndClientOverAsSingleArguments) {
    // A stand-in for tccutil that writes down the arguments it was given.
    const fs::path log = tmp() / "arguments";
    const fs::path tool = sys("/usr/bin/tccutil");
    writeFile(tool, "#!/bin/sh\nprintf '%s\\n' \"$#\" \"$@\" > " + Admin::quote(log.native()) + "\n");
    fs::permissions(tool, fs::perms(0755));

    const PermissionGrant grant{"x", "com.o'brien.app; touch pwned", "kTCCService Camera $(id)", "Camera", true};
    EXPECT_TRUE(PrivacyExtras::revoke(grant));
    EXPECT_EQ(readFile(log), "3\nreset\nkTCCService Camera $(id)\ncom.o'brien.app; touch pwned\n");
    EXPECT_FALSE(fs::exists(fs::current_path() / "pwned"));

    fs::remove(tool);
    EXPECT_FALSE(PrivacyExtras::revoke(grant));  // the tool is missing
}
