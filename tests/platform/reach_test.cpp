#include "platform/reach.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include "platform/file_facts.h"
#include "platform/locations.h"
#include "platform/mounts.h"
#include "platform/race_seam.h"
#include "platform/root_pin.h"
#include "platform/walker.h"
#include "support/bind_mount.h"
#include "support/test_env.h"

using namespace testing_support;
namespace fs = std::filesystem;

class ReachTest : public TestEnv {};

// The root a path is reached from: the home folder, the folder right below
// the system root, or the folder right below "/", whichever is nearest; each
// by its real path.
TEST_F(ReachTest, EachPathHasTheRootOfItsLocation) {
    makeFolders(home() / "Library");
    makeFolders(sys("/Library/Caches"));
    makeFolders(tmp() / "real-home");
    makeSymlink(tmp() / "real-home", tmp() / "home-alias");

    struct Case {
        fs::path path;
        std::optional<std::string> given;
    } cases[] = {
        {home() / "Library/Caches/x", home().native()},
        {home(), home().native()},
        {sys("/Library/Caches/x"), sys("/Library").native()},
        {sys("/Library"), sys("/Library").native()},
        {root(), root().native()},
        {tmp() / "elsewhere/x", "/" + std::next(tmp().begin())->native()},  // the temporary folder's top
        {"/", "/"},
        {"//", "/"},
        {"relative/x", std::nullopt},
        {home() / "Library/../x", std::nullopt},
        {home() / "./x", std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path.native());
        auto r = Reach::rootOf(c.path.native());
        ASSERT_EQ(r.has_value(), c.given.has_value());
        if (!r) continue;
        EXPECT_EQ(r->given, *c.given);
        EXPECT_EQ(r->real, fs::canonical(*c.given).native());
    }

    // A home folder named through a link is reached by its real path.
    ::setenv("HOME", (tmp() / "home-alias").c_str(), 1);
    auto r = Reach::rootOf((tmp() / "home-alias/Library").native());
    ASSERT_TRUE(r);
    EXPECT_EQ(r->given, (tmp() / "home-alias").native());
    EXPECT_EQ(r->real, (tmp() / "real-home").native());
}

class ReachWays : public TestEnv, public testing::WithParamInterface<Reach::Method> {
protected:
    void SetUp() override {
        TestEnv::SetUp();
        Reach::setMethodForTesting(GetParam());
    }
};

TEST_P(ReachWays, FoldersAreReachedWithoutLinksOrMounts) {
    writeFile(home() / "Library/Caches/app/x", "x");
    writeFile(tmp() / "Documents/thesis.pdf", "precious");
    makeSymlink(tmp() / "Documents", home() / "Library/Caches/linked");
    makeSymlink(home() / "Library", home() / "LibraryAlias");
    writeFile(home() / "file", "f");

    struct Case {
        fs::path path;
        int error;
        Reach::Blocked blocked;
    } cases[] = {
        {home() / "Library/Caches/app", 0, Reach::Blocked::none},
        {home(), 0, Reach::Blocked::none},
        {home() / "Library/Caches/linked", ELOOP, Reach::Blocked::link},
        {home() / "LibraryAlias/Caches/app", ELOOP, Reach::Blocked::link},
        {home() / "Library/Caches/missing", ENOENT, Reach::Blocked::none},
        {home() / "file", ENOTDIR, Reach::Blocked::none},
        {home() / "Library/../Library", EINVAL, Reach::Blocked::none},
        {"Library/Caches", EINVAL, Reach::Blocked::none},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path.native());
        Reach::Folder f = Reach::folder(c.path);
        EXPECT_EQ(f.reached(), c.error == 0);
        EXPECT_EQ(f.error, c.error);
        EXPECT_EQ(f.blocked, c.blocked);
        if (f.reached()) {
            EXPECT_EQ(f.realPath, fs::canonical(c.path).native());
        }
    }
    // Listed by the one walker, a linked folder gives nothing.
    bool ok = true;
    EXPECT_TRUE(Walker::list(home() / "Library/Caches/linked", &ok).empty());
    EXPECT_FALSE(ok);
    EXPECT_EQ(Walker::list(home() / "Library/Caches/app", &ok), std::vector<std::string>{"x"});
    EXPECT_TRUE(ok);

    BindMount mount(tmp() / "Documents", home() / "Library/Caches/bound");
    REQUIRE_BIND_MOUNT(mount);
    Reach::Folder across = Reach::folder(home() / "Library/Caches/bound");
    EXPECT_FALSE(across.reached());
    EXPECT_EQ(across.blocked, Reach::Blocked::mount);
    Reach::Parent parent = Reach::parent(home() / "Library/Caches/bound/thesis.pdf");
    EXPECT_EQ(parent.folder.blocked, Reach::Blocked::mount);
    // The folder holding the mount point is reached: the mount is the item.
    Reach::Parent holder = Reach::parent(home() / "Library/Caches/bound");
    EXPECT_TRUE(holder.folder.reached());
    EXPECT_EQ(holder.name, "bound");
}

TEST_P(ReachWays, TheRootOfALocationIsNeverAnItem) {
    makeFolders(sys("/Library"));
    for (const fs::path& p : {fs::path("/"), home(), sys("/Library"), fs::path("/tmp")}) {
        SCOPED_TRACE(p.native());
        Reach::Parent parent = Reach::parent(p);
        EXPECT_FALSE(parent.folder.reached());
        EXPECT_EQ(parent.folder.blocked, Reach::Blocked::locationRoot);
    }
}

// While roots are pinned, a path is reached only from the pinned root it lies
// in, through the handle held: a root moved aside and replaced after it was
// pinned is still the one reached, a path in no pinned root is not reached,
// and a pinned root is never an item.
TEST_P(ReachWays, PinnedRootsAreTheOnlyWayIn) {
    writeFile(home() / "Library/Caches/app/x", "x");
    writeFile(sys("/Library/Caches/app/x"), "x");
    RootPin::Opened opened = RootPin::open(home().native());
    ASSERT_TRUE(opened.reached());
    std::vector<Reach::PinnedRoot> pins;
    pins.push_back({home().native(), std::move(opened.fd)});
    Reach::pinRoots(std::move(pins));

    const auto pinnedFolder = lstatFacts(home() / "Library/Caches/app");
    fs::rename(home(), tmp() / "home.aside");
    writeFile(home() / "Library/Caches/app/y", "y");

    Reach::Folder reached = Reach::folder(home() / "Library/Caches/app");
    ASSERT_TRUE(reached.reached());
    struct stat st{};
    ASSERT_EQ(::fstat(reached.fd.get(), &st), 0);
    EXPECT_EQ((FileIdentity{uint64_t(st.st_dev), uint64_t(st.st_ino)}), pinnedFolder->identity);
    bool ok = true;
    EXPECT_EQ(Walker::list(home() / "Library/Caches/app", &ok), std::vector<std::string>{"x"});

    Reach::Folder outside = Reach::folder(sys("/Library/Caches/app"));
    EXPECT_FALSE(outside.reached());
    EXPECT_EQ(outside.error, EPERM);
    EXPECT_EQ(Reach::parent(home()).folder.blocked, Reach::Blocked::locationRoot);

    Reach::unpinRoots();
    EXPECT_TRUE(Reach::folder(sys("/Library/Caches/app")).reached());
}

INSTANTIATE_TEST_SUITE_P(Methods, ReachWays, testing::Values(Reach::Method::automatic, Reach::Method::componentWalk),
                         [](const testing::TestParamInfo<Reach::Method>& info) {
                             return info.param == Reach::Method::automatic ? "kernel" : "componentWalk";
                         });

// Between the look-up of a location root's real path and its open, the root
// (here the home folder) is swapped for a link to a look-alike: the walk never
// starts in the link's target, so nothing below it is reached, by either way
// of walking down.
TEST_F(ReachTest, ARootSwappedForALinkAfterItsLookUpIsNeverWalkedInto) {
    const fs::path decoy = tmp() / "decoy";
    makeFolders(decoy / "Library/Caches");
    makeFolders(home() / "Library/Caches");
    for (auto method : {Reach::Method::automatic, Reach::Method::componentWalk}) {
        SCOPED_TRACE(method == Reach::Method::automatic ? "kernel walk" : "component walk");
        Reach::setMethodForTesting(method);
        const std::string homeReal = *Locations::realPath(home().native());
        bool swapped = false;
        RaceSeam::setForTesting([&](RaceSeam::Site site, int, const std::string& name) {
            if (site != RaceSeam::Site::locationRoot || name != homeReal || swapped) return;
            fs::rename(home(), home().native() + ".aside");
            makeSymlink(decoy, home());
            swapped = true;
        });
        Reach::Folder reached = Reach::folder(home() / "Library/Caches", Reach::Use::entries);
        RaceSeam::setForTesting(nullptr);
        ASSERT_TRUE(swapped);
        EXPECT_FALSE(reached.reached()) << reached.realPath;
        fs::remove(home());
        fs::rename(home().native() + ".aside", home());
    }
    Reach::setMethodForTesting(Reach::Method::automatic);
}
