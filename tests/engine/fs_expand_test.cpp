#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>

#include "engine/fs.h"
#include "support/bind_mount.h"
#include "support/test_env.h"
#include "support/unprivileged.h"

using namespace testing_support;
namespace fs = std::filesystem;

class FSExpand : public TestEnv {
protected:
    // The expansion of a pattern below a base folder, as paths relative to the base.
    static std::vector<std::string> names(const fs::path& base, const std::string& pattern) {
        std::vector<std::string> out;
        for (const auto& p : FS::expand(base, pattern)) out.push_back(p.lexically_relative(base).string());
        std::sort(out.begin(), out.end());
        return out;
    }
};

TEST_F(FSExpand, Table) {
    writeFile(tmp() / "a/b/x", "x");
    writeFile(tmp() / "a/b/.hidden", "h");
    writeFile(tmp() / "a/b/.DS_Store", "d");
    writeFile(tmp() / "a/file", "f");
    writeFile(tmp() / "dl/Setup.dmg", "1");
    writeFile(tmp() / "dl/.Secret.dmg", "2");
    writeFile(tmp() / "dl/notes.txt", "3");
    writeFile(tmp() / "Mail/V10/MailData/Attachments/1/a.pdf", "p");
    writeFile(tmp() / "Mail/V9/MailData/Attachments/2/b.pdf", "p");
    writeFile(tmp() / "Mail/.Hidden/MailData/Attachments/3/c.pdf", "p");
    writeFile(tmp() / "Mail/.DS_Store", "d");
    writeFile(tmp() / "outside/MailData/Attachments/evil/keep.pdf", "k");
    makeSymlink(tmp() / "outside", tmp() / "Mail/Linked");
    // A fixed folder after a wildcard that is a link leads nowhere either.
    writeFile(tmp() / "outside/Attachments/evil2/keep.pdf", "k");
    makeFolders(tmp() / "Mail/V8");
    makeSymlink(tmp() / "outside", tmp() / "Mail/V8/MailData");

    struct Case {
        std::string pattern;
        std::vector<std::string> expected;
    } cases[] = {
        {"a/b/*", {"a/b/.hidden", "a/b/x"}},
        {"a/b", {"a/b"}},
        {"a/file", {"a/file"}},
        {"a/file/*", {}},
        {"missing/*", {}},
        {"missing", {}},
        {"dl/*.dmg", {"dl/Setup.dmg"}},
        {"dl/.*.dmg", {"dl/.Secret.dmg"}},
        {"dl/*.iso", {}},
        {"Mail/*/MailData/Attachments/*", {"Mail/V10/MailData/Attachments/1", "Mail/V9/MailData/Attachments/2"}},
        {"Mail/*/MailData", {"Mail/V10/MailData", "Mail/V8/MailData", "Mail/V9/MailData"}},
        {"Mail/*", {"Mail/.Hidden", "Mail/Linked", "Mail/V10", "Mail/V8", "Mail/V9"}},
    };
    for (const auto& c : cases) {
        auto expected = c.expected;
        std::sort(expected.begin(), expected.end());
        EXPECT_EQ(names(tmp(), c.pattern), expected) << c.pattern;
    }
}

// A catalog folder, or a whole catalog root, that someone replaced by a link
// to a folder of documents: the documents are never offered. A rule naming the
// link itself gets the link, which a removal takes away as a link.
TEST_F(FSExpand, LinkedFoldersOfARuleAreNeverLookedThrough) {
    const fs::path documents = tmp() / "Documents";
    writeFile(documents / "thesis.pdf", "precious");
    writeFile(documents / "folder/notes.txt", "precious");
    const fs::path h = home();
    makeFolders(h / "Library/Caches");
    makeSymlink(documents, h / "Library/Caches/com.apple.Safari");
    makeFolders(h / "Other/Library");
    makeSymlink(documents, h / "Other/Library/Caches");
    makeSymlink(documents, h / "Linked");

    struct Case {
        std::string pattern;
        std::vector<std::string> expected;
    } cases[] = {
        {"Library/Caches/com.apple.Safari/*", {}},                   // the rule's folder is a link
        {"Library/Caches/com.apple.Safari/folder", {}},              // a plain item below it
        {"Library/Caches/com.apple.Safari/*.pdf", {}},
        {"Library/Caches/com.apple.Safari", {"Library/Caches/com.apple.Safari"}},  // the link itself
        {"Other/Library/Caches/*", {}},                              // the catalog root is a link
        {"Other/Library/Caches/thesis.pdf", {}},
        {"Linked/Library/Caches/*", {}},                             // a folder further up is a link
        {"*/thesis.pdf", {}},                                        // a matched folder is a link
    };
    for (const auto& c : cases) EXPECT_EQ(names(h, c.pattern), c.expected) << c.pattern;
}

// The home folder (or the system root) is a literal folder: whatever its name
// holds, only the rule's own segments are patterns.
TEST_F(FSExpand, TheBaseFolderIsLiteralWhateverItsNameHolds) {
    for (const std::string name : {"h-[x]", "h-*", "h-?", "h-]", "[a-z]", "*"}) {
        SCOPED_TRACE(name);
        const fs::path base = tmp() / name;
        writeFile(base / "Library/Logs/app.log", "log");
        writeFile(base / "Library/Logs/other.log", "log");
        writeFile(base / "Downloads/Setup.dmg", "dmg");
        // A neighbour the brackets or stars would match, were they patterns.
        writeFile(tmp() / "h-a/Library/Logs/decoy.log", "decoy");

        EXPECT_EQ(names(base, "Library/Logs/*"), (std::vector<std::string>{"Library/Logs/app.log", "Library/Logs/other.log"}));
        EXPECT_EQ(names(base, "Library/Logs/app.log"), (std::vector<std::string>{"Library/Logs/app.log"}));
        EXPECT_EQ(names(base, "Downloads/*.dmg"), (std::vector<std::string>{"Downloads/Setup.dmg"}));
        EXPECT_EQ(names(base, "Library/*/app.log"), (std::vector<std::string>{"Library/Logs/app.log"}));
        EXPECT_EQ(FS::patternBase(base, "Library/Logs/*"), (base / "Library/Logs").string());
        fs::remove_all(base);
    }
}

TEST_F(FSExpand, AFolderOnAnotherMountIsNotEntered) {
    writeFile(tmp() / "elsewhere/secret.txt", "s");
    writeFile(home() / "Library/Caches/app/own.cache", "c");
    BindMount mount(tmp() / "elsewhere", home() / "Library/Caches/mounted");
    REQUIRE_BIND_MOUNT(mount);
    EXPECT_EQ(names(home(), "Library/Caches/*/*"), (std::vector<std::string>{"Library/Caches/app/own.cache"}));
    EXPECT_EQ(names(home(), "Library/Caches/mounted/*"), std::vector<std::string>{});
    // The mount point itself is an entry of its folder, as any folder is.
    EXPECT_EQ(names(home(), "Library/Caches/*"),
              (std::vector<std::string>{"Library/Caches/app", "Library/Caches/mounted"}));
}

TEST_F(FSExpand, UnlistableBaseExpandsToNothing) {
    writeFile(tmp() / "locked/inside", "x");
    ::chmod((tmp() / "locked").c_str(), 0);
    std::string failure = inUnprivilegedChild([&]() -> std::string {
        if (!FS::expand(tmp(), "locked/*").empty()) return "listed a folder it may not read";
        if (FS::canList(tmp() / "locked")) return "canList was true for an unreadable folder";
        if (!FS::expand(tmp(), "locked/*.txt").empty()) return "globbed inside an unreadable folder";
        return "";
    });
    EXPECT_EQ(failure, "");
}

TEST(FSPatternBase, FixedLeadingFolder) {
    EXPECT_EQ(FS::patternBase("/h", "Library/Caches/*"), "/h/Library/Caches");
    EXPECT_EQ(FS::patternBase("/h", "Downloads/*.dmg"), "/h/Downloads");
    EXPECT_EQ(FS::patternBase("/h", "Library/Mail/*/MailData/Attachments/*"), "/h/Library/Mail");
    EXPECT_EQ(FS::patternBase("/h", "Library/Safari/History.db"), "/h/Library/Safari/History.db");
    EXPECT_EQ(FS::patternBase("/h[1]", "Library/Logs/*"), "/h[1]/Library/Logs");
}
