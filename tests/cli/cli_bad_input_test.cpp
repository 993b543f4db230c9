// The executable against input nobody should give it: unknown words, huge
// arguments, bytes that are not UTF-8, history and ignore files that are
// garbage or very large. Each run ends with a clear message or skips what it
// cannot read; it never crashes, and never exits 0 having said nothing.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

#include <nlohmann/json.hpp>

#include "engine/admin.h"
#include "engine/clean_history.h"
#include "engine/ignores.h"
#include "platform/file_facts.h"
#include "support/test_env.h"
#include "support/window_launch.h"

using namespace testing_support;
namespace fs = std::filesystem;

namespace {

struct Outcome {
    int status;  // the exit code; 128 + the signal's number when a signal ended it
    std::string out;
    std::string err;
};

class BadInput : public TestEnv {
protected:
    // Runs the executable with arguments already quoted for the shell. Both
    // streams go to files, so bytes that are not UTF-8 arrive as written.
    Outcome run(const std::string& arguments) {
        const std::string outFile = (tmp() / "stdout.txt").string();
        const std::string errFile = (tmp() / "stderr.txt").string();
        const std::string line = "HOME=" + Admin::quote(home().string()) +
                                 " VESSILTANE_ROOT=" + Admin::quote(root().string()) + " " +
                                 Admin::quote(std::string(VESSILTANE_BINARY_DIR) + "/vessiltane") + " " + arguments +
                                 " >" + Admin::quote(outFile) + " 2>" + Admin::quote(errFile);
        Admin::Result r = Admin::run(line);
        return {r.exitStatus, readFile(outFile), readFile(errFile)};
    }

    // What every run must satisfy: no signal, no sanitizer report, and
    // something said unless silence was asked for.
    static void expectSane(const Outcome& r, const std::string& what, bool quiet = false) {
        EXPECT_LT(r.status, 128) << what << " ended by a signal\n" << r.err.substr(0, 2000);
        EXPECT_EQ(r.err.find("Sanitizer"), std::string::npos) << what << "\n" << r.err.substr(0, 4000);
        if (!quiet) {
            EXPECT_FALSE(r.out.empty() && r.err.empty()) << what << " said nothing";
        }
    }

    static bool isJson(const std::string& text) { return !nlohmann::json::parse(text, nullptr, false).is_discarded(); }
};

}  // namespace

TEST_F(BadInput, UnknownWordsHugeArgumentsAndBytesThatAreNotUtf8) {
    const std::string huge(64 * 1024, 'x');
    struct Case {
        std::string arguments;
        int status;
        const char* says;  // found on standard output or standard error
    } cases[] = {
        {"clean --modules " + Admin::quote(huge), 2, "unknown module(s): xxxx"},
        {"scan --" + huge, 2, "unrecognised option(s): --xxxx"},
        {"scan --modules " + Admin::quote("\xFF\xFE,systemJunk"), 2, "unknown module(s): \xFF\xFE"},
        {"ignore " + Admin::quote(huge), 2, "Usage: Vessiltane ignore"},
        {"ignore add " + Admin::quote("/Users/me/trailing\xFF "), 2, "begins or ends with white space"},
        {"ignore add " + Admin::quote("/Users/me/two\nlines"), 2, "control character"},
        {"ignore remove " + Admin::quote("/Users/me/bad\xFF" + huge), 3, "Not on the list"},
        {"schedule --hour " + Admin::quote(huge), 2, "schedule takes no further words, not: \"xxxx"},
        {"history " + Admin::quote(huge) + " " + Admin::quote("\xC3\x28"), 2, "history takes no further words"},
    };
    for (const auto& c : cases) {
        const std::string what = c.arguments.substr(0, 60);
        Outcome r = run(c.arguments);
        expectSane(r, what);
        EXPECT_EQ(r.status, c.status) << what << "\n" << r.err.substr(0, 500);
        EXPECT_TRUE(r.out.find(c.says) != std::string::npos || r.err.find(c.says) != std::string::npos)
            << what << "\nout: " << r.out.substr(0, 500) << "\nerr: " << r.err.substr(0, 500);
        // The same in JSON is a valid document, and --quiet is silent on standard output.
        Outcome json = run(c.arguments + " --json");
        expectSane(json, what + " --json");
        if (!json.out.empty()) {
            EXPECT_TRUE(isJson(json.out)) << what << "\n" << json.out.substr(0, 500);
        }
        Outcome quiet = run(c.arguments + " --quiet");
        expectSane(quiet, what + " --quiet", true);
    }
    // A first word that is no command, whatever its bytes or length, is not
    // an error: the chain ends at the window, which opens.
    for (const std::string& arguments :
         {std::string("frobnicate"), std::string("frobnicate --json"), std::string("''"), Admin::quote(huge),
          Admin::quote("sc\xFF" "an")}) {
        const std::string what = arguments.substr(0, 60);
        WindowLaunch window = launchUntilWindowOpens(
            "HOME=" + Admin::quote(home().string()) + " VESSILTANE_ROOT=" + Admin::quote(root().string()) + " " +
                Admin::quote(std::string(VESSILTANE_BINARY_DIR) + "/vessiltane") + " " + arguments,
            tmp());
        EXPECT_TRUE(window.opened) << what << "\n" << window.describe();
        EXPECT_EQ(window.err.find("Sanitizer"), std::string::npos) << what << "\n" << window.err.substr(0, 4000);
        EXPECT_EQ(window.out, "") << what;
    }
    // Nothing that was refused reached the ignore list.
    EXPECT_FALSE(fs::exists(home() / "Library/Application Support/Vessiltane/ignore.txt"));
}

TEST_F(BadInput, FileNamesThatAreNotUtf8AreScannedReportedAndCleaned) {
    const fs::path caches = home() / "Library/Caches";
    const fs::path odd = caches / "com.example.\xFF\xFEodd";
    writeFile(odd / "data\x80.bin", std::string(5000, 'd'));
    writeFile(caches / "com.example.plain/f", "p");
    for (const auto& p : {odd, caches / "com.example.plain"}) setTimes(p, std::chrono::system_clock::now() - std::chrono::hours(72));

    Outcome scan = run("scan --json --modules systemJunk");
    expectSane(scan, "scan");
    EXPECT_EQ(scan.status, 0);
    ASSERT_TRUE(isJson(scan.out)) << scan.out.substr(0, 500);
    EXPECT_NE(scan.out.find("com.example.\xEF\xBF\xBD\xEF\xBF\xBDodd"), std::string::npos) << "shown with U+FFFD";

    Outcome clean = run("clean --apply --modules systemJunk");
    expectSane(clean, "clean");
    EXPECT_EQ(clean.status, 0) << clean.out;
    EXPECT_NE(clean.out.find("Reclaimed "), std::string::npos);
    EXPECT_FALSE(existsItself(odd));
}

TEST_F(BadInput, GarbageAndHugeHistoryAndIgnoreFiles) {
    const fs::path history = CleanHistory::logURL();
    const fs::path ignores = Ignores::fileURL();
    CleanupRecord record;
    record.timestamp = std::chrono::system_clock::now();
    record.source = "cli";
    record.modules = {"systemJunk"};
    record.reclaimedBytes = 1234;
    record.removedCount = 2;
    const std::string goodLine = *CleanHistory::encode(record) + "\n";

    std::string binary;
    for (uint32_t i = 0; i < 300000; ++i) binary += char((i * 7919u + 13u) % 256u);

    // Many megabytes of records, with lines no reader can use among them:
    // truncated JSON, a year the clock cannot hold, extreme numbers.
    std::string big;
    while (big.size() < 3 * 1024 * 1024) big += goodLine;
    big += "{\"timestamp\":\"2402-12-31T23:59:59Z\",\"source\":\"cli\",\"modules\":[],\"dry_run\":false,"
           "\"reclaimed_bytes\":1,\"removed_count\":1,\"failure_count\":0,\"permission_denied_count\":0}\n";
    big += "{\"timestamp\":\"2025-01-01T00:00:00Z\",\"source\":\"cli\",\"modules\":[],\"dry_run\":false,"
           "\"reclaimed_bytes\":-9223372036854775808,\"removed_count\":-1,\"failure_count\":9223372036854775807,"
           "\"permission_denied_count\":0}\n";
    big += "{\"timestamp\":\"2025-01-01T00:00";
    big += std::string(1024 * 1024, '[');

    std::string hugeIgnores = "# many entries\n";
    for (int i = 0; hugeIgnores.size() < 2 * 1024 * 1024; ++i) hugeIgnores += "/Volumes/Archive/" + std::to_string(i) + "\n";

    struct Case {
        const char* name;
        std::string historyText;
        std::string ignoreText;
        const char* historySays;
        // Lines of the ignore list that name no absolute path: what it keeps
        // is unknown, so it is reported and nothing is cleaned.
        bool listUnusable;
    } cases[] = {
        {"binary garbage", binary, binary, "No cleanup runs recorded yet.", true},
        {"megabytes", big, hugeIgnores, "Recent runs:", false},
        {"only the end of a line", "\"}\n\n\r\n", "\r\n\t\n#\n", "No cleanup runs recorded yet.", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        writeFile(history, c.historyText);
        writeFile(ignores, c.ignoreText);
        // Read before the dry run below adds a record of its own.
        EXPECT_NE(run("history").out.find(c.historySays), std::string::npos);
        for (const char* verb : {"history", "history --json", "status", "status --json", "ignore list",
                                 "ignore list --json", "scan --modules systemJunk", "clean --modules systemJunk"}) {
            Outcome r = run(verb);
            expectSane(r, std::string(c.name) + ": " + verb);
            const bool readsTheList = std::string(verb).rfind("ignore", 0) == 0 || std::string(verb).rfind("clean", 0) == 0;
            EXPECT_EQ(r.status, c.listUnusable && readsTheList ? 1 : 0)
                << c.name << ": " << verb << "\n" << r.err.substr(0, 500);
            if (c.listUnusable && readsTheList) {
                EXPECT_NE((r.out + r.err).find("is not an absolute path"), std::string::npos) << verb;
            }
            if (std::string(verb).find("--json") != std::string::npos) {
                EXPECT_TRUE(isJson(r.out)) << c.name << ": " << verb << "\n" << r.out.substr(0, 500);
            }
        }
    }
}

TEST_F(BadInput, RelativeHomeIsRefusedBeforeAnythingRuns) {
    writeFile(home() / "Library/Caches/com.example.app/f", "cache");
    for (const char* verb : {"scan", "clean --apply", "status --json"}) {
        const std::string line = "cd " + Admin::quote(tmp().string()) + " && HOME=" +
                                 Admin::quote(home().filename().string()) + " VESSILTANE_ROOT=" +
                                 Admin::quote(root().string()) + " " +
                                 Admin::quote(std::string(VESSILTANE_BINARY_DIR) + "/vessiltane") + " " + verb +
                                 " 2>" + Admin::quote((tmp() / "err.txt").string());
        Admin::Result r = Admin::run(line);
        EXPECT_EQ(r.exitStatus, 2) << verb;
        const std::string err = readFile(tmp() / "err.txt");
        EXPECT_EQ(err, "vessiltane: HOME must be an absolute path, not \"" + home().filename().string() + "\"\n")
            << verb;
        if (std::string(verb).find("--json") != std::string::npos) {
            EXPECT_EQ(nlohmann::json::parse(r.output, nullptr, false).value("error", ""), "invalid_home");
        } else {
            EXPECT_EQ(r.output, "") << verb;
        }
    }
    EXPECT_TRUE(fs::exists(home() / "Library/Caches/com.example.app/f"));
    EXPECT_FALSE(fs::exists(CleanHistory::logURL()));
}

namespace {

// Runs the executable with standard output and standard error on a pipe
// whose reader is already gone; returns the wait status.
int runIntoBrokenPipe(const fs::path& home, const fs::path& root, std::vector<std::string> arguments) {
    int fds[2];
    if (::pipe(fds) != 0) return -1;
    ::close(fds[0]);
    const std::string binary = std::string(VESSILTANE_BINARY_DIR) + "/vessiltane";
    arguments.insert(arguments.begin(), binary);
    std::vector<char*> argv;
    for (auto& a : arguments) argv.push_back(a.data());
    argv.push_back(nullptr);
    std::string homeVar = "HOME=" + home.string(), rootVar = "VESSILTANE_ROOT=" + root.string();
    char* envp[] = {homeVar.data(), rootVar.data(), nullptr};
    pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(fds[1], STDOUT_FILENO);
        ::dup2(fds[1], STDERR_FILENO);
        ::execve(binary.c_str(), argv.data(), envp);
        ::_exit(127);
    }
    ::close(fds[1]);
    int status = -1;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return status;
}

}  // namespace

TEST_F(BadInput, OutputThatCannotBeWrittenEndsInExitOneAfterTheWorkIsDone) {
    // A full disk: nothing of the document arrives.
    const std::string line = "HOME=" + Admin::quote(home().string()) + " VESSILTANE_ROOT=" +
                             Admin::quote(root().string()) + " " +
                             Admin::quote(std::string(VESSILTANE_BINARY_DIR) + "/vessiltane") + " ";
    for (const char* verb : {"modules --json", "help", "status"}) {
        Admin::Result r = Admin::run(line + verb + " >/dev/full 2>" + Admin::quote((tmp() / "err.txt").string()));
        EXPECT_EQ(r.exitStatus, 1) << verb;
        EXPECT_NE(readFile(tmp() / "err.txt").find("the output could not be written"), std::string::npos) << verb;
    }
    EXPECT_EQ(Admin::run(line + "modules --json >/dev/null").exitStatus, 0);

    // A reader that went away: the clean still removes what it chose and
    // keeps its record, and then says the output was lost.
    const fs::path cache = home() / "Library/Caches/com.example.app";
    writeFile(cache / "data.bin", std::string(8192, 'c'));
    setTimes(cache / "data.bin", std::chrono::system_clock::now() - std::chrono::hours(72));
    setTimes(cache, std::chrono::system_clock::now() - std::chrono::hours(72));
    const int status = runIntoBrokenPipe(home(), root(), {"clean", "--apply", "--modules", "systemJunk"});
    ASSERT_TRUE(WIFEXITED(status)) << "ended by signal " << (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
    EXPECT_EQ(WEXITSTATUS(status), 1);
    EXPECT_FALSE(existsItself(cache));
    const auto records = CleanHistory::recent(10);
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].removedCount, 1);
    EXPECT_FALSE(records[0].dryRun);
}
