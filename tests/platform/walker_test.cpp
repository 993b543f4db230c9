#include <dirent.h>
#include <gtest/gtest.h>
#include <sched.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <map>
#include <mutex>
#include <set>
#include <thread>
#include <tuple>

#include "engine/fs.h"
#include "platform/file_facts.h"
#include "platform/packages.h"
#include "platform/race_seam.h"
#include "platform/walker.h"
#include "platform/work_pool.h"
#include "support/bind_mount.h"
#include "support/test_env.h"
#include "support/unprivileged.h"

using namespace testing_support;
namespace fs = std::filesystem;

class WalkerTest : public TestEnv {
protected:
    std::set<std::string> walkNames(const fs::path& root, WalkOptions options = {},
                                     std::function<WalkAction(const WalkEntry&)> extra = nullptr) {
        std::set<std::string> out;
        Walker::walk(
            root,
            [&](const WalkEntry& e) {
                out.insert(fs::path(std::string(e.path)).lexically_relative(root).string());
                return extra ? extra(e) : WalkAction::proceed;
            },
            options);
        return out;
    }
};

TEST_F(WalkerTest, VisitsEverythingButNeverFollowsLinksOrEntersPackages) {
    fs::path r = tmp() / "tree";
    writeFile(r / "a/b/c.txt", "c");
    writeFile(r / ".hidden/h", "h");
    writeFile(r / "Tool.app/Contents/Info.plist", "p");
    writeFile(tmp() / "outside/secret", "s");
    makeSymlink(tmp() / "outside", r / "link");
    EXPECT_EQ(walkNames(r), (std::set<std::string>{"a", "a/b", "a/b/c.txt", ".hidden", ".hidden/h", "Tool.app", "link"}));

    WalkOptions hidden;
    hidden.skipHidden = true;
    EXPECT_EQ(walkNames(r, hidden), (std::set<std::string>{"a", "a/b", "a/b/c.txt", "Tool.app", "link"}));

    WalkOptions packages;
    packages.enterPackages = true;
    EXPECT_TRUE(walkNames(r, packages).count("Tool.app/Contents/Info.plist"));

    auto skipA = [](const WalkEntry& e) { return e.name == "a" ? WalkAction::skipSubtree : WalkAction::proceed; };
    EXPECT_FALSE(walkNames(r, {}, skipA).count("a/b"));

    // A root that is a link has no entries.
    EXPECT_TRUE(walkNames(r / "link").empty());
}

TEST_F(WalkerTest, EntriesThePlatformMarksHiddenAreSkippedWithDotNames) {
    fs::path r = tmp() / "tree";
    writeFile(r / "shown/file", "f");
    writeFile(r / "marked-folder/inside", "i");
    writeFile(r / "shown/marked-file", "m");
    const FileIdentity folder = lstatFacts(r / "marked-folder")->identity;
    const FileIdentity file = lstatFacts(r / "shown/marked-file")->identity;
    // This system has no such flag: the test decides in its place, and the
    // walker reads it through the one place every file's facts come from.
    setMarkedHiddenForTesting([&](const FileIdentity& id) { return id == folder || id == file; });
    EXPECT_TRUE(lstatFacts(r / "marked-folder")->hidden);
    EXPECT_FALSE(lstatFacts(r / "shown")->hidden);

    WalkOptions hidden;
    hidden.skipHidden = true;
    EXPECT_EQ(walkNames(r, hidden), (std::set<std::string>{"shown", "shown/file"}));
    std::mutex lock;
    std::set<std::string> parallel;
    Walker::walkParallel(r, [&](const WalkEntry& e, unsigned) {
        std::lock_guard guard(lock);
        parallel.insert(fs::path(std::string(e.path)).lexically_relative(r).string());
        return WalkAction::proceed;
    }, hidden);
    EXPECT_EQ(parallel, (std::set<std::string>{"shown", "shown/file"}));
    // Other walks see them.
    EXPECT_EQ(walkNames(r).size(), 5u);
}

TEST_F(WalkerTest, StopEndsTheWalkAndEntriesComeInInodeOrder) {
    fs::path r = tmp() / "flat";
    for (int i = 0; i < 50; ++i) writeFile(r / ("f" + std::to_string(i)), "x");
    std::vector<uint64_t> inodes;
    bool finished = Walker::walk(r, [&](const WalkEntry& e) {
        inodes.push_back(e.facts.identity.inode);
        return WalkAction::proceed;
    });
    EXPECT_TRUE(finished);
    EXPECT_TRUE(std::is_sorted(inodes.begin(), inodes.end()));
    int seen = 0;
    finished = Walker::walk(r, [&](const WalkEntry&) { return ++seen == 5 ? WalkAction::stop : WalkAction::proceed; });
    EXPECT_FALSE(finished);
    EXPECT_EQ(seen, 5);
}

namespace {

// What a walk reports of one entry, apart from the order.
using Seen = std::tuple<std::string, int, bool, uint64_t>;

void wideTree(const fs::path& r) {
    for (int a = 0; a < 10; ++a)
        for (int b = 0; b < 8; ++b)
            for (int f = 0; f < 4; ++f)
                writeFile(r / ("d" + std::to_string(a)) / ("e" + std::to_string(b)) / ("f" + std::to_string(f)), "x");
    writeFile(r / "d3/.cache/h", "h");
    writeFile(r / "d4/Tool.app/Contents/Info.plist", "p");
    makeSymlink(r / "d1", r / "d2/link");
}

}  // namespace

TEST_F(WalkerTest, ParallelWalkMeetsWhatTheSequentialWalkMeets) {
    fs::path r = tmp() / "wide";
    wideTree(r);
    auto skipE3 = [](std::string_view name) { return name == "e3" ? WalkAction::skipSubtree : WalkAction::proceed; };
    struct Case {
        const char* what;
        bool skipHidden, enterPackages, skipSome;
    };
    for (const Case& c : {Case{"defaults", false, false, false}, Case{"hidden skipped", true, false, false},
                          Case{"packages entered", false, true, false}, Case{"subtrees skipped", false, false, true}}) {
        WalkOptions options;
        options.skipHidden = c.skipHidden;
        options.enterPackages = c.enterPackages;
        std::set<Seen> sequential;
        Walker::walk(r, [&](const WalkEntry& e) {
            sequential.emplace(std::string(e.path), e.depth, e.isPackage, e.facts.identity.inode);
            return c.skipSome ? skipE3(e.name) : WalkAction::proceed;
        }, options);

        std::mutex lock;
        std::set<Seen> parallel;
        std::map<std::string, size_t> order;  // path -> when it was visited
        bool slotsInRange = true;
        bool finished = Walker::walkParallel(r, [&](const WalkEntry& e, unsigned slot) {
            std::lock_guard guard(lock);
            slotsInRange = slotsInRange && slot < WorkPool::width();
            // The whole path is copied here: the view dies with the call.
            parallel.emplace(std::string(e.path), e.depth, e.isPackage, e.facts.identity.inode);
            order.emplace(std::string(e.path), order.size());
            return c.skipSome ? skipE3(e.name) : WalkAction::proceed;
        }, options);
        EXPECT_TRUE(finished) << c.what;
        EXPECT_TRUE(slotsInRange) << c.what;
        EXPECT_EQ(parallel, sequential) << c.what;
        // A folder is always met before what it holds.
        for (const auto& [path, when] : order) {
            auto parent = order.find(fs::path(path).parent_path().string());
            if (parent != order.end()) {
                EXPECT_LT(parent->second, when) << path;
            }
        }
    }
}

TEST_F(WalkerTest, ParallelWalkStopsEverywhereAndReturnsAfterTheLastVisit) {
    fs::path r = tmp() / "wide";
    wideTree(r);
    std::atomic<int> visits{0}, inside{0};
    bool finished = Walker::walkParallel(r, [&](const WalkEntry&, unsigned) {
        inside.fetch_add(1);
        int n = visits.fetch_add(1) + 1;
        std::this_thread::sleep_for(std::chrono::microseconds(200));
        inside.fetch_sub(1);
        return n == 20 ? WalkAction::stop : WalkAction::proceed;
    });
    EXPECT_FALSE(finished);
    // No visit is still running once the walk returned, and the other threads
    // stopped soon after one asked. How many visits the others begin while the
    // stopping one sleeps depends on the scheduler (a loaded machine leaves the
    // stopping thread waiting), so the bound is the tree, not a count per thread.
    EXPECT_EQ(inside.load(), 0);
    int entries = 0;
    Walker::walk(r, [&](const WalkEntry&) {
        ++entries;
        return WalkAction::proceed;
    });
    EXPECT_LT(visits.load(), entries / 2) << "of " << entries;
}

// The owner's stop is seen before the next folder is read, even when the
// visitor itself never asks to stop: only the rest of the folder already read
// is visited, and no other folder.
TEST_F(WalkerTest, AStopAskedForIsSeenBeforeTheNextFolderIsRead) {
    fs::path r = tmp() / "folders";
    for (int d = 0; d < 12; ++d)
        for (int f = 0; f < 6; ++f) writeFile(r / ("d" + std::to_string(d)) / ("f" + std::to_string(f)), "x");
    std::atomic<bool> stop{false};
    WalkOptions options;
    options.stopRequested = [&] { return stop.load(); };

    std::set<std::string> filesIn;
    int files = 0;
    bool finished = Walker::walk(r, [&](const WalkEntry& e) {
        if (e.depth == 2) {
            filesIn.insert(fs::path(std::string(e.path)).parent_path().filename().string());
            ++files;
            stop = true;
        }
        return WalkAction::proceed;
    }, options);
    EXPECT_FALSE(finished);
    EXPECT_EQ(filesIn.size(), 1u);
    EXPECT_EQ(files, 6);  // the folder being read is finished, nothing more

    // A parallel walk: each thread ends with the folder it holds.
    stop = false;
    std::mutex lock;
    std::set<std::string> folders;
    finished = Walker::walkParallel(r, [&](const WalkEntry& e, unsigned) {
        if (e.depth == 2) {
            std::lock_guard guard(lock);
            folders.insert(fs::path(std::string(e.path)).parent_path().filename().string());
            stop = true;
        }
        return WalkAction::proceed;
    }, options);
    EXPECT_FALSE(finished);
    EXPECT_LE(folders.size(), size_t(WorkPool::width()));
    EXPECT_LT(folders.size(), 12u);

    // Asked before the walk begins: nothing is read at all.
    stop = true;
    std::atomic<int> visits{0};
    EXPECT_FALSE(Walker::walk(r, [&](const WalkEntry&) { ++visits; return WalkAction::proceed; }, options));
    EXPECT_FALSE(Walker::walkParallel(r, [&](const WalkEntry&, unsigned) { ++visits; return WalkAction::proceed; },
                                      options));
    EXPECT_EQ(visits.load(), 0);
}

TEST(PackageNames, ExtensionsDecide) {
    EXPECT_TRUE(Packages::isPackageName("Safari.app"));
    EXPECT_TRUE(Packages::isPackageName("Photos Library.photoslibrary"));
    EXPECT_TRUE(Packages::isPackageName("Thing.PrefPane"));
    EXPECT_FALSE(Packages::isPackageName("app"));
    EXPECT_FALSE(Packages::isPackageName(".app"));
    EXPECT_FALSE(Packages::isPackageName("notes.txt"));
}

// The walker against a plain walk written the obvious way (a directory stream
// and lstat by path, recursing, which is fine for these small trees): the same
// entries with the same facts, in the same order, the same errors, and the
// same size by the one size rule.
namespace {

struct Met {
    std::string path;  // below the root
    FileType type;
    int depth;
    bool isPackage;
    // The facts; a link is known by its type alone.
    uint64_t device = 0, inode = 0;
    int64_t allocated = 0;
    uint64_t links = 0;
    auto operator<=>(const Met&) const = default;
};

struct Record {
    std::vector<Met> entries;
    std::set<std::pair<std::string, int>> errors;
};

// The folders one walking thread handed to another, by their paths below the
// root, as the thread taking one up is about to open it; change(), when set,
// runs there first, once.
class HandOuts {
public:
    explicit HandOuts(std::function<void(int rootFd, const std::string& below)> change = nullptr)
        : change_(std::move(change)) {
        RaceSeam::setForTesting([this](RaceSeam::Site site, int dirfd, const std::string& name) {
            if (site != RaceSeam::Site::handedFolder) return;
            std::lock_guard guard(lock_);
            if (change_ && paths_.empty()) change_(dirfd, name);
            paths_.push_back(name);
        });
    }
    ~HandOuts() { RaceSeam::setForTesting(nullptr); }

    std::vector<std::string> paths() {
        std::lock_guard guard(lock_);
        return paths_;
    }
    bool any(const std::function<bool(const std::string&)>& which) {
        std::lock_guard guard(lock_);
        return std::any_of(paths_.begin(), paths_.end(), which);
    }

private:
    std::function<void(int, const std::string&)> change_;
    std::mutex lock_;
    std::vector<std::string> paths_;
};

// For a visitor: holds the walk back a little per entry until what a test
// waits for has happened (threads that wait for work are then sure to be
// given some), and no longer than a loaded machine could need.
void slowUntil(const std::function<bool()>& happened, std::chrono::steady_clock::time_point deadline) {
    if (!happened || happened() || std::chrono::steady_clock::now() > deadline) return;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

std::string below(const fs::path& root, std::string_view path) {
    return fs::path(std::string(path)).lexically_relative(root).string();
}

Met metOf(std::string path, const FileFacts& f, int depth, bool isPackage) {
    Met m{std::move(path), f.type, depth, isPackage};
    if (f.isSymlink()) return m;
    m.device = f.identity.device;
    m.inode = f.identity.inode;
    m.allocated = f.allocatedSize;
    m.links = uint64_t(f.links);
    return m;
}

void referenceWalk(const fs::path& root, const fs::path& folder, int depth, const WalkOptions& options,
                   const std::set<fs::path>& mountPoints, Record& out) {
    DIR* dir = ::opendir(folder.c_str());
    if (!dir) {
        out.errors.insert({below(root, folder.native()), errno});
        return;
    }
    std::vector<std::pair<ino_t, std::string>> names;
    while (dirent* d = ::readdir(dir)) {
        std::string name = d->d_name;
        if (name == "." || name == ".." || (options.skipHidden && name[0] == '.')) continue;
        names.emplace_back(d->d_ino, name);
    }
    ::closedir(dir);
    std::sort(names.begin(), names.end());
    for (const auto& [inode, name] : names) {
        const fs::path path = folder / name;
        struct stat st{};
        if (::lstat(path.c_str(), &st) != 0) {
            out.errors.insert({below(root, path.native()), errno});
            continue;
        }
        const FileFacts facts = FileFacts::from(st);
        const bool isPackage = facts.isDirectory() && Packages::isPackageName(name);
        out.entries.push_back(metOf(below(root, path.native()), facts, depth, isPackage));
        if (options.stayOnMount && !facts.isDirectory() && mountPoints.count(path)) {
            out.errors.insert({below(root, path.native()), EXDEV});
            continue;
        }
        if (!facts.isDirectory() || (isPackage && !options.enterPackages)) continue;
        if (options.stayOnMount && mountPoints.count(path)) {
            out.errors.insert({below(root, path.native()), EXDEV});
            continue;
        }
        referenceWalk(root, path, depth + 1, options, mountPoints, out);
    }
}

// The same bytes by the size rule: allocated sizes, each file once, links
// nothing, 4,096 bytes per folder, packages not entered.
int64_t referenceSize(const Record& walked) {
    int64_t total = 0;
    std::set<std::pair<uint64_t, uint64_t>> seen;
    for (const Met& m : walked.entries) {
        if (m.type == FileType::directory) total += 4096;
        else if (m.type != FileType::symlink && seen.insert({m.device, m.inode}).second) total += m.allocated;
    }
    return total;
}

// Two names of one file in one folder share an inode, so either may come
// first; they are put in name order on both sides.
std::vector<Met> tieByName(std::vector<Met> entries) {
    for (size_t i = 0; i < entries.size();) {
        size_t j = i + 1;
        while (j < entries.size() && entries[j].inode == entries[i].inode && entries[j].depth == entries[i].depth &&
               fs::path(entries[j].path).parent_path() == fs::path(entries[i].path).parent_path())
            ++j;
        std::sort(entries.begin() + ptrdiff_t(i), entries.begin() + ptrdiff_t(j));
        i = j;
    }
    return entries;
}

// What the walker and the plain walk disagree on; empty when nothing.
std::string compareWithReference(const fs::path& root, const WalkOptions& given,
                                 const std::set<fs::path>& mountPoints = {},
                                 const std::function<bool()>& parallelWaitsFor = nullptr) {
    Record reference;
    referenceWalk(root, root, 1, given, mountPoints, reference);

    Record sequential;
    WalkOptions options = given;
    options.onError = [&](std::string_view path, int error) { sequential.errors.insert({below(root, path), error}); };
    Walker::walk(root, [&](const WalkEntry& e) {
        sequential.entries.push_back(metOf(below(root, e.path), e.facts, e.depth, e.isPackage));
        return WalkAction::proceed;
    }, options);

    std::mutex lock;
    Record parallel;
    WalkOptions parallelOptions = given;
    parallelOptions.onError = [&](std::string_view path, int error) {
        std::lock_guard guard(lock);
        parallel.errors.insert({below(root, path), error});
    };
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    Walker::walkParallel(root, [&](const WalkEntry& e, unsigned) {
        slowUntil(parallelWaitsFor, deadline);
        std::lock_guard guard(lock);
        parallel.entries.push_back(metOf(below(root, e.path), e.facts, e.depth, e.isPackage));
        return WalkAction::proceed;
    }, parallelOptions);

    std::string out;
    auto describe = [](const std::vector<Met>& entries) {
        std::string s;
        for (const Met& m : entries) s += "  " + m.path + " depth " + std::to_string(m.depth) + " inode " + std::to_string(m.inode) + "\n";
        return s;
    };
    if (tieByName(sequential.entries) != tieByName(reference.entries))
        out += "walk:\n" + describe(sequential.entries) + "reference:\n" + describe(reference.entries);
    if (sequential.errors != reference.errors) out += "the walk's errors differ\n";
    std::set<Met> parallelSet(parallel.entries.begin(), parallel.entries.end());
    std::set<Met> referenceSet(reference.entries.begin(), reference.entries.end());
    if (parallelSet != referenceSet || parallel.entries.size() != reference.entries.size())
        out += "the parallel walk met other entries\n";
    if (parallel.errors != reference.errors) out += "the parallel walk's errors differ\n";
    if (!given.skipHidden && !given.enterPackages && !given.stayOnMount) {
        FS::SeenSet seen;
        const int64_t measured = FS::size(root, seen);
        if (measured != referenceSize(reference))
            out += "size " + std::to_string(measured) + ", expected " + std::to_string(referenceSize(reference)) + "\n";
    }
    return out;
}

// A folder beside the tree, for links and mounts to lead to.
fs::path outsideOf(const fs::path& r) { return r.parent_path() / (r.filename().string() + "-outside"); }

void filesAndLinks(const fs::path& r) {
    writeFile(r / "a/one", std::string(5000, '1'));
    writeFile(r / "a/b/two", std::string(9000, '2'));
    writeFile(r / "c/.hidden/three", "3");
    writeFile(r / "Tool.app/Contents/MacOS/tool", std::string(20000, 't'));
    writeFile(outsideOf(r) / "secret", std::string(7000, 's'));
    // Hard links: across folders, and twice in one folder.
    fs::create_hard_link(r / "a/one", r / "c/one-again");
    fs::create_hard_link(r / "a/b/two", r / "a/b/two-again");
    makeSymlink(r / "a/one", r / "c/to-file");
    makeSymlink(outsideOf(r), r / "c/to-outside");
    makeSymlink(r / "nowhere", r / "c/dangling");
    makeSymlink(r / "c", r / "c/loop");
}

}  // namespace

namespace {

void emptyFolders(const fs::path& r) {
    makeFolders(r / "empty");
    makeFolders(r / "nested/empty/inside/too");
    makeFolders(r / "nested/sibling");
    writeFile(r / "nested/file", "f");
}

// Deeper than the handle window below, with entries left in every folder when
// the walk comes back up (made after the folder, so numbered after it), two
// folders side by side on some levels, and hard links between levels.
void deepWithSiblings(const fs::path& r) {
    fs::path at = r;
    for (int level = 0; level < 14; ++level) {
        makeFolders(at / "d");
        if (level % 3 == 0) makeFolders(at / "e" / "inside");
        writeFile(at / "after", std::string(size_t(100 * (level + 1)), 'a'));
        if (level % 4 == 1) fs::create_hard_link(r / "after", at / "link-to-top");
        at /= "d";
    }
    writeFile(at / "bottom", std::string(6000, 'b'));
}

// Wide enough that threads waiting for work are handed folders at several
// depths: hard links between them, links, packages and hidden folders among
// them.
void wideWithLinks(const fs::path& r) {
    for (int a = 0; a < 24; ++a) {
        const fs::path top = r / ("w" + std::to_string(a));
        for (int b = 0; b < 3; ++b) {
            writeFile(top / ("x" + std::to_string(b)) / "deeper/file", std::string(size_t(700 * (b + 1)), 'w'));
            writeFile(top / ("x" + std::to_string(b)) / "file", std::string(size_t(100 * a + 1), 'x'));
        }
        if (a % 5 == 0) fs::create_hard_link(r / "w0/x0/file", top / "x1/deeper/again");
        if (a % 7 == 0) makeSymlink(r / "w1", top / "to-w1");
        if (a % 6 == 0) writeFile(top / "Tool.app/Contents/inside", "t");
        if (a % 4 == 0) writeFile(top / ".hidden/x/file", "h");
    }
}

}  // namespace

TEST_F(WalkerTest, MeetsWhatAPlainWalkMeets) {
    struct Case {
        const char* what;
        void (*build)(const fs::path&);
        bool skipHidden, enterPackages;
        size_t window;  // handles kept open per thread; 0 for the walker's own
        bool handsOut;  // the parallel walk must hand folders between threads
    };
    const Case cases[] = {
        {"files, hard links and links", filesAndLinks, false, false, 0, false},
        {"the same, hidden entries left out", filesAndLinks, true, false, 0, false},
        {"the same, packages entered", filesAndLinks, false, true, 0, false},
        {"empty folders", emptyFolders, false, false, 0, false},
        {"deep, with the walker's own window", deepWithSiblings, false, false, 0, false},
        {"deep, two handles per thread", deepWithSiblings, false, false, 2, false},
        {"deep, three handles per thread, hidden left out", deepWithSiblings, true, false, 3, false},
        {"wide, folders handed out", wideWithLinks, false, false, 0, true},
        {"wide, folders handed out, hidden left out", wideWithLinks, true, false, 0, true},
        {"wide, folders handed out, packages entered, two handles", wideWithLinks, false, true, 2, true},
    };
    // Every processor the tests may run on, up to eight, takes part.
    unsigned cpus = std::thread::hardware_concurrency();
    cpu_set_t allowed;
    CPU_ZERO(&allowed);
    if (::sched_getaffinity(0, sizeof allowed, &allowed) == 0) cpus = unsigned(CPU_COUNT(&allowed));
    EXPECT_EQ(WorkPool::width(), std::clamp(cpus, 1u, 8u));
    int n = 0;
    for (const Case& c : cases) {
        const fs::path r = tmp() / ("tree" + std::to_string(n++));
        c.build(r);
        Walker::setHandleWindowForTesting(c.window);
        WalkOptions options;
        options.skipHidden = c.skipHidden;
        options.enterPackages = c.enterPackages;
        HandOuts handOuts;
        const bool handing = c.handsOut && WorkPool::width() > 1;
        std::function<bool()> waitFor;
        if (handing) waitFor = [&] { return handOuts.paths().size() >= 3; };
        EXPECT_EQ(compareWithReference(r, options, {}, waitFor), "") << c.what;
        if (handing) {
            EXPECT_GE(handOuts.paths().size(), 3u) << c.what;
        }
        Walker::setHandleWindowForTesting(0);
    }
}

TEST_F(WalkerTest, UnreadableFoldersAreMetAndReportedAsAPlainWalkMeetsThem) {
    const fs::path r = tmp() / "tree";
    writeFile(r / "open/file", "o");
    // As seen by another user: no rights at all, listing without looking up,
    // looking up without listing.
    writeFile(r / "closed/file", "c");
    writeFile(r / "names-only/file", "n");
    makeFolders(r / "names-only/folder/inside");
    writeFile(r / "lookup-only/file", "l");
    ::chmod((r / "closed").c_str(), 0700);
    ::chmod((r / "names-only").c_str(), 0704);
    ::chmod((r / "lookup-only").c_str(), 0701);
    for (size_t window : {size_t(0), size_t(2)}) {
        Walker::setHandleWindowForTesting(window);
        const std::string failure = inUnprivilegedChild([&] { return compareWithReference(r, {}); });
        EXPECT_EQ(failure, "") << "window " << window;
    }
}

TEST_F(WalkerTest, MountPointsAreEnteredOrReportedAsAPlainWalkDoes) {
    const fs::path r = tmp() / "tree";
    writeFile(r / "a/file", std::string(3000, 'a'));
    writeFile(outsideOf(r) / "shown/file", std::string(5000, 's'));
    // Folders enough below the mount that some are handed between threads,
    // each then opened by its path across the mount as the walk crosses it.
    for (int i = 0; i < 16; ++i) writeFile(outsideOf(r) / ("f" + std::to_string(i)) / "in/file", "m");
    BindMount mount(outsideOf(r), r / "a/mounted");
    REQUIRE_BIND_MOUNT(mount);
    // A single file mounted over a name is met as the file it shows.
    const fs::path single = r.parent_path() / "single-file";
    writeFile(single, std::string(6000, 'o'));
    BindMount file(single, r / "a/file");
    REQUIRE_BIND_MOUNT(file);
    HandOuts handOuts;
    auto belowTheMount = [&] {
        return handOuts.any([](const std::string& p) { return p.starts_with("a/mounted/"); });
    };
    EXPECT_EQ(compareWithReference(r, {}, {}, WorkPool::width() > 1 ? belowTheMount : std::function<bool()>()), "");
    if (WorkPool::width() > 1) {
        EXPECT_TRUE(belowTheMount());
    }
    WalkOptions stay;
    stay.stayOnMount = true;
    EXPECT_EQ(compareWithReference(r, stay, {r / "a/mounted", r / "a/file"}), "");
}

// A folder whose handle the walk let go is found again when the walk comes
// back to it, and only if it is still the folder it left: never a folder that
// took its place, whose entries would be reported under the old one's path.
TEST_F(WalkerTest, AFolderLetGoIsWalkedOnOnlyIfItIsStillTheSameFolder) {
    enum class Change { moveFolderBelow, replaceFolder };
    for (Change change : {Change::moveFolderBelow, Change::replaceFolder}) {
        const fs::path r = tmp() / (change == Change::moveFolderBelow ? "moved" : "replaced");
        // Three folders in "a": whichever the walk enters first, two are left
        // in "a" while it is below that one.
        std::map<std::string, uint64_t> own;
        for (const char* b : {"b1", "b2", "b3"}) {
            writeFile(r / "a" / b / "c/d/x", "x");
            own[std::string("a/") + b] = lstatFacts(r / "a" / b)->identity.inode;
        }
        Walker::setHandleWindowForTesting(2);
        std::string first;                    // the folder of "a" entered first
        std::map<std::string, uint64_t> after;  // what was met after the change
        std::set<std::pair<std::string, int>> errors;
        WalkOptions options;
        options.onError = [&](std::string_view path, int error) { errors.insert({below(r, path), error}); };
        Walker::walk(r, [&](const WalkEntry& e) {
            const std::string path = below(r, e.path);
            if (!first.empty()) after[path] = e.facts.identity.inode;
            if (first.empty() && e.depth == 2) first = path;
            if (first.empty() || path != first + "/c/d/x") return WalkAction::proceed;
            // The folders between here and "a" move away, so ".." no longer
            // leads back to it.
            fs::rename(r / first, r / "moved");
            if (change == Change::replaceFolder) {
                fs::rename(r / "a", r / "old-a");
                for (const char* b : {"b1", "b2", "b3"}) writeFile(r / "a" / b / "c/d/x", "another folder's");
            }
            return WalkAction::proceed;
        }, options);
        Walker::setHandleWindowForTesting(0);
        ASSERT_FALSE(first.empty());
        for (const auto& [path, inode] : own) {
            if (path == first) continue;
            if (change == Change::moveFolderBelow) {
                ASSERT_TRUE(after.count(path)) << path;
                EXPECT_EQ(after[path], inode) << path;
            } else {
                EXPECT_FALSE(after.count(path)) << "walked on in the folder that took the place of the one left";
            }
        }
        if (change == Change::moveFolderBelow) {
            EXPECT_TRUE(errors.empty());
        } else {
            EXPECT_TRUE(errors.count({"a", ENOENT}));
        }
    }
}

// A folder handed to another thread is opened there by its path: if the path
// leads elsewhere by then (a link put in its place, or another folder), what
// it leads to is not walked, and nothing outside the tree is met.
TEST_F(WalkerTest, AHandedOutFolderChangedBeforeItIsOpenedIsNotWalkedThrough) {
    if (WorkPool::width() < 2) GTEST_SKIP() << "one processor: nothing is handed out";
    enum class Change { link, otherFolder };
    for (Change change : {Change::link, Change::otherFolder}) {
        const fs::path r = tmp() / (change == Change::link ? "linked" : "replaced");
        for (int i = 0; i < 24; ++i) writeFile(r / ("w" + std::to_string(i)) / "x/in/file", "w");
        writeFile(outsideOf(r) / "secret/file", "s");
        std::string changed;
        HandOuts handOuts([&](int, const std::string& path) {
            changed = path;
            fs::rename(r / path, r / (path + "-moved"));
            if (change == Change::link) {
                makeSymlink(outsideOf(r), r / path);
            } else {
                writeFile(r / path / "planted/file", "p");
            }
        });
        std::mutex lock;
        std::vector<std::string> met;
        std::set<std::pair<std::string, int>> errors;
        WalkOptions options;
        options.onError = [&](std::string_view path, int error) {
            std::lock_guard guard(lock);
            errors.insert({below(r, path), error});
        };
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        EXPECT_TRUE(Walker::walkParallel(r, [&](const WalkEntry& e, unsigned) {
            slowUntil([&] { return !handOuts.paths().empty(); }, deadline);
            std::lock_guard guard(lock);
            met.push_back(below(r, e.path));
            return WalkAction::proceed;
        }, options));
        ASSERT_FALSE(changed.empty()) << "no folder was handed out";
        for (const std::string& path : met) {
            EXPECT_FALSE(path.starts_with(changed + "/")) << path << " met through " << changed;
            EXPECT_EQ(path.find("secret"), std::string::npos) << path;
            EXPECT_EQ(path.find("planted"), std::string::npos) << path;
        }
        // A link where the folder was is refused as a folder, and said so;
        // another folder is passed over as one swapped between look and open.
        if (change == Change::link) {
            EXPECT_TRUE(errors.count({changed, ELOOP}) || errors.count({changed, ENOTDIR})) << changed;
            EXPECT_EQ(errors.size(), 1u);
        } else {
            EXPECT_TRUE(errors.empty());
        }
        // The rest of the tree is walked: every folder not below the one changed.
        for (int i = 0; i < 24; ++i) {
            const std::string file = "w" + std::to_string(i) + "/x/in/file";
            if (file.starts_with(changed + "/")) continue;
            EXPECT_TRUE(std::find(met.begin(), met.end(), file) != met.end()) << file;
        }
    }
}

namespace {

// Every handle of every thread of this process, as thread:handle -> what it is.
std::map<std::string, std::string> handlesOfEveryThread() {
    std::map<std::string, std::string> out;
    std::vector<std::string> threads;
    if (DIR* tasks = ::opendir("/proc/self/task")) {
        while (dirent* d = ::readdir(tasks))
            if (d->d_name[0] != '.') threads.push_back(d->d_name);
        ::closedir(tasks);
    }
    for (const std::string& tid : threads) {
        const std::string folder = "/proc/self/task/" + tid + "/fd";
        DIR* fds = ::opendir(folder.c_str());
        if (!fds) continue;
        while (dirent* d = ::readdir(fds)) {
            if (d->d_name[0] == '.') continue;
            char target[4096];
            const ssize_t n = ::readlink((folder + "/" + d->d_name).c_str(), target, sizeof target);
            out[tid + ":" + d->d_name] = n > 0 ? std::string(target, size_t(n)) : "?";
        }
        ::closedir(fds);
    }
    return out;
}

}  // namespace

// Each pool thread opens and closes handles in a table of its own: after a
// walk, finished, stopped or with folders let go and found again, no thread
// holds a handle it did not hold before.
TEST_F(WalkerTest, NoThreadKeepsAHandleAfterAWalk) {
    const fs::path r = tmp() / "wide";
    wideWithLinks(r);
    HandOuts handOuts;
    auto walk = [&](int stopAfter) {
        std::atomic<int> visits{0};
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        Walker::walkParallel(r, [&](const WalkEntry&, unsigned) {
            slowUntil([&] { return !handOuts.paths().empty(); }, deadline);
            return ++visits == stopAfter ? WalkAction::stop : WalkAction::proceed;
        });
        WorkPool::waitUntilIdle();
    };
    walk(0);  // every pool thread started
    const auto before = handlesOfEveryThread();
    for (size_t window : {size_t(0), size_t(2)}) {
        Walker::setHandleWindowForTesting(window);
        walk(0);
        walk(40);
        Walker::setHandleWindowForTesting(0);
    }
    const auto after = handlesOfEveryThread();
    for (const auto& [handle, what] : after) {
        if (!before.count(handle)) ADD_FAILURE() << handle << " -> " << what << " left open";
    }
    if (WorkPool::width() > 1) {
        EXPECT_FALSE(handOuts.paths().empty());
    }
}
