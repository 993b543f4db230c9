// The privileged batch runs as root: no character of a path may reach the
// shell unquoted, and a batch that names the whole disk or a relative path
// never runs.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include "engine/admin.h"
#include "engine/fs.h"
#include "engine/ignores.h"
#include "platform/file_facts.h"
#include "safety/removal_safety.h"
#include "support/privileged_shell.h"
#include "support/test_env.h"
#include "support/unprivileged.h"

using namespace testing_support;
namespace fs = std::filesystem;

namespace {

// Every file below the folder named "pwned", wherever it was created.
bool anyPwned(const fs::path& folder) {
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(folder, ec); !ec && it != fs::recursive_directory_iterator();
         it.increment(ec))
        if (it->path().filename() == "pwned") return true;
    return false;
}

}  // namespace

class PrivilegedBatch : public TestEnv {};

TEST_F(PrivilegedBatch, RemovesExactlyTheGivenPathsWhateverTheyHold) {
    auto log = installPlainShellBackend(tmp());
    fs::path caches = sys("/Library/Caches");
    const std::string names[] = {
        "it's",          "$(touch pwned)", "`touch pwned`", "say \"hi\"", "back\\slash",
        "  two  spaces", "$HOME",          "semi;colon",    "-rf",        "star *",
    };
    std::vector<fs::path> batch;
    for (const auto& n : names) {
        writeFile(caches / n / "inner", "x");
        batch.push_back(caches / n);
    }
    // A neighbour whose name a broken quoting would reach.
    writeFile(caches / "it" / "keep", "k");
    writeFile(caches / "back" / "keep", "k");
    writeFile(caches / "star" / "keep", "k");

    auto out = Admin::removeAsRoot(batch);
    EXPECT_FALSE(out.cancelled);
    EXPECT_FALSE(out.authorizationUnavailable);
    EXPECT_TRUE(out.failed.empty());
    ASSERT_EQ(out.removed.size(), batch.size());
    for (size_t i = 0; i < batch.size(); ++i) {
        EXPECT_EQ(out.removed[i], batch[i].native());
        EXPECT_FALSE(fs::exists(fs::symlink_status(batch[i]))) << batch[i];
    }
    EXPECT_EQ(readFile(caches / "it/keep"), "k");
    EXPECT_EQ(readFile(caches / "back/keep"), "k");
    EXPECT_EQ(readFile(caches / "star/keep"), "k");
    EXPECT_FALSE(anyPwned(tmp()));
    EXPECT_FALSE(fs::exists("pwned"));
    ASSERT_EQ(log->scripts.size(), 1u);
}

// The root side is this executable, handed the paths on standard input as a
// here-document whose delimiter is quoted: no shell reads a path again.
TEST_F(PrivilegedBatch, ScriptTextForOnePath) {
    auto log = installPlainShellBackend(tmp());
    const fs::path helper = tmp() / "it's the $(helper)";
    fs::copy_file(fs::path(VESSILTANE_BINARY_DIR) / "vessiltane", helper);
    fs::permissions(helper, fs::perms::owner_all);
    Admin::setPrivilegedHelperForTesting(helper);
    fs::path p = sys("/Library/Caches/it's $(touch pwned) `x` \"q\" \\");
    writeFile(p / "f", "x");
    auto out = Admin::removeAsRoot({p});
    ASSERT_EQ(out.removed.size(), 1u);
    ASSERT_EQ(log->scripts.size(), 1u);
    EXPECT_EQ(log->scripts[0], "#!/bin/sh\nset -u\nexec '" + tmp().native() + "/it'\\''s the $(helper)' " +
                                   "'--privileged-removal' <<'VESSILTANE-REMOVAL-REQUEST'\n" +
                                   "vessiltane-removal 1\nhome " + home().native() + "\nroot " + root().native() +
                                   "\npath " + p.native() + "\nVESSILTANE-REMOVAL-REQUEST\n");
    EXPECT_FALSE(existsItself(p));
    EXPECT_FALSE(anyPwned(tmp()));
}

// The root side reads its request and says what became of each path, by its
// place in the request; what the rules refuse it refuses again itself.
TEST_F(PrivilegedBatch, TheRootSideChecksAndReportsEachPath) {
    const fs::path gone = sys("/Library/Caches/gone");
    const fs::path cache = sys("/Library/Caches/com.example.cache");
    writeFile(cache / "blob", "b");
    writeFile(tmp() / "elsewhere/precious", "p");
    makeSymlink(tmp() / "elsewhere", sys("/Library/Caches/linked"));
    const fs::path ignored = sys("/Library/Caches/ignored");
    writeFile(ignored / "keep", "k");
    ASSERT_EQ(Ignores::add(ignored.native()), Ignores::Edit::changed);
    const std::string request = "vessiltane-removal 1\nhome " + home().native() + "\nroot " + root().native() +
                                "\npath " + cache.native() + "\npath " + gone.native() + "\npath " +
                                sys("/Library/Caches/linked/precious").native() + "\npath " + ignored.native() +
                                "\npath " + sys("/System/Library").native() + "\n";
    auto run = Admin::runPrivilegedRemoval(request);
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.output, "removed 0\ngone 1\nfailed 2 A folder on its path is a symbolic link\n"
                          "failed 3 On the ignore list\nfailed 4 Protected item\n");
    EXPECT_FALSE(existsItself(cache));
    EXPECT_EQ(readFile(tmp() / "elsewhere/precious"), "p");
    EXPECT_EQ(readFile(ignored / "keep"), "k");

    for (const std::string bad : {"", "vessiltane-removal 2\n", "vessiltane-removal 1\nhome /h\nroot \nrm -rf /\n"}) {
        auto refused = Admin::runPrivilegedRemoval(bad);
        EXPECT_EQ(refused.status, 2) << bad;
    }
}

// An unprivileged process plants a link to a folder only root may write, so
// the items it names need administrator rights: the batch, run as root, meets
// the link on its way and removes nothing behind it.
TEST_F(PrivilegedBatch, ALinkAnUnprivilegedUserPlantsLeadsTheRootSideNowhere) {
    const fs::path rootOnly = sys("/Library/Application Support/com.vendor.service");
    writeFile(rootOnly / "precious.db", "root's data");
    ::chmod(rootOnly.c_str(), 0755);
    makeFolders(home() / "Library/Caches");
    for (const auto& entry : fs::recursive_directory_iterator(home()))
        ::lchown(entry.path().c_str(), kUnprivilegedId, kUnprivilegedId);
    ::lchown(home().c_str(), kUnprivilegedId, kUnprivilegedId);
    const fs::path planted = home() / "Library/Caches/com.apple.Safari";

    std::string failure = inUnprivilegedChildWithRootBatches([&]() -> std::string {
        fs::create_directory_symlink(rootOnly, planted);
        const fs::path item = planted / "precious.db";
        if (!FS::requiresElevation(item)) return "the planted item did not need elevation";
        auto out = Admin::removeAsRoot({item});
        if (out.authorizationUnavailable || out.cancelled) return "the batch did not run";
        if (out.failed.empty() || out.failed[0] != item.native()) return "the item was not reported failed";
        if (out.reasons[0] != "A folder on its path is a symbolic link") return "reason: " + out.reasons[0];
        return "";
    });
    EXPECT_EQ(failure, "");
    EXPECT_EQ(readFile(rootOnly / "precious.db"), "root's data");
}

TEST_F(PrivilegedBatch, RefusesTheWholeBatchForTheRootOrARelativePath) {
    // A backend that runs nothing: this test names the root of the real disk.
    int runs = 0;
    Admin::setPrivilegedBackendForTesting([&](const fs::path&, const std::optional<std::string>&) {
        ++runs;
        return Admin::Result{};
    });
    fs::path keep = sys("/Library/Caches/com.example.keep");
    writeFile(keep / "f", "x");
    const std::vector<fs::path> poison = {"/", "//", "/.", "/tmp/..", "relative/path", "", "/tmp/line\nfeed"};
    for (const auto& bad : poison) {
        SCOPED_TRACE(bad.native());
        auto out = Admin::removeAsRoot({keep, bad});
        EXPECT_TRUE(out.removed.empty());
        EXPECT_EQ(out.failed, (std::vector<std::string>{keep.native(), bad.native()}));
        EXPECT_FALSE(out.cancelled);
        EXPECT_FALSE(out.authorizationUnavailable);
    }
    EXPECT_EQ(runs, 0) << "a refused batch never runs";
    EXPECT_EQ(readFile(keep / "f"), "x");
}

TEST_F(PrivilegedBatch, LinksAreRemovedNotFollowed) {
    installPlainShellBackend(tmp());
    fs::path target = tmp() / "outside";
    writeFile(target / "precious", "p");
    fs::path link = sys("/Library/Caches/link");
    makeSymlink(target, link);
    fs::path dangling = sys("/Library/Caches/dangling");
    makeSymlink(tmp() / "nowhere", dangling);
    // A trailing slash would make rm walk into the link's target.
    auto out = Admin::removeAsRoot({link.native() + "/", dangling});
    EXPECT_EQ(out.removed.size(), 2u);
    EXPECT_FALSE(fs::exists(fs::symlink_status(link)));
    EXPECT_FALSE(fs::exists(fs::symlink_status(dangling)));
    EXPECT_EQ(readFile(target / "precious"), "p");
}

INSTANTIATE_TEST_SUITE_P(PrivilegedBatch, EveryRoad,
                         testing::Values(RemovalRoad{"removeAsRoot",
                                                     [](const std::vector<ScanItem>& items) {
                                                         installBatchBackend();
                                                         std::vector<fs::path> paths;
                                                         for (const auto& i : items) paths.push_back(i.url);
                                                         Admin::removeAsRoot(paths);
                                                     }}),
                         roadName);
