#include "engine/admin.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <regex>

#include "engine/ignores.h"
#include "platform/authorization.h"
#include "support/measured.h"
#include "support/privileged_shell.h"
#include "support/test_env.h"
#include "support/unprivileged.h"

using namespace testing_support;
namespace fs = std::filesystem;

class AdminRun : public TestEnv {};

TEST_F(AdminRun, ExitStatusOutputAndStandardError) {
    struct Case {
        const char* command;
        bool merge;
        bool ok;
        int status;
        std::string output;
    };
    const Case cases[] = {
        {"echo out", false, true, 0, "out\n"},
        {"exit 3", false, false, 3, ""},
        {"echo hi >&2", true, true, 0, "hi\n"},
        {"echo hi >&2", false, true, 0, ""},
        {"echo a; echo b >&2; exit 1", true, false, 1, "a\nb\n"},
        {"printf '\\377\\376'", false, true, 0, ""},  // not UTF-8: empty, status still read
        {"/nonexistent/tool --flag", false, false, 127, ""},
        {"kill -9 $$", false, false, 128 + 9, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.command);
        auto r = Admin::run(c.command, c.merge);
        EXPECT_EQ(r.ok, c.ok);
        EXPECT_EQ(r.exitStatus, c.status);
        EXPECT_EQ(r.output, c.output);
        EXPECT_FALSE(r.cancelled);
    }
}

TEST_F(AdminRun, DrainsOutputLargerThanThePipe) {
    auto r = Admin::run("head -c 3000000 /dev/zero | tr '\\0' a");
    EXPECT_TRUE(r.ok);
    EXPECT_EQ(r.output.size(), 3000000u);
}

TEST_F(AdminRun, QuotingSurvivesTheShellUnchanged) {
    EXPECT_EQ(Admin::quote("it's"), "'it'\\''s'");
    EXPECT_EQ(Admin::quote(""), "''");
    const std::string nasty[] = {"it's",  "$(touch pwned)", "`id`",    "a\"b",    "back\\slash", "  spaced  out ",
                                 "$HOME", "*",              "-n",      "''''",    "line\nfeed",  "tab\there",
                                 "!",     "é ü 日本",       "a;b|c&d", "${x:-y}", "~"};
    for (const auto& s : nasty) {
        SCOPED_TRACE(s);
        auto r = Admin::run("cd " + Admin::quote(tmp().native()) + " && printf %s " + Admin::quote(s));
        EXPECT_TRUE(r.ok);
        EXPECT_EQ(r.output, s);
    }
    EXPECT_FALSE(fs::exists(tmp() / "pwned"));
}

TEST_F(AdminRun, TestRunnerSeesEachCommandLineAndAnswers) {
    std::vector<std::pair<std::string, bool>> seen;
    Admin::setRunnerForTesting([&](const std::string& line, bool merge) {
        seen.emplace_back(line, merge);
        Admin::Result r;
        r.ok = true;
        r.exitStatus = 0;
        r.output = "canned";
        return r;
    });
    EXPECT_EQ(Admin::run("/bin/launchctl list", true).output, "canned");
    EXPECT_EQ(Admin::run("touch " + Admin::quote((tmp() / "made").native())).output, "canned");
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0], (std::pair<std::string, bool>{"/bin/launchctl list", true}));
    EXPECT_FALSE(seen[1].second);
    EXPECT_FALSE(fs::exists(tmp() / "made"));

    Admin::setRunnerForTesting(nullptr);
    EXPECT_EQ(Admin::run("echo real").output, "real\n");
}

class AdminRoot : public TestEnv {
protected:
    void SetUp() override {
        TestEnv::SetUp();
        const char* old = std::getenv("TMPDIR");
        if (old) oldTmp_ = old;
        // A temporary folder whose name needs quoting both for the shell and
        // for AppleScript.
        scratch_ = tmp() / "t \"q\" \\ it's";
        makeFolders(scratch_);
        ::setenv("TMPDIR", scratch_.c_str(), 1);
    }
    void TearDown() override {
        if (oldTmp_) ::setenv("TMPDIR", oldTmp_->c_str(), 1);
        else ::unsetenv("TMPDIR");
        TestEnv::TearDown();
    }
    // Records the command lines and answers each with the given status and text.
    std::vector<std::string>& answerWith(int status, std::string output) {
        Admin::setRunnerForTesting([this, status, output](const std::string& line, bool merge) {
            EXPECT_TRUE(merge);
            lines_.push_back(line);
            Admin::Result r;
            r.exitStatus = status;
            r.ok = status == 0;
            r.output = output;
            return r;
        });
        return lines_;
    }
    fs::path scratch_;
    std::optional<std::string> oldTmp_;
    std::vector<std::string> lines_;
};

TEST_F(AdminRoot, WritesAPrivateScriptAndRemovesItAfterTheRun) {
    fs::path seenPath;
    std::string seenText;
    mode_t seenMode = 0;
    std::optional<std::string> seenPrompt;
    Admin::setPrivilegedBackendForTesting([&](const fs::path& script, const std::optional<std::string>& prompt) {
        seenPath = script;
        seenText = readFile(script);
        struct stat st{};
        ::stat(script.c_str(), &st);
        seenMode = st.st_mode & 07777;
        seenPrompt = prompt;
        Admin::Result r;
        r.ok = true;
        r.exitStatus = 0;
        r.output = "done";
        return r;
    });
    auto r = Admin::runAsRoot("echo one\necho two", "Let me in");
    EXPECT_TRUE(r.ok);
    EXPECT_EQ(r.output, "done");
    EXPECT_EQ(seenText, "#!/bin/sh\nset -u\necho one\necho two\n");
    EXPECT_EQ(seenMode, 0700u);
    EXPECT_EQ(seenPrompt, std::optional<std::string>("Let me in"));
    EXPECT_EQ(seenPath.parent_path(), scratch_);
    EXPECT_TRUE(std::regex_match(seenPath.filename().string(),
                                 std::regex("vessiltane-[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}\\.sh")));
    EXPECT_FALSE(fs::exists(seenPath));
    EXPECT_TRUE(fs::is_empty(scratch_));
}

TEST_F(AdminRoot, OsascriptCommandIsQuotedForTheShellAndForAppleScript) {
    Authorization::setToolForTesting(Authorization::Tool::osascript);
    auto& lines = answerWith(0, "");
    Admin::runAsRoot("true", "Say \"yes\" \\ now");
    ASSERT_EQ(lines.size(), 1u);
    std::smatch m;
    ASSERT_TRUE(std::regex_search(lines[0], m, std::regex("vessiltane-[0-9A-F-]{36}\\.sh")));
    std::string name = m.str();
    // AppleScript source: the script path is single-quoted for the root shell
    // (its quote written '\''), then backslashes and double quotes escaped.
    std::string scratch = scratch_.parent_path().native() + "/";
    std::string withFolder = "do shell script \"/bin/sh '" + scratch + "t \\\"q\\\" \\\\ it'\\\\''s/" + name +
                             "'\" with administrator privileges with prompt \"Say \\\"yes\\\" \\\\ now\"";
    EXPECT_EQ(lines[0], "'/usr/bin/osascript' -e " + Admin::quote(withFolder));

    lines.clear();
    Admin::runAsRoot("true");
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NE(lines[0].find("with administrator privileges'"), std::string::npos) << "no prompt clause expected";
}

TEST_F(AdminRoot, OsascriptCancelsOnlyWhenItFailed) {
    Authorization::setToolForTesting(Authorization::Tool::osascript);
    struct Case {
        int status;
        const char* output;
        bool cancelled;
    };
    const Case cases[] = {
        {1, "0:90: execution error: User canceled. (-128)\n", true},
        {1, "execution error: user CANCELED.\n", true},
        {1, "rm: /Library/x: Operation not permitted\n", false},
        // A finished batch whose output mentions -128 (a removed path) or
        // the words themselves is not a cancelled one.
        {0, "ok:/Library/Caches/build-128\n", false},
        {0, "ok:/Library/Caches/User canceled\n", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.output);
        answerWith(c.status, c.output);
        auto r = Admin::runAsRoot("true");
        EXPECT_EQ(r.cancelled, c.cancelled);
        EXPECT_EQ(r.ok, c.status == 0);
        EXPECT_EQ(r.output, c.output);
    }
}

TEST_F(AdminRoot, PkexecRefusalIsToldApartFromTheScriptsOwnStatus) {
    Authorization::setToolForTesting(Authorization::Tool::pkexec);
    struct Case {
        int status;
        const char* output;
        bool cancelled;
        bool unavailable;
    };
    const Case cases[] = {
        {126, "Error executing command as another user: Request dismissed\n", true, false},
        {127, "Error executing command as another user: No authentication agent found.\n", false, true},
        {127, "Error executing command as another user: Not authorized\n\nThis incident has been reported.\n", false,
         true},
        // The script itself ended with 126 or 127 and said so.
        {127, "sh: 1: fsck_apfs: not found\n", false, false},
        {126, "ok:/x\nsh: 2: /y: Permission denied\n", false, false},
        {0, "ok:/x\n", false, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.output);
        auto& lines = answerWith(c.status, c.output);
        lines.clear();
        auto r = Admin::runAsRoot("true", "ignored by pkexec");
        EXPECT_EQ(r.cancelled, c.cancelled);
        EXPECT_EQ(r.authorizationUnavailable, c.unavailable);
        ASSERT_EQ(lines.size(), 1u);
        EXPECT_EQ(lines[0].rfind("'/usr/bin/pkexec' /bin/sh '" + scratch_.parent_path().native() +
                                     "/t \"q\" \\ it'\\''s/vessiltane-",
                                 0),
                  0u)
            << lines[0];
    }
}

TEST_F(AdminRoot, BatchOutcomeFollowsTheAuthorizationTool) {
    fs::path victim = sys("/Library/Caches/com.example.cache");
    writeFile(victim / "data", "x");
    std::vector<fs::path> batch = {victim, sys("/Library/Caches/gone")};

    // No tool: nothing runs, every path failed.
    Authorization::setToolForTesting(Authorization::Tool::none);
    auto& lines = answerWith(0, "");
    auto none = Admin::removeAsRoot(measuredNow(batch));
    EXPECT_TRUE(lines.empty());
    EXPECT_TRUE(none.authorizationUnavailable);
    EXPECT_FALSE(none.cancelled);
    EXPECT_EQ(none.failed, (std::vector<std::string>{batch[0].native(), batch[1].native()}));
    EXPECT_TRUE(none.removed.empty());

    // osascript failing without a word: the batch never ran.
    Authorization::setToolForTesting(Authorization::Tool::osascript);
    answerWith(1, "");
    auto silent = Admin::removeAsRoot(measuredNow(batch));
    EXPECT_TRUE(silent.authorizationUnavailable);
    EXPECT_EQ(silent.failed.size(), 2u);

    // A dismissed prompt: no changes, no failures.
    answerWith(1, "execution error: User canceled. (-128)");
    auto cancelled = Admin::removeAsRoot(measuredNow(batch));
    EXPECT_TRUE(cancelled.cancelled);
    EXPECT_TRUE(cancelled.removed.empty());
    EXPECT_TRUE(cancelled.failed.empty());

    // pkexec without an agent.
    Authorization::setToolForTesting(Authorization::Tool::pkexec);
    answerWith(127, "Error executing command as another user: No authentication agent found.\n");
    auto noAgent = Admin::removeAsRoot(measuredNow(batch));
    EXPECT_TRUE(noAgent.authorizationUnavailable);
    EXPECT_EQ(noAgent.failed.size(), 2u);

    // A batch that ran with a failing line: the file system decides; the
    // path that never existed counts as removed.
    answerWith(1, "fail:x");
    auto ran = Admin::removeAsRoot(measuredNow(batch));
    EXPECT_FALSE(ran.authorizationUnavailable);
    EXPECT_EQ(ran.failed, std::vector<std::string>{batch[0].native()});
    EXPECT_EQ(ran.removed, std::vector<std::string>{batch[1].native()});
    EXPECT_TRUE(fs::exists(victim / "data"));
}

TEST_F(AdminRoot, PromptCountsThePathsThatGoToTheScript) {
    auto log = installPlainShellBackend(tmp());
    EXPECT_EQ(Admin::removeAsRoot(measuredNow({})).removed.size(), 0u);
    EXPECT_TRUE(log->prompts.empty()) << "an empty batch shows no prompt";
    makeFolders(sys("/Library/Caches"));

    auto made = [&](std::vector<fs::path> paths) {
        for (const auto& p : paths) writeFile(p, "x");
        return measuredNow(paths);
    };
    Admin::removeAsRoot(made({sys("/Library/Caches/a")}));
    Admin::removeAsRoot(made({sys("/Library/Caches/a"), sys("/Library/Caches/b")}));
    Admin::removeAsRoot(made({sys("/Library/Caches/a"), sys("/Library/Caches/b"), sys("/Library/Caches/c")}));
    ASSERT_EQ(log->prompts.size(), 3u);
    EXPECT_EQ(log->prompts[0], "Vessiltane needs administrator access to remove 1 system item from protected "
                               "locations such as /Library/Caches and /private/var/log.");
    EXPECT_EQ(log->prompts[1], "Vessiltane needs administrator access to remove 2 system items from protected "
                               "locations such as /Library/Caches and /private/var/log.");
    EXPECT_EQ(log->prompts[2], "Vessiltane needs administrator access to remove 3 system items from protected "
                               "locations such as /Library/Caches and /private/var/log.");
}

TEST_F(AdminRoot, RefusedPathsStayOutOfTheScript) {
    auto log = installPlainShellBackend(tmp());
    fs::path plain = sys("/Library/Caches/com.example.plain");
    fs::path ignored = sys("/Library/Caches/com.example.kept");
    fs::path system = sys("/System/Library/Caches/com.apple.x");
    fs::path dotted = sys("/Library/Caches/com.example.plain/../com.example.kept");
    for (const auto& p : {plain, ignored, system}) writeFile(p / "f", "x");
    ASSERT_EQ(Ignores::add(ignored.native()), Ignores::Edit::changed);

    auto out = Admin::removeAsRoot(measuredNow({plain, ignored, system, dotted}));
    EXPECT_EQ(out.removed, std::vector<std::string>{plain.native()});
    EXPECT_EQ(out.failed, (std::vector<std::string>{ignored.native(), system.native(), dotted.native()}));
    EXPECT_TRUE(fs::exists(ignored / "f"));
    EXPECT_TRUE(fs::exists(system / "f"));
    ASSERT_EQ(log->scripts.size(), 1u);
    EXPECT_EQ(log->scripts[0].find("kept"), std::string::npos);
    EXPECT_EQ(log->scripts[0].find("System"), std::string::npos);
    EXPECT_NE(log->prompts[0]->find("remove 1 system item "), std::string::npos);

    // Nothing left to remove: no prompt at all.
    auto none = Admin::removeAsRoot(measuredNow({ignored}));
    EXPECT_EQ(none.failed, std::vector<std::string>{ignored.native()});
    EXPECT_EQ(log->scripts.size(), 1u);
}

TEST_F(AdminRoot, FullDiskAccessProbe) {
    EXPECT_TRUE(Admin::hasFullDiskAccess()) << "no Safari folder";
    fs::path safari = home() / "Library/Safari";
    writeFile(safari / "History.db", "x");
    EXPECT_TRUE(Admin::hasFullDiskAccess());
    ::chmod(safari.c_str(), 0);
    std::string failure = inUnprivilegedChild([] {
        return Admin::hasFullDiskAccess() ? std::string("listing a closed folder passed") : std::string();
    });
    EXPECT_EQ(failure, "");
}
