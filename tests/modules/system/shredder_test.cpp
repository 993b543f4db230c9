#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <map>
#include <memory>

#include "engine/fs.h"
#include "engine/ignores.h"
#include "modules/system/shredder.h"
#include "platform/mounts.h"
#include "platform/race_seam.h"
#include "platform/walker.h"
#include "support/bind_mount.h"
#include "support/deep_tree.h"
#include "support/test_env.h"
#include "support/unprivileged.h"

using namespace testing_support;
namespace fs = std::filesystem;

namespace {

ScanItem itemAt(const fs::path& path) {
    ScanItem item;
    item.url = path;
    item.name = path.filename().string();
    item.measured = measureObject(path);  // chosen now
    return item;
}

std::string pattern(size_t length) {
    std::string s(length, '\0');
    for (size_t i = 0; i < length; ++i) s[i] = char('a' + i % 26);
    return s;
}

// The whole content of an open file, read at offset 0.
std::string readAll(int fd) {
    std::string out;
    char buf[65536];
    off_t offset = 0;
    ssize_t n;
    while ((n = ::pread(fd, buf, sizeof buf, offset)) > 0) {
        out.append(buf, size_t(n));
        offset += n;
    }
    return out;
}

// Chowns a fixture to the unprivileged user so a child that dropped root can work in it.
void giveAway(const fs::path& root) {
    ASSERT_EQ(::lchown(root.c_str(), kUnprivilegedId, kUnprivilegedId), 0);
    for (auto& e : fs::recursive_directory_iterator(root))
        ASSERT_EQ(::lchown(e.path().c_str(), kUnprivilegedId, kUnprivilegedId), 0);
}

}  // namespace

class ShredderTest : public TestEnv {
protected:
    ScanToken token;
    std::vector<std::pair<double, std::string>> progress;
    ProgressCallback record = [this](double f, const std::string& m) { progress.emplace_back(f, m); };

    Shredder::Outcome shred(const std::vector<fs::path>& paths, int passes = 1) {
        std::vector<ScanItem> items;
        for (const auto& p : paths) items.push_back(itemAt(p));
        return Shredder::shred(items, passes, token, record);
    }
};

TEST_F(ShredderTest, OldBytesAreOverwrittenBeforeTheFileIsRemoved) {
    struct Case {
        const char* what;
        size_t length;
        int passes;
    };
    // Below one chunk, several chunks with a short last one, and passes below one.
    const Case cases[] = {{"10 bytes", 10, 1}, {"3 MiB and 5 bytes, two passes", 3 * 1024 * 1024 + 5, 2},
                          {"passes 0 runs one pass", 4096, 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        fs::path file = home() / "secret.bin";
        const std::string original = pattern(c.length);
        writeFile(file, original);
        FS::SeenSet fresh;
        int64_t size = FS::size(file, fresh);
        // A second descriptor keeps the file object alive after its name is gone.
        int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
        ASSERT_GE(fd, 0);

        progress.clear();
        auto out = shred({file}, c.passes);
        EXPECT_EQ(out.shreddedCount, 1);
        EXPECT_EQ(out.bytes, size);
        EXPECT_TRUE(out.failures.empty()) << out.failures[0];
        EXPECT_EQ(out.shreddedPaths, std::vector<std::string>{file.string()});
        EXPECT_FALSE(existsItself(file));
        // Nothing is left in the folder under another name either.
        EXPECT_TRUE(fs::is_empty(home()));

        std::string after = readAll(fd);
        ::close(fd);
        EXPECT_EQ(after.size(), original.size());  // exactly the file's bytes, never more
        EXPECT_NE(after, original);
        // No stretch of the old content survives.
        EXPECT_EQ(after.find(original.substr(0, std::min<size_t>(original.size(), 64))), std::string::npos);

        ASSERT_EQ(progress.size(), 2u);
        EXPECT_EQ(progress[0], (std::pair<double, std::string>{0.0, "Shredding secret.bin\u2026"}));
        EXPECT_EQ(progress[1], (std::pair<double, std::string>{1.0, "Done"}));
    }
}

TEST_F(ShredderTest, FoldersEmptyFilesAndLinksAreRemovedWithoutTouchingLinkTargets) {
    fs::path outside = tmp() / "outside";
    writeFile(outside / "target.txt", "keep me");
    writeFile(outside / "dir/inner.txt", "keep me too");
    fs::path folder = home() / "Private";
    writeFile(folder / "a.txt", "alpha");
    writeFile(folder / ".hidden", "hidden");
    writeFile(folder / "nested/deeper/b.txt", "beta");
    writeFile(folder / "empty.txt", "");
    makeSymlink(outside / "target.txt", folder / "file-link");
    makeSymlink(outside / "dir", folder / "folder-link");
    makeSymlink(outside / "dir", home() / "chosen-link");
    makeSymlink(outside / "target.txt", home() / "chosen-file-link");

    FS::SeenSet fresh;
    int64_t folderSize = FS::size(folder, fresh);
    auto out = shred({folder, home() / "chosen-link", home() / "chosen-file-link"});
    EXPECT_EQ(out.shreddedCount, 3);
    EXPECT_TRUE(out.failures.empty()) << out.failures[0];
    EXPECT_EQ(out.bytes, folderSize);
    EXPECT_FALSE(existsItself(folder));
    EXPECT_FALSE(existsItself(home() / "chosen-link"));
    EXPECT_FALSE(existsItself(home() / "chosen-file-link"));
    EXPECT_EQ(readFile(outside / "target.txt"), "keep me");
    EXPECT_EQ(readFile(outside / "dir/inner.txt"), "keep me too");
}

// Overwriting a file changes every name it has. So a file with a name outside
// the chosen items is refused whole; a file all of whose names were chosen is
// destroyed once, and its size counted once.
TEST_F(ShredderTest, AHardLinkedFileIsShreddedOnlyWhenEveryNameIsChosen) {
    fs::path first = home() / "one.txt";
    fs::path second = home() / "two.txt";
    const std::string content = pattern(10000);
    writeFile(first, content);
    fs::create_hard_link(first, second);
    fs::path folder = home() / "Folder";
    writeFile(folder / "plain.txt", "plain");
    fs::create_hard_link(first, folder / "third.txt");

    // A name left outside: the chosen ones are refused, nothing is touched.
    const std::string reason = "Has other hard links, so overwriting it would change them too";
    auto refused = shred({first, folder});
    EXPECT_EQ(refused.shreddedCount, 0);
    EXPECT_EQ(refused.bytes, 0);
    EXPECT_EQ(refused.failures,
              (std::vector<std::string>{first.string() + ": " + reason, folder.string() + ": third.txt: " + reason}));
    EXPECT_EQ(readFile(second), content);
    EXPECT_EQ(readFile(folder / "plain.txt"), "plain");

    // Every name chosen: overwritten once, every name gone, counted once.
    FS::SeenSet seen;
    int64_t expected = FS::size(first, seen) + FS::size(second, seen) + FS::size(folder, seen);
    int fd = ::open(first.c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    auto out = shred({first, second, folder});
    EXPECT_EQ(out.failures, std::vector<std::string>{});
    EXPECT_EQ(out.shreddedCount, 3);
    EXPECT_EQ(out.bytes, expected);
    for (const fs::path& p : {first, second, folder}) EXPECT_FALSE(existsItself(p)) << p;
    std::string after = readAll(fd);
    ::close(fd);
    EXPECT_EQ(after.size(), content.size());
    EXPECT_EQ(after.find(content.substr(0, 64)), std::string::npos);
}

TEST_F(ShredderTest, IgnoredAndProtectedPathsAreRefusedUntouched) {
    fs::path ignored = home() / "Keep/notes.txt";
    writeFile(ignored, "notes");
    fs::path holder = home() / "Holder";
    writeFile(holder / "other.txt", "other");
    writeFile(holder / "kept/inside.txt", "inside");
    ASSERT_EQ(Ignores::add((home() / "Keep").string()), Ignores::Edit::changed);
    ASSERT_EQ(Ignores::add((holder / "kept").string()), Ignores::Edit::changed);
    fs::path system = sys("/System/Library/thing.plist");
    writeFile(system, "system");
    // /usr is the root of a location, which no road removes whole.
    writeFile(sys("/usr/local/tool"), "local");
    writeFile(sys("/usr/bin/ls"), "bin");
    fs::path gone = home() / "Keep/never-existed";

    auto out = shred({ignored, holder, system, sys("/usr"), gone});
    EXPECT_EQ(out.shreddedCount, 0);
    ASSERT_EQ(out.failures.size(), 5u);
    EXPECT_EQ(out.failures[0], ignored.string() + ": On the ignore list");
    EXPECT_EQ(out.failures[1], holder.string() + ": kept: On the ignore list");
    EXPECT_EQ(out.failures[2], system.string() + ": Protected item");
    EXPECT_EQ(out.failures[3], sys("/usr").string() + ": Protected item");
    EXPECT_EQ(out.failures[4], gone.string() + ": On the ignore list");
    EXPECT_EQ(readFile(ignored), "notes");
    EXPECT_EQ(readFile(holder / "other.txt"), "other");
    EXPECT_EQ(readFile(holder / "kept/inside.txt"), "inside");
    EXPECT_EQ(readFile(system), "system");
    EXPECT_EQ(readFile(sys("/usr/local/tool")), "local");
    EXPECT_EQ(readFile(sys("/usr/bin/ls")), "bin");
}

TEST_F(ShredderTest, MissingItemsFailAndOthersGoOn) {
    writeFile(home() / "b.txt", "b");
    auto out = shred({home() / "missing.txt", home() / "b.txt"});
    EXPECT_EQ(out.failures, std::vector<std::string>{(home() / "missing.txt").string() + ": No such file or directory"});
    EXPECT_EQ(out.shreddedPaths, std::vector<std::string>{(home() / "b.txt").string()});
}

TEST_F(ShredderTest, CancellingStopsBeforeTheNextItem) {
    for (auto name : {"1.txt", "2.txt", "3.txt"}) writeFile(home() / name, name);
    auto cancelOnFirst = [&](double, const std::string& m) {
        progress.emplace_back(0, m);
        if (m != "Done") token.cancel();
    };
    std::vector<ScanItem> items = {itemAt(home() / "1.txt"), itemAt(home() / "2.txt"), itemAt(home() / "3.txt")};
    auto out = Shredder::shred(items, 1, token, cancelOnFirst);
    EXPECT_EQ(out.shreddedCount, 1);
    EXPECT_EQ(out.failures.size(), 0u);
    EXPECT_FALSE(existsItself(home() / "1.txt"));
    EXPECT_EQ(readFile(home() / "2.txt"), "2.txt");
    EXPECT_EQ(readFile(home() / "3.txt"), "3.txt");
    ASSERT_EQ(progress.size(), 2u);
    EXPECT_EQ(progress[1].second, "Done");

    progress.clear();
    ScanToken fresh;
    auto empty = Shredder::shred({}, 1, fresh, record);
    EXPECT_EQ(empty.shreddedCount, 0);
    EXPECT_EQ(progress, (std::vector<std::pair<double, std::string>>{{1.0, "Done"}}));
}

TEST_F(ShredderTest, AFileThatCannotBeOpenedEndsItsFolderWhichStays) {
    fs::path folder = home() / "Locked";
    writeFile(folder / "readonly.txt", "cannot write");
    giveAway(folder);
    ASSERT_EQ(::chmod((folder / "readonly.txt").c_str(), 0444), 0);
    std::string failure = inUnprivilegedChild([&]() -> std::string {
        ScanToken t;
        auto out = Shredder::shred({itemAt(folder)}, 1, t, nullptr);
        if (out.shreddedCount != 0) return "shredded";
        if (out.failures != std::vector<std::string>{folder.string() + ": readonly.txt: Permission denied"})
            return "failure line: " + (out.failures.empty() ? std::string("none") : out.failures[0]);
        return {};
    });
    EXPECT_EQ(failure, "");
    EXPECT_EQ(readFile(folder / "readonly.txt"), "cannot write");
}

TEST_F(ShredderTest, AFolderThatCannotBeListedIsReportedNotRemoved) {
    fs::path folder = home() / "Outer";
    writeFile(folder / "visible.txt", "visible");
    writeFile(folder / "closed/hidden-away.txt", "unseen");
    giveAway(folder);
    ASSERT_EQ(::chmod((folder / "closed").c_str(), 0), 0);
    std::string failure = inUnprivilegedChild([&]() -> std::string {
        ScanToken t;
        auto out = Shredder::shred({itemAt(folder)}, 1, t, nullptr);
        if (out.failures != std::vector<std::string>{folder.string() + ": closed: Permission denied"})
            return "failure line: " + (out.failures.empty() ? std::string("none") : out.failures[0]);
        return {};
    });
    EXPECT_EQ(failure, "");
    ASSERT_EQ(::chmod((folder / "closed").c_str(), 0755), 0);
    EXPECT_EQ(readFile(folder / "visible.txt"), "visible");
    EXPECT_EQ(readFile(folder / "closed/hidden-away.txt"), "unseen");
}

// A file's names are entries of folders: the folder holding each and the name
// in it, however the path to it was spelled. Naming one entry twice, or through
// a linked folder, never makes a name outside the chosen items one of them.
TEST_F(ShredderTest, AFileWithANameOutsideTheChosenItemsIsNeverOverwrittenHoweverItsPathIsSpelled) {
    const fs::path dir = home() / "Dir";
    const fs::path outside = tmp() / "outside/other-name.txt";
    const std::string content = pattern(20000);
    writeFile(dir / "a.txt", content);
    makeFolders(outside.parent_path());
    fs::create_hard_link(dir / "a.txt", outside);
    makeSymlink(dir, home() / "Alias");
    const std::string dirTwice = home().native() + "//Dir";
    const std::string reason = "Has other hard links, so overwriting it would change them too";
    struct Case {
        const char* what;
        std::vector<fs::path> chosen;
        std::vector<std::string> failures;
    };
    const Case cases[] = {
        {"a doubled slash", {dir / "a.txt", dirTwice + "//a.txt"},
         {(dir / "a.txt").string() + ": " + reason, dirTwice + "//a.txt: " + reason}},
        {"a linked folder", {dir / "a.txt", home() / "Alias/a.txt"},
         {(dir / "a.txt").string() + ": " + reason,
          (home() / "Alias/a.txt").string() + ": A folder on its path is a symbolic link"}},
        {"its folder twice", {dir, dirTwice}, {dir.string() + ": a.txt: " + reason, dirTwice + ": a.txt: " + reason}},
        {"its folder through the link", {dir, home() / "Alias"},
         {dir.string() + ": a.txt: " + reason}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        auto out = shred(c.chosen);
        EXPECT_EQ(out.shreddedCount, c.failures.size() == c.chosen.size() ? 0 : 1);
        EXPECT_EQ(out.failures, c.failures);
        EXPECT_EQ(readFile(outside), content);
        EXPECT_EQ(readFile(dir / "a.txt"), content);
        if (!existsItself(home() / "Alias")) makeSymlink(dir, home() / "Alias");
    }
}

// The preflight refuses a folder holding a file with one name outside it
// before anything in the folder is touched.
TEST_F(ShredderTest, AFolderHoldingAFileWithOneOtherNameOutsideIsLeftWhole) {
    const fs::path folder = home() / "Folder";
    std::map<std::string, std::string> files;
    for (int i = 0; i < 8; ++i) files["plain" + std::to_string(i) + ".txt"] = pattern(3000 + size_t(i));
    files["nested/deeper.txt"] = pattern(5000);
    for (const auto& [name, text] : files) writeFile(folder / name, text);
    writeFile(folder / "shared.txt", "shared content");
    const fs::path outside = tmp() / "elsewhere.txt";
    fs::create_hard_link(folder / "shared.txt", outside);

    auto out = shred({folder});
    EXPECT_EQ(out.shreddedCount, 0);
    EXPECT_EQ(out.failures, std::vector<std::string>{folder.string() +
                                                     ": shared.txt: Has other hard links, so overwriting it would "
                                                     "change them too"});
    EXPECT_EQ(readFile(outside), "shared content");
    for (const auto& [name, text] : files) EXPECT_EQ(readFile(folder / name), text) << name;
}

// Holes hold nothing to destroy, and writing them would allocate space the
// volume may not have: only the file's data is overwritten.
TEST_F(ShredderTest, OnlyAFilesDataIsOverwrittenNeverItsHoles) {
    const fs::path file = home() / "sparse.img";
    constexpr off_t kSize = 256 * 1024 * 1024;
    constexpr size_t kStretch = 64 * 1024;
    const std::string data = pattern(kStretch);
    const off_t stretches[] = {0, kSize / 2, kSize - off_t(kStretch)};
    {
        int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(::ftruncate(fd, kSize), 0);
        for (off_t at : stretches) ASSERT_EQ(::pwrite(fd, data.data(), data.size(), at), ssize_t(data.size()));
        ::fsync(fd);
        ::close(fd);
    }
    int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    struct stat before{};
    ASSERT_EQ(::fstat(fd, &before), 0);
    if (before.st_blocks * 512 >= kSize / 2) {
        ::close(fd);
        GTEST_SKIP() << "this file system keeps no holes";
    }

    auto out = shred({file}, 2);
    EXPECT_EQ(out.failures, std::vector<std::string>{});
    EXPECT_FALSE(existsItself(file));
    struct stat after{};
    ASSERT_EQ(::fstat(fd, &after), 0);
    EXPECT_EQ(after.st_size, kSize);
    EXPECT_LE(after.st_blocks, before.st_blocks);  // no hole was filled
    std::string read(kStretch, '\0');
    for (off_t at : stretches) {
        ASSERT_EQ(::pread(fd, read.data(), read.size(), at), ssize_t(read.size()));
        EXPECT_EQ(read.find(data.substr(0, 64)), std::string::npos) << "data at " << at << " survived";
    }
    // A hole between them still reads as zeros.
    ASSERT_EQ(::pread(fd, read.data(), read.size(), kSize / 4), ssize_t(read.size()));
    EXPECT_EQ(read, std::string(kStretch, '\0'));
    ::close(fd);
}

// A file whose overwrite stops part-way (here at the file size limit) keeps
// its name, is not counted as shredded, and its line says what it is left as;
// the folder holding it stays with what was not reached.
TEST_F(ShredderTest, AnOverwriteThatStopsPartWayLeavesTheFileInPlaceAndSaysSo) {
    const fs::path folder = home() / "Big";
    const std::string content = pattern(3 * 1024 * 1024);
    writeFile(folder / "big.bin", content);
    giveAway(folder);
    std::string failure = inUnprivilegedChild([&]() -> std::string {
        ::signal(SIGXFSZ, SIG_IGN);
        rlimit limit{1536 * 1024, 1536 * 1024};
        if (::setrlimit(RLIMIT_FSIZE, &limit) != 0) return "cannot limit the file size";
        ScanToken t;
        auto out = Shredder::shred({itemAt(folder)}, 1, t, nullptr);
        if (out.shreddedCount != 0) return "counted as shredded";
        const std::string expected = folder.string() + ": big.bin: File too large (partly overwritten, still in place)";
        if (out.failures != std::vector<std::string>{expected})
            return "failure line: " + (out.failures.empty() ? std::string("none") : out.failures[0]);
        return {};
    });
    EXPECT_EQ(failure, "");
    const std::string after = readFile(folder / "big.bin");
    ASSERT_EQ(after.size(), content.size());
    EXPECT_NE(after.substr(0, 1024 * 1024), content.substr(0, 1024 * 1024));  // overwritten up to the limit
    EXPECT_EQ(after.substr(2 * 1024 * 1024), content.substr(2 * 1024 * 1024));  // not past it
}

// Shredding a tree deeper than any path can name, on a thread whose stack is
// smaller than a macOS worker thread's: the shredder recurses nowhere. (A file
// at every level would only time the kernel, whose rename costs a step per
// folder above the file.)
TEST_F(ShredderTest, ATreeAHundredThousandFoldersDeepIsShreddedOnASmallStack) {
    constexpr int kLevels = 100'000;
    DeepScratch scratch(home() / "Deep");
    makeDeepChain(scratch.path(), kLevels, false);
    Shredder::Outcome out;
    onThreadWithStack(256 * 1024, [&] { out = shred({scratch.path() / "d"}); });
    EXPECT_EQ(out.failures, std::vector<std::string>{});
    EXPECT_EQ(out.shreddedCount, 1);
    EXPECT_TRUE(fs::is_empty(scratch.path()));
}

// A folder the rules refuse keeps its names: a file's other name in there is
// no name of the chosen items, so the file is not overwritten through its
// name outside either.
TEST_F(ShredderTest, ANameInsideARefusedFolderIsNoChosenName) {
    const fs::path kept = home() / "Kept";
    const std::string content = pattern(5000);
    writeFile(kept / "inside.txt", content);
    fs::create_hard_link(kept / "inside.txt", home() / "outside.txt");
    ASSERT_EQ(Ignores::add(kept.string()), Ignores::Edit::changed);
    auto out = shred({kept, home() / "outside.txt"});
    EXPECT_EQ(out.shreddedCount, 0);
    EXPECT_EQ(out.failures,
              (std::vector<std::string>{kept.string() + ": On the ignore list",
                                        (home() / "outside.txt").string() +
                                            ": Has other hard links, so overwriting it would change them too"}));
    EXPECT_EQ(readFile(kept / "inside.txt"), content);
}

// An ignored entry deeper than the shredder asks about one by one still
// keeps its whole item from being shredded.
TEST_F(ShredderTest, AnIgnoredEntryTooDeepToAskAboutOneByOneKeepsItsItem) {
    const fs::path item = home() / "Deep";
    const std::string name(200, 'n');
    constexpr int kLevels = 25;  // 5,025 bytes below the item, more than a path may have
    makeFolders(item);
    std::string bottom = item.native();
    int fd = ::open(item.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    for (int i = 0; i < kLevels && fd >= 0; ++i) {
        ::mkdirat(fd, name.c_str(), 0755);
        const int next = ::openat(fd, name.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        ::close(fd);
        fd = next;
        bottom += "/" + name;
    }
    ASSERT_GE(fd, 0);
    const int file = ::openat(fd, "keep.txt", O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    ::close(fd);
    ASSERT_GE(file, 0);
    ASSERT_EQ(::write(file, "keep", 4), 4);
    bottom += "/keep.txt";
    ASSERT_EQ(Ignores::add(bottom), Ignores::Edit::changed);

    auto out = shred({item});
    EXPECT_EQ(out.shreddedCount, 0);
    EXPECT_EQ(out.failures, std::vector<std::string>{item.string() + ": On the ignore list"});
    EXPECT_EQ(readAll(file), "keep");
    struct stat st{};
    ASSERT_EQ(::fstat(file, &st), 0);
    EXPECT_EQ(st.st_nlink, 1u);  // still in its folder
    ::close(file);
}

// A folder with something mounted inside is refused by the walk before
// anything in it is touched, not half destroyed when the shredder gets there.
TEST_F(ShredderTest, AFolderWithAMountInsideIsRefusedBeforeAnythingIsTouched) {
    const fs::path folder = home() / "Holder";
    std::map<std::string, std::string> files;
    for (int i = 0; i < 6; ++i) files["file" + std::to_string(i)] = pattern(2000 + size_t(i));
    for (const auto& [name, text] : files) writeFile(folder / name, text);
    writeFile(tmp() / "elsewhere/precious.txt", "precious");
    BindMount inside(tmp() / "elsewhere", folder / "inner");
    REQUIRE_BIND_MOUNT(inside);
    auto out = shred({folder});
    EXPECT_EQ(out.failures, std::vector<std::string>{folder.string() + ": inner: Lies on another volume"});
    for (const auto& [name, text] : files) EXPECT_EQ(readFile(folder / name), text) << name;
    EXPECT_EQ(readFile(tmp() / "elsewhere/precious.txt"), "precious");
}

// The names of a file are counted before anything is shredded, and looked at
// again just before it is overwritten: a chosen name moved out of the chosen
// items meanwhile is no longer one of them.
TEST_F(ShredderTest, AChosenNameMovedOutsideBeforeTheOverwriteIsNoLongerChosen) {
    const fs::path folder = home() / "Pair";
    const std::string content = pattern(8000);
    writeFile(folder / "a", content);
    fs::create_hard_link(folder / "a", folder / "b");
    const fs::path outside = tmp() / "moved-out";
    std::string first;
    RaceSeam::setForTesting([&](RaceSeam::Site site, int, const std::string& name) {
        if (site != RaceSeam::Site::shredderFile || !first.empty()) return;
        first = name;
        fs::rename(folder / (name == "a" ? "b" : "a"), outside);
    });
    auto out = shred({folder});
    RaceSeam::setForTesting(nullptr);
    ASSERT_FALSE(first.empty());
    EXPECT_EQ(out.failures, std::vector<std::string>{folder.string() + ": " + first +
                                                     ": Has other hard links, so overwriting it would change them too"});
    EXPECT_EQ(readFile(outside), content);
}

// An ignore list that is there but cannot be read protects something no one
// can tell: no file and no folder is shredded.
TEST_F(ShredderTest, AnUnreadableIgnoreListShredsNothing) {
    writeFile(home() / "file.txt", "file");
    writeFile(home() / "Folder/inside.txt", "inside");
    fs::create_directories(Ignores::fileURL().parent_path());
    fs::remove(Ignores::fileURL());
    ASSERT_EQ(::mkfifo(Ignores::fileURL().c_str(), 0644), 0);
    Ignores::resetCache();
    auto out = shred({home() / "file.txt", home() / "Folder"});
    EXPECT_EQ(out.shreddedCount, 0);
    EXPECT_EQ(out.failures, (std::vector<std::string>{(home() / "file.txt").string() + ": The ignore list cannot be read",
                                                      (home() / "Folder").string() + ": The ignore list cannot be read"}));
    EXPECT_EQ(readFile(home() / "file.txt"), "file");
    EXPECT_EQ(readFile(home() / "Folder/inside.txt"), "inside");
}

namespace {

// Where the refused entry comes in its folder's listing, which is the order
// the shredder meets the entries in.
enum class Place { first, last };

std::string listedAt(const fs::path& folder, Place place) {
    bool ok = false;
    std::vector<std::string> names = Walker::list(folder, &ok);
    EXPECT_TRUE(ok && !names.empty()) << folder;
    if (names.empty()) return {};
    return place == Place::first ? names.front() : names.back();
}

std::string checksum(const fs::path& path) {
    const std::string text = readFile(path);
    return std::to_string(std::hash<std::string>{}(text)) + "/" + std::to_string(text.size());
}

}  // namespace

// Each refusal the walk finds before anything is touched leaves the whole
// folder as it was, wherever the refused entry is listed: first, or after
// every other entry, which a refusal made only on reaching it would have
// shredded by then. A file or folder mounted over a name is told both by the
// mount id and by the mount table.
TEST_F(ShredderTest, ARefusedEntryLeavesItsFolderWholeWhereverItIsListed) {
    enum class Refused { otherName, mountedFolder, mountedFile };
    struct Case {
        const char* what;
        Refused refused;
        Mounts::Source source;
        const char* reason;
    };
    const char* hardLinked = "Has other hard links, so overwriting it would change them too";
    const char* otherVolume = "Lies on another volume";
    const Case cases[] = {
        {"a file with a name outside", Refused::otherName, Mounts::Source::automatic, hardLinked},
        {"a folder mounted inside", Refused::mountedFolder, Mounts::Source::automatic, otherVolume},
        {"a folder mounted inside, by the mount table", Refused::mountedFolder, Mounts::Source::mountTable, otherVolume},
        {"a file mounted over a name", Refused::mountedFile, Mounts::Source::automatic, otherVolume},
        {"a file mounted over a name, by the mount table", Refused::mountedFile, Mounts::Source::mountTable, otherVolume},
    };
    std::string cannotMount;
    int n = 0;
    for (const Case& c : cases) {
        for (Place place : {Place::first, Place::last}) {
            SCOPED_TRACE(std::string(c.what) + (place == Place::first ? ", listed first" : ", listed last"));
            const std::string tag = std::to_string(n++);
            Mounts::setSourceForTesting(c.source);
            const fs::path folder = home() / ("old project " + tag);
            // Eight entries: files, or for a mounted folder folders holding one.
            std::map<fs::path, std::string> contents;
            for (int i = 0; i < 8; ++i) {
                const fs::path entry = folder / ("entry" + std::to_string(i));
                const fs::path file = c.refused == Refused::mountedFolder ? entry / "inside.txt" : entry;
                contents[file] = pattern(1000 + size_t(i));
                writeFile(file, contents[file]);
            }
            const std::string target = listedAt(folder, place);
            const fs::path outside = tmp() / ("outside " + tag);
            std::unique_ptr<BindMount> mount;
            fs::path precious;
            switch (c.refused) {
                case Refused::otherName:
                    fs::create_hard_link(folder / target, outside);
                    precious = outside;
                    break;
                case Refused::mountedFolder:
                    precious = outside / "precious.txt";
                    writeFile(precious, "precious");
                    mount = std::make_unique<BindMount>(outside, folder / target);
                    break;
                case Refused::mountedFile:
                    precious = outside;
                    writeFile(precious, "precious");
                    mount = std::make_unique<BindMount>(outside, folder / target);
                    break;
            }
            if (mount && !mount->mounted()) {
                cannotMount = mount->error();
                continue;
            }
            const std::string before = checksum(precious);
            auto out = shred({folder});
            EXPECT_EQ(out.shreddedCount, 0);
            EXPECT_EQ(out.failures, std::vector<std::string>{folder.string() + ": " + target + ": " + c.reason});
            EXPECT_EQ(checksum(precious), before);
            mount.reset();
            for (const auto& [file, text] : contents) EXPECT_EQ(readFile(file), text) << file;
        }
    }
    if (!cannotMount.empty()) GTEST_SKIP() << "bind mounts are refused here: " << cannotMount;
}

// A file mounted from outside is refused as it is opened, before anything
// could write to it: chosen itself, or mounted over a name in a chosen folder
// after the walk looked at the folder.
TEST_F(ShredderTest, AMountedFileIsRefusedBeforeItIsOpenedForWriting) {
    const fs::path outside = tmp() / "outside notes.txt";
    writeFile(outside, pattern(5000));
    const std::string before = checksum(outside);

    const fs::path chosen = home() / "Desktop/notes.txt";
    writeFile(chosen, "own notes");
    {
        BindMount mount(outside, chosen);
        REQUIRE_BIND_MOUNT(mount);
        auto out = shred({chosen});
        EXPECT_EQ(out.failures, std::vector<std::string>{chosen.string() + ": Lies on another volume"});
        EXPECT_EQ(checksum(outside), before);
    }
    EXPECT_EQ(readFile(chosen), "own notes");

    const fs::path folder = home() / "Desktop/old project";
    for (int i = 0; i < 4; ++i) writeFile(folder / ("file" + std::to_string(i)), pattern(3000));
    std::unique_ptr<BindMount> mount;
    std::string mountedOver;
    // As the first file is about to be overwritten, another one not yet met
    // is replaced by the outside file.
    RaceSeam::setForTesting([&](RaceSeam::Site site, int, const std::string& name) {
        if (site != RaceSeam::Site::shredderFile || mount) return;
        for (const std::string& other : Walker::list(folder))
            if (other != name) mountedOver = other;
        mount = std::make_unique<BindMount>(outside, folder / mountedOver);
    });
    auto out = shred({folder});
    RaceSeam::setForTesting(nullptr);
    ASSERT_TRUE(mount);
    ASSERT_TRUE(mount->mounted()) << mount->error();
    EXPECT_EQ(out.failures, std::vector<std::string>{folder.string() + ": " + mountedOver + ": Lies on another volume"});
    EXPECT_EQ(checksum(outside), before);
}

// A file saved over the chosen name (a new file renamed onto it) while the
// old one is being overwritten is someone's new work: the shredder does not
// rename or delete it.
TEST_F(ShredderTest, AFileSavedOverTheChosenNameBetweenPassesIsNotRemoved) {
    for (const bool inFolder : {false, true}) {
        SCOPED_TRACE(inFolder ? "inside a chosen folder" : "chosen itself");
        const fs::path folder = inFolder ? home() / "Drafts" : home();
        const fs::path file = folder / "draft.txt";
        writeFile(file, pattern(20000));
        const fs::path saved = tmp() / "new save";
        bool replaced = false;
        RaceSeam::setForTesting([&](RaceSeam::Site site, int, const std::string&) {
            if (site != RaceSeam::Site::shredderPass || replaced) return;
            replaced = true;
            writeFile(saved, "the new save");
            fs::rename(saved, file);
        });
        const fs::path item = inFolder ? folder : file;
        auto out = shred({item}, 3);
        RaceSeam::setForTesting(nullptr);
        ASSERT_TRUE(replaced);
        EXPECT_EQ(out.shreddedCount, 0);
        EXPECT_EQ(out.failures, std::vector<std::string>{item.string() + ": " + (inFolder ? "draft.txt: " : "") +
                                                         "Changed while it was being shredded (overwritten, still in place)"});
        EXPECT_EQ(readFile(file), "the new save");
        fs::remove_all(inFolder ? folder : file);
    }
}
