// The executable itself, as a user runs it.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "engine/admin.h"
#include "support/test_env.h"
#include "support/window_launch.h"

using namespace testing_support;

namespace {

struct Outcome {
    int status;
    std::string out;
    std::string err;
};

class Binary : public TestEnv {
protected:
    Outcome run(const std::string& arguments) {
        std::string errFile = (tmp() / "stderr.txt").string();
        std::string line = "HOME=" + Admin::quote(home().string()) + " VESSILTANE_ROOT=" + Admin::quote(root().string()) +
                           " " + Admin::quote(std::string(VESSILTANE_BINARY_DIR) + "/vessiltane") + " " + arguments +
                           " 2>" + Admin::quote(errFile);
        Admin::Result r = Admin::run(line);
        return {r.exitStatus, r.output, readFile(errFile)};
    }
};

}  // namespace

TEST_F(Binary, HelpUsageErrorsAndTheWindow) {
    std::string golden = readFile(std::string(VESSILTANE_SOURCE_DIR) + "/tests/cli/usage.golden.txt");
    Outcome help = run("help");
    EXPECT_EQ(help.status, 0);
    EXPECT_EQ(help.out, golden + "\n");
    EXPECT_EQ(run("SCAN --json -h").out, golden + "\n");

    Outcome bogus = run("clean --bogus --modules nosuch");
    EXPECT_EQ(bogus.status, 2);
    EXPECT_EQ(bogus.err, "unrecognised option(s): --bogus\n");
    EXPECT_EQ(bogus.out, golden + "\n");

    Outcome modules = run("scan --json --modules systemJunk,nosuch");
    EXPECT_EQ(modules.status, 2);
    auto doc = nlohmann::json::parse(modules.out);
    EXPECT_EQ(doc["error"], "unknown_module");
    EXPECT_EQ(doc["invalid_modules"], nlohmann::json::array({"nosuch"}));

    // No command word: the window opens, through the window's library.
    WindowLaunch window = launchUntilWindowOpens(
        "HOME=" + Admin::quote(home().native()) + " VESSILTANE_ROOT=" + Admin::quote(root().native()) + " " +
            Admin::quote((std::filesystem::path(VESSILTANE_BINARY_DIR) / "vessiltane").native()),
        tmp());
    EXPECT_TRUE(window.opened) << window.describe();
    EXPECT_EQ(window.out, "");
}

// A path typed after `clean --apply` is refused whole: one line naming it,
// exit 2, nothing scanned and nothing removed (not the Trash either).
TEST_F(Binary, CleanGivenAPathRemovesNothing) {
    const auto cache = home() / "Library/Caches/com.example.x";
    writeFile(cache / "blob.cache", "cached bytes");
    setTimes(cache, std::chrono::system_clock::now() - std::chrono::hours(24 * 30));
    writeFile(home() / ".Trash/old.bin", "trashed");
    Outcome r = run("clean --apply " + Admin::quote(cache.string()));
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, "clean takes no further words, not: \"" + cache.string() + "\"\n");
    EXPECT_EQ(r.out, "");
    EXPECT_TRUE(std::filesystem::exists(cache / "blob.cache"));
    EXPECT_TRUE(std::filesystem::exists(home() / ".Trash/old.bin"));
    EXPECT_FALSE(std::filesystem::exists(home() / "Library/Application Support/Vessiltane/history.jsonl"));
}

TEST_F(Binary, QuietAndJsonAndProgress) {
    Outcome quiet = run("modules --quiet");
    EXPECT_EQ(quiet.status, 0);
    EXPECT_EQ(quiet.out, "");
    Outcome json = run("status --json --quiet");
    EXPECT_EQ(nlohmann::json::parse(json.out)["ok"], true);
    // Progress goes to standard error, results to standard output.
    Outcome scan = run("scan --modules mailAttachments");
    EXPECT_EQ(scan.status, 0);
    EXPECT_NE(scan.err.find("Scanning Mail Downloads\xE2\x80\xA6"), std::string::npos) << scan.err;
    EXPECT_EQ(scan.out.rfind("Scanned Mail Attachments\n", 0), 0u);
    Outcome silent = run("scan --modules mailAttachments --quiet");
    EXPECT_EQ(silent.err, "");
    EXPECT_EQ(silent.out, "");
}
