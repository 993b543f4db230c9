#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <functional>
#include <latch>
#include <set>
#include <thread>

#include "engine/fs.h"
#include "engine/ignores.h"
#include "platform/locations.h"
#include "platform/file_facts.h"
#include "support/test_env.h"
#include "support/unprivileged.h"

using namespace testing_support;

class IgnoreList : public TestEnv {};

TEST_F(IgnoreList, NoFileMeansEmptyAndNothingCreated) {
    EXPECT_TRUE(Ignores::paths().empty());
    EXPECT_FALSE(Ignores::isIgnored(home() / "x"));
    EXPECT_FALSE(std::filesystem::exists(Locations::supportFolder()));
}

TEST_F(IgnoreList, FileIsWrittenByteForByte) {
    ASSERT_EQ(Ignores::add("/b"), Ignores::Edit::changed);
    ASSERT_EQ(Ignores::add("/a"), Ignores::Edit::changed);
    const std::string expected =
        "# Vessiltane ignore list.\n"
        "# One absolute path per line. Anything listed here \xE2\x80\x94 and everything\n"
        "# inside it \xE2\x80\x94 is never scanned and never removed.\n"
        "#\n"
        "/a\n/b\n";
    EXPECT_EQ(Ignores::header.size(), 150u);
    EXPECT_EQ(readFile(Ignores::fileURL()), expected);
    // The process keeps insertion order; the file is sorted.
    EXPECT_EQ(Ignores::paths(), (std::vector<std::string>{"/b", "/a"}));
    ASSERT_EQ(Ignores::remove("/b"), Ignores::Edit::changed);
    ASSERT_EQ(Ignores::remove("/a"), Ignores::Edit::changed);
    EXPECT_EQ(readFile(Ignores::fileURL()), std::string(Ignores::header) + "\n");
}

TEST_F(IgnoreList, TildeExpansionOnAddButNotOnRemove) {
    const std::string projects = home().string() + "/Projects";
    EXPECT_EQ(Ignores::add("~/Projects"), Ignores::Edit::changed);
    EXPECT_EQ(Ignores::paths(), std::vector<std::string>{projects});
    EXPECT_EQ(Ignores::add("~/Projects"), Ignores::Edit::unchanged);
    EXPECT_EQ(Ignores::add(projects), Ignores::Edit::unchanged);
    EXPECT_EQ(Ignores::remove("~/Projects"), Ignores::Edit::unchanged);
    EXPECT_EQ(Ignores::remove(projects), Ignores::Edit::changed);

    // "~name" is that user's home folder.
    passwd* pw = ::getpwnam("root");
    ASSERT_NE(pw, nullptr);
    EXPECT_EQ(Locations::expandTilde("~root/Keep"), std::string(pw->pw_dir) + "/Keep");
    EXPECT_EQ(Locations::expandTilde("~no-such-user-here/x"), "~no-such-user-here/x");
}

TEST_F(IgnoreList, HandEditedFileAndMatching) {
    writeFile(Ignores::fileURL(),
              "# my list\n"
              "   /Volumes/Archive  \n"
              "\n"
              "   # a note\n"
              "/Users/me/Keep\r\n"
              "/Users/me/Keep\n"
              "/Users/me/Folder/\n"
              "relative/path\n"
              "/with#hash\n"
              "/Users/me/Docs/../Kept\n"
              "/Users/me//Doubled/./here\n");
    EXPECT_EQ(Ignores::paths(), (std::vector<std::string>{"/Volumes/Archive", "/Users/me/Keep", "/Users/me/Keep",
                                                         "/Users/me/Folder/", "relative/path", "/with#hash",
                                                         "/Users/me/Docs/../Kept", "/Users/me//Doubled/./here"}));
    struct Case {
        const char* path;
        bool ignored;
    } cases[] = {
        {"/Users/me/Keep", true},         {"/Users/me/Keep/a/b.txt", true},
        {"/Users/me/Keeper", false},      {"/Users/me/Other/../Keep/x", true},
        {"/Users/me/Folder", true},       {"/Users/me/Folder/inside", true},
        {"/Volumes/Archive/x", true},     {"/relative/path", false},
        {"/with#hash", true},             {"/Users/me", false},
        // An entry written with "..", "." or doubled slashes keeps the place it names.
        {"/Users/me/Kept/x", true},       {"/Users/me/Doubled/here", true},
        {"/Users/me/Docs", false},
    };
    for (const auto& c : cases) EXPECT_EQ(Ignores::isIgnored(c.path), c.ignored) << c.path;
    // The relative entry protects nothing anyone can tell: removal stops until it is mended.
    EXPECT_EQ(Ignores::unreadable(), "its entry \"relative/path\" is not an absolute path");
    EXPECT_EQ(Ignores::remove("relative/path"), Ignores::Edit::changed);
    EXPECT_EQ(Ignores::unreadable(), std::nullopt);
    // One remove drops both copies.
    EXPECT_EQ(Ignores::remove("/Users/me/Keep"), Ignores::Edit::changed);
    EXPECT_FALSE(Ignores::isIgnored("/Users/me/Keep"));
}

TEST_F(IgnoreList, CanonicallyEquivalentPathsMatch) {
    ASSERT_EQ(Ignores::add("/Users/me/Caf\xC3\xA9"), Ignores::Edit::changed);  // composed é
    EXPECT_TRUE(Ignores::isIgnored("/Users/me/Cafe\xCC\x81/menu.txt"));       // decomposed é
    EXPECT_EQ(Ignores::add("/Users/me/Cafe\xCC\x81"), Ignores::Edit::unchanged);
}

TEST_F(IgnoreList, FailedWriteIsReportedAndForgotten) {
    // A file standing where the support folder should be: even root cannot write.
    writeFile(home() / "Library/Application Support/Vessiltane", "not a folder");
    EXPECT_EQ(Ignores::add("/Users/me/Projects"), Ignores::Edit::writeFailed);
    EXPECT_TRUE(Ignores::paths().empty());
    EXPECT_FALSE(Ignores::isIgnored("/Users/me/Projects"));
}

// Whatever add() accepts reads back from the file as exactly that entry;
// whatever would read back as another entry (or none) is refused.
TEST_F(IgnoreList, AnEntryIsStoredOnlyWhenItReadsBackExactly) {
    const std::string h = home().string();
    struct Case {
        std::string entry;
        bool stored;
    } cases[] = {
        {"/Users/me/Keep", true},
        {"/Users/me/two  spaces inside", true},
        {"/Users/me/with#hash", true},
        {"/Users/me/Caf\xC3\xA9", true},
        {"/Users/me/not utf-8 \xFF\xFE", true},
        {"~/Projects", true},
        {"/Users/me/trailing ", false},
        {"/Users/me/trailing\t", false},
        {"/Users/me/no-break\xC2\xA0", false},
        {" /Users/me/leading", false},
        {"/Users/me/cr\r", false},
        {"/Users/me/lf\n/Users/me/Other", false},
        {"/Users/me/tab\tinside", false},
        {"/Users/me/bell\x07", false},
        {"", false},
        {"# a comment", false},
        {"relative/path", false},
        {"~no-such-user-here/x", false},
    };
    std::vector<std::string> stored;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.entry);
        const std::string value = c.entry.rfind("~/", 0) == 0 ? h + c.entry.substr(1) : c.entry;
        EXPECT_EQ(Ignores::add(c.entry), c.stored ? Ignores::Edit::changed : Ignores::Edit::refused);
        EXPECT_EQ(Ignores::unstorable(value).has_value(), !c.stored);
        if (c.stored) stored.push_back(value);
    }
    Ignores::resetCache();
    auto reread = Ignores::paths();
    std::sort(reread.begin(), reread.end());
    std::sort(stored.begin(), stored.end());
    EXPECT_EQ(reread, stored);
    EXPECT_FALSE(Ignores::isIgnored("/Users/me/Other"));
}

// A line that is not UTF-8 is an entry like any other: matched byte for byte,
// kept on every rewrite, and the other entries stand.
TEST_F(IgnoreList, ALineThatIsNotUtf8IsKeptAndMatchedByteForByte) {
    writeFile(Ignores::fileURL(), std::string(Ignores::header) + "/Users/me/ok\n/Users/me/bad\xFF\n");
    EXPECT_EQ(Ignores::paths(), (std::vector<std::string>{"/Users/me/ok", "/Users/me/bad\xFF"}));
    EXPECT_TRUE(Ignores::isIgnored("/Users/me/ok/file"));
    EXPECT_TRUE(Ignores::isIgnored("/Users/me/bad\xFF/file"));
    EXPECT_FALSE(Ignores::isIgnored("/Users/me/bad\xFE/file"));

    ASSERT_EQ(Ignores::add("/Users/me/new"), Ignores::Edit::changed);
    ASSERT_EQ(Ignores::remove("/Users/me/ok"), Ignores::Edit::changed);
    EXPECT_EQ(readFile(Ignores::fileURL()), std::string(Ignores::header) + "/Users/me/bad\xFF\n/Users/me/new\n");
    Ignores::resetCache();
    EXPECT_TRUE(Ignores::isIgnored("/Users/me/bad\xFF"));
    EXPECT_TRUE(Ignores::isIgnored("/Users/me/new"));
}

// An entry names a place; a link on the way to it does not let the place
// itself, reached by its real path, slip out of the list.
TEST_F(IgnoreList, AnEntryCoversTheRealPathOfThePlaceItNames) {
    const std::filesystem::path real = tmp() / "data/Documents";
    writeFile(real / "thesis.pdf", "precious");
    makeSymlink(tmp() / "data", home() / "Data");
    ASSERT_EQ(Ignores::add("~/Data/Documents"), Ignores::Edit::changed);
    EXPECT_TRUE(Ignores::isIgnored(home() / "Data/Documents/thesis.pdf"));
    EXPECT_TRUE(Ignores::isIgnored(real / "thesis.pdf"));
    EXPECT_TRUE(Ignores::holdsIgnored(tmp() / "data"));
    EXPECT_FALSE(Ignores::isIgnored(tmp() / "data/Other"));
}

// A list that is there but cannot be read fails closed: nothing says what it
// protects, so it is never rewritten without its entries, and every removal
// stops (the removal roads' own tests check that).
TEST_F(IgnoreList, AListThatCannotBeReadIsNeverRewrittenAndSaysWhy) {
    const auto file = Ignores::fileURL();
    makeFolders(file.parent_path());
    struct Case {
        const char* name;
        std::function<void()> make;
        std::string reason;
    } cases[] = {
        {"fifo", [&] { ASSERT_EQ(::mkfifo(file.c_str(), 0644), 0); }, "it is not a regular file"},
        {"folder", [&] { makeFolders(file / "inside"); }, "it is not a regular file"},
        {"link", [&] {
             writeFile(tmp() / "elsewhere.txt", "/Users/me/Keep\n");
             makeSymlink(tmp() / "elsewhere.txt", file);
         }, "a symbolic link stands in its place"},
        {"too large", [&] { allocateFile(file, 17 * 1024 * 1024); }, "it is larger than 16 MB"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::filesystem::remove_all(file);
        c.make();
        Ignores::resetCache();
        EXPECT_EQ(Ignores::unreadable(), c.reason);
        EXPECT_TRUE(Ignores::paths().empty());
        EXPECT_EQ(Ignores::add("/Users/me/New"), Ignores::Edit::unreadable);
        EXPECT_EQ(Ignores::remove("/Users/me/Keep"), Ignores::Edit::unreadable);
        EXPECT_TRUE(existsItself(file));
    }
    std::filesystem::remove_all(file);
    Ignores::resetCache();
    EXPECT_EQ(Ignores::unreadable(), std::nullopt);
}

TEST_F(IgnoreList, AListOnlyRootMayReadIsUnreadableToTheUser) {
    writeFile(Ignores::fileURL(), "/Users/me/Keep\n");
    ::chmod(Ignores::fileURL().c_str(), 0600);
    std::string failure = inUnprivilegedChild([&]() -> std::string {
        Ignores::resetCache();
        if (Ignores::unreadable() != std::optional<std::string>("Permission denied")) return "not reported unreadable";
        if (Ignores::add("/Users/me/New") != Ignores::Edit::unreadable) return "the list was rewritten";
        return "";
    });
    EXPECT_EQ(failure, "");
    EXPECT_EQ(readFile(Ignores::fileURL()), "/Users/me/Keep\n");
}

// However a hand-edited file spells its line ends, and whether an editor put a
// byte-order mark in front, every entry is read, the first one included.
TEST_F(IgnoreList, ByteOrderMarkAndEveryLineEndAreRead) {
    const std::string bom = "\xEF\xBB\xBF";
    const std::vector<std::string> both{"/Users/me/Keep", "/Users/me/Also"};
    struct Case {
        const char* name;
        std::string text;
    } cases[] = {
        {"byte-order mark", bom + "/Users/me/Keep\n/Users/me/Also\n"},
        {"byte-order mark before the header", bom + std::string(Ignores::header) + "/Users/me/Keep\n/Users/me/Also"},
        {"CR alone", "# list\r/Users/me/Keep\r/Users/me/Also\r"},
        {"CR LF", "# list\r\n/Users/me/Keep\r\n\r\n/Users/me/Also\r\n"},
        {"mixed", bom + "/Users/me/Keep\r/Users/me/Also\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        writeFile(Ignores::fileURL(), c.text);
        Ignores::resetCache();
        EXPECT_EQ(Ignores::paths(), both);
        EXPECT_EQ(Ignores::unreadable(), std::nullopt);
        EXPECT_TRUE(Ignores::isIgnored("/Users/me/Keep/cache.db"));
        EXPECT_TRUE(Ignores::isIgnored("/Users/me/Also"));
    }
    // Only a mark at the very start is dropped.
    EXPECT_EQ(Ignores::parse("/a\n" + bom + "/b\n"), (std::vector<std::string>{"/a", bom + "/b"}));
}

// A list holding an entry that names no absolute path stops every removal
// with a reason naming the entry, wherever the entry stands in the list.
TEST_F(IgnoreList, AnEntryThatIsNoAbsolutePathStopsRemovalNamingIt) {
    const auto victim = home() / "Library/Caches/com.example.app";
    writeFile(victim / "blob", "cached");
    for (const std::string& text : {std::string("Documents/Thesis\n/Users/me/Keep\n"),
                                    std::string("/Users/me/Keep\n~no-such-user-here/Thesis\n")}) {
        SCOPED_TRACE(text);
        writeFile(Ignores::fileURL(), text);
        Ignores::resetCache();
        auto why = Ignores::unreadable();
        ASSERT_TRUE(why);
        const std::string bad = text.front() == 'D' ? "Documents/Thesis" : "~no-such-user-here/Thesis";
        EXPECT_EQ(*why, "its entry \"" + bad + "\" is not an absolute path");
        ScanItem item;
        item.url = victim;
        item.name = "com.example.app";
        item.safety = Safety::safe;
        auto outcome = FS::remove({item}, false);
        EXPECT_TRUE(outcome.removed.empty());
        ASSERT_EQ(outcome.failures.size(), 1u);
        EXPECT_EQ(outcome.failures[0].second, "The ignore list cannot be read");
        EXPECT_TRUE(std::filesystem::exists(victim / "blob"));
        // Still an edit can mend it; nothing else on the list is lost.
        EXPECT_EQ(Ignores::add("/Users/me/New"), Ignores::Edit::changed);
        EXPECT_NE(readFile(Ignores::fileURL()).find(bad), std::string::npos);
    }
}

// Another process's edit is heeded at once by a process that read the list
// before: no stale copy lets a removal take what was added meanwhile.
TEST_F(IgnoreList, AnEditByAnotherProcessIsSeenWithoutRestarting) {
    ASSERT_EQ(Ignores::add("/Users/me/Old"), Ignores::Edit::changed);
    EXPECT_FALSE(Ignores::isIgnored("/Users/me/New/x", Ignores::RealPaths::fresh));
    // What another process's write leaves: a new file renamed into place.
    const auto next = Ignores::fileURL().native() + ".other";
    writeFile(next, std::string(Ignores::header) + "/Users/me/New\n/Users/me/Old\n");
    ASSERT_EQ(::rename(next.c_str(), Ignores::fileURL().c_str()), 0);
    EXPECT_TRUE(Ignores::isIgnored("/Users/me/New/x", Ignores::RealPaths::fresh));
    EXPECT_TRUE(Ignores::isIgnored("/Users/me/New/x"));
    // An edit starts from the file, not from what this process last saw.
    ASSERT_EQ(Ignores::add("/Users/me/Third"), Ignores::Edit::changed);
    Ignores::resetCache();
    EXPECT_EQ(Ignores::paths(), (std::vector<std::string>{"/Users/me/New", "/Users/me/Old", "/Users/me/Third"}));
}

namespace {

// Sixteen entries, one per editor, for a round.
std::vector<std::string> roundEntries(int round) {
    std::vector<std::string> out;
    for (int k = 0; k < 16; ++k) out.push_back("/Users/me/round" + std::to_string(round) + "/entry" + std::to_string(k));
    return out;
}

std::string missingFrom(const std::vector<std::string>& wanted) {
    Ignores::resetCache();
    auto got = Ignores::paths();
    const std::set<std::string> have(got.begin(), got.end());
    std::string missing;
    for (const auto& w : wanted)
        if (!have.count(w)) missing += w + " ";
    return missing;
}

}  // namespace

// Sixteen processes add at once, twenty times over: every entry lands.
TEST_F(IgnoreList, SixteenProcessesAddingAtOnceLoseNoEntry) {
    std::vector<std::string> all;
    for (int round = 0; round < 20; ++round) {
        const auto entries = roundEntries(round);
        int gate[2];
        ASSERT_EQ(::pipe(gate), 0);
        std::vector<pid_t> children;
        for (const auto& entry : entries) {
            pid_t pid = ::fork();
            ASSERT_GE(pid, 0);
            if (pid == 0) {
                ::close(gate[1]);
                char c;
                while (::read(gate[0], &c, 1) < 0 && errno == EINTR) {
                }
                _exit(Ignores::add(entry) == Ignores::Edit::changed ? 0 : 1);
            }
            children.push_back(pid);
        }
        ::close(gate[0]);
        ::close(gate[1]);  // every child starts now
        int failed = 0;
        for (pid_t pid : children) {
            int status = 0;
            ASSERT_EQ(::waitpid(pid, &status, 0), pid);
            if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) ++failed;
        }
        EXPECT_EQ(failed, 0) << "round " << round;
        all.insert(all.end(), entries.begin(), entries.end());
        EXPECT_EQ(missingFrom(all), "") << "round " << round;
    }
}

// The same with threads of one process, which take the lock file each for itself.
TEST_F(IgnoreList, SixteenThreadsAddingAtOnceLoseNoEntry) {
    std::vector<std::string> all;
    for (int round = 0; round < 20; ++round) {
        const auto entries = roundEntries(round);
        std::latch start(16);
        std::vector<Ignores::Edit> edits(16, Ignores::Edit::unchanged);
        std::vector<std::thread> threads;
        for (size_t k = 0; k < entries.size(); ++k)
            threads.emplace_back([&, k] {
                start.arrive_and_wait();
                edits[k] = Ignores::add(entries[k]);
            });
        for (auto& t : threads) t.join();
        for (auto e : edits) EXPECT_EQ(e, Ignores::Edit::changed) << "round " << round;
        all.insert(all.end(), entries.begin(), entries.end());
        EXPECT_EQ(missingFrom(all), "") << "round " << round;
    }
}

// A write killed half-way leaves its temporary file beside the list; the next
// write clears it away, and nothing else of that folder.
TEST_F(IgnoreList, TemporaryFilesOfAKilledWriteAreRemovedByTheNextWrite) {
    const auto folder = Ignores::fileURL().parent_path();
    writeFile(folder / "ignore.txt.tmp-a1B2c3", "/Users/me/half");
    writeFile(folder / "ignore.txt.tmp-Z9y8X7", "");
    makeFolders(folder / "ignore.txt.tmp-folder/inside");
    writeFile(folder / "history.jsonl", "{}\n");
    writeFile(folder / "ignore.txt.tmp", "not one of ours");
    ASSERT_EQ(Ignores::add("/Users/me/Keep"), Ignores::Edit::changed);
    EXPECT_FALSE(existsItself(folder / "ignore.txt.tmp-a1B2c3"));
    EXPECT_FALSE(existsItself(folder / "ignore.txt.tmp-Z9y8X7"));
    EXPECT_TRUE(existsItself(folder / "ignore.txt.tmp-folder/inside"));
    EXPECT_TRUE(existsItself(folder / "history.jsonl"));
    EXPECT_TRUE(existsItself(folder / "ignore.txt.tmp"));
    EXPECT_EQ(Ignores::paths(), std::vector<std::string>{"/Users/me/Keep"});
}

// "/" on the list covers the whole disk: nothing is removed, nor offered.
TEST_F(IgnoreList, TheWholeDiskOnTheListCoversEverything) {
    const auto cache = home() / "Library/Caches/com.example.app";
    writeFile(cache / "blob", "cached");
    ASSERT_EQ(Ignores::add("/"), Ignores::Edit::changed);
    for (const std::string& path : std::vector<std::string>{"/", "/x", "/Users/me/Library/Caches/a/b", cache.string()})
        EXPECT_TRUE(Ignores::isIgnored(path)) << path;
    ScanItem item;
    item.url = cache;
    item.name = "com.example.app";
    item.safety = Safety::safe;
    for (bool toTrash : {false, true}) {
        auto outcome = FS::remove({item}, toTrash);
        EXPECT_TRUE(outcome.removed.empty());
        ASSERT_EQ(outcome.failures.size(), 1u);
        EXPECT_EQ(outcome.failures[0].second, "On the ignore list");
    }
    EXPECT_TRUE(existsItself(cache / "blob"));
}

// In a process that lives on (the window), an entry reached through a link
// follows the link as it stands at each removal, not as it stood when the
// list was read.
TEST_F(IgnoreList, AnEntrysRealPathIsLookedUpAgainBeforeEachRemoval) {
    writeFile(home() / "v1/keep/a.txt", "one");
    writeFile(home() / "v2/keep/b.txt", "two");
    makeSymlink(home() / "v1", home() / "Cur");
    ASSERT_EQ(Ignores::add("~/Cur/keep"), Ignores::Edit::changed);
    EXPECT_TRUE(Ignores::isIgnored(home() / "v1/keep"));
    std::filesystem::remove(home() / "Cur");
    makeSymlink(home() / "v2", home() / "Cur");

    ScanItem item;
    item.url = home() / "v2/keep";
    item.name = "keep";
    item.safety = Safety::safe;
    for (bool toTrash : {false, true}) {
        auto outcome = FS::remove({item}, toTrash);
        EXPECT_TRUE(outcome.removed.empty());
        ASSERT_EQ(outcome.failures.size(), 1u);
        EXPECT_EQ(outcome.failures[0].second, "On the ignore list");
    }
    EXPECT_EQ(readFile(home() / "v2/keep/b.txt"), "two");
}
