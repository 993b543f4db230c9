// The privileged batch runs as root: no character of a path may reach the
// shell unquoted, and a batch that names the whole disk or a relative path
// never runs.
#include <gtest/gtest.h>

#include "engine/admin.h"
#include "safety/removal_safety.h"
#include "support/privileged_shell.h"
#include "support/test_env.h"

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

TEST_F(PrivilegedBatch, ScriptTextForOnePath) {
    auto log = installPlainShellBackend(tmp());
    fs::path p = sys("/Library/Caches/it's $(touch pwned) `x` \"q\" \\");
    writeFile(p / "f", "x");
    auto out = Admin::removeAsRoot({p});
    ASSERT_EQ(out.removed.size(), 1u);
    std::string q = "'" + sys("/Library/Caches").native() + "/it'\\''s $(touch pwned) `x` \"q\" \\'";
    ASSERT_EQ(log->scripts.size(), 1u);
    EXPECT_EQ(log->scripts[0], "#!/bin/sh\nset -u\nif rm -rf -- " + q + "; then echo \"ok:\"" + q +
                                   "\"\"; else echo \"fail:\"" + q + "\"\"; fi\n");
    EXPECT_FALSE(anyPwned(tmp()));
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
                                                         installPlainShellBackend();
                                                         std::vector<fs::path> paths;
                                                         for (const auto& i : items) paths.push_back(i.url);
                                                         Admin::removeAsRoot(paths);
                                                     }}),
                         roadName);
