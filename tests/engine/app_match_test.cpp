#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "engine/app_match.h"

using AppMatch::App;

namespace {

// What a name is to the application it is judged for.
enum class Fate {
    none,     // not that application's at all
    ticked,   // named after it: taken with it unless the user unticks it
    listed,   // offered, unticked: only part of its name matches, or another copy matches as well
    others,   // another installed application matches it more exactly
};

const char* text(Fate f) {
    switch (f) {
        case Fate::none: return "none";
        case Fate::ticked: return "ticked";
        case Fate::listed: return "listed";
        case Fate::others: return "others";
    }
    return "?";
}

Fate fateOf(const AppMatch::Judgement& j) {
    if (j.mine.kind == AppMatch::Kind::none) return Fate::none;
    if (j.owner) return Fate::others;
    return j.mine.exact() && !j.shared ? Fate::ticked : Fate::listed;
}

App app(std::string name, std::string id, std::string path) { return App{std::move(name), std::move(id), path}; }

}  // namespace

TEST(AppMatch, LeftoverTable) {
    const App line = app("Line", "jp.naver.line.mac", "/Applications/Line.app");
    const App comA = app("A", "com.a", "/Applications/A.app");
    const App chrome = app("Google Chrome", "com.google.Chrome", "/Applications/Google Chrome.app");
    const App canary = app("Google Chrome Canary", "com.google.Chrome.canary", "/Applications/Google Chrome Canary.app");
    const App notes = app("Notes", "com.example.notes", "/Applications/Notes.app");
    const App notesCopy = app("Notes", "com.example.notes", "/Users/me/Applications/Notes.app");
    const App backupApp = app("Notes Backup", "com.backup.notes-backup", "/Applications/Notes Backup.app");
    const App go = app("Go", "io.go", "/Applications/Go.app");
    const App noID = app("Notes", "", "/Applications/Notes.app");
    const App safari = app("Safari", "com.apple.Safari", "/Applications/Safari.app");
    const App mail = app("Mail", "com.apple.mail", "/System/Applications/Mail.app");
    const App acrobat = app("Adobe Acrobat", "com.adobe.Acrobat", "/Applications/Adobe Acrobat.app");

    struct Case {
        App removed;
        std::vector<App> installed;
        std::string name;
        Fate fate;
    };
    const std::vector<App> apple = {safari, mail, acrobat};
    const std::vector<Case> cases = {
        // A name matches as whole words only.
        {line, {}, "Offline Maps", Fate::none},
        {line, {}, "com.example.pipeline", Fate::none},
        {line, {}, "Lineage", Fate::none},
        {line, {}, "Line", Fate::ticked},
        {line, {}, "LINE.savedState", Fate::ticked},
        {line, {}, "Line Helper", Fate::listed},
        {line, {}, "jp.naver.line.mac", Fate::ticked},
        {line, {}, "jp.naver.line.mac.plist", Fate::ticked},
        {line, {}, "jp.naver.line.macos", Fate::listed},  // not the identifier; "line" is one of its words
        // An identifier matches itself or up to a dot, never as the start of a longer word.
        {comA, {}, "com.apple.Safari", Fate::none},
        {comA, {}, "com.apple.mail", Fate::none},
        {comA, {}, "com.adobe.Acrobat", Fate::none},
        {comA, apple, "com.apple.Safari", Fate::none},
        {comA, apple, "com.apple.mail", Fate::none},
        {comA, apple, "com.adobe.Acrobat", Fate::none},
        {comA, {}, "com.apps.plist", Fate::none},
        {comA, {}, "com.a", Fate::ticked},
        {comA, {}, "com.a.plist", Fate::ticked},
        {comA, {}, "group.com.a", Fate::ticked},
        // What another installed application names more exactly is that one's.
        {chrome, {canary}, "com.google.Chrome", Fate::ticked},
        {chrome, {canary}, "com.google.Chrome.plist", Fate::ticked},
        {chrome, {canary}, "com.google.Chrome.helper", Fate::ticked},
        {chrome, {canary}, "com.google.Chrome.canary", Fate::others},
        {chrome, {canary}, "com.google.Chrome.canary.plist", Fate::others},
        {chrome, {canary}, "Google Chrome Canary", Fate::others},
        {chrome, {canary}, "Google Chrome", Fate::ticked},
        {chrome, {canary}, "Google Chrome Helper", Fate::listed},
        {chrome, {}, "com.google.Chrome.canary", Fate::ticked},  // without Canary installed it is Chrome's
        {canary, {chrome}, "com.google.Chrome", Fate::none},
        {canary, {chrome}, "com.google.Chrome.canary.plist", Fate::ticked},
        {notes, {backupApp}, "Notes Backup", Fate::others},
        // The examples of one application's own files.
        {notes, {}, "com.example.notes", Fate::ticked},
        {notes, {}, "COM.Example.Notes.plist", Fate::ticked},
        {notes, {}, "com.example.Notes.Share", Fate::ticked},
        {notes, {}, "com.example.notes.savedState", Fate::ticked},
        {notes, {}, "ABCDE12345.com.example.notes", Fate::ticked},
        {notes, {}, "Notes_2024-01-02-103000_Mac.crash", Fate::ticked},
        {notes, {}, "Notes Backup", Fate::listed},  // was ticked for merely containing "notes"
        {notes, {}, "com.example.notesy", Fate::none},
        {notes, {}, "MyNotes", Fate::none},
        // Another copy of the same application shares its files: the user decides.
        {notes, {notes, notesCopy}, "com.example.notes.plist", Fate::listed},
        {notes, {notes}, "com.example.notes.plist", Fate::ticked},  // the bundle removed is not another
        // Short names match only through the identifier; an identifier that is
        // not specific matches nothing.
        {go, {}, "io.go.plist", Fate::ticked},
        {go, {}, "igo.db", Fate::none},
        {go, {}, "go.plist", Fate::none},
        {go, {}, "Go", Fate::none},
        {noID, {}, "Notes", Fate::ticked},
        {noID, {}, "com.example.tool", Fate::none},
        {app("Notes", "com", "/A/Notes.app"), {}, "com.example.tool", Fate::none},
    };
    for (const auto& c : cases) {
        const AppMatch::Matcher matcher(c.removed, c.installed);
        const Fate got = fateOf(matcher.judge(c.name));
        EXPECT_EQ(got, c.fate) << c.removed.name << " (" << c.removed.bundleID << ") / \"" << c.name
                               << "\": " << text(got) << ", expected " << text(c.fate);
    }
}

TEST(AppMatch, TheOwnerAndTheSharerAreNamed) {
    const App chrome = app("Google Chrome", "com.google.Chrome", "/Applications/Google Chrome.app");
    const App canary = app("Google Chrome Canary", "com.google.Chrome.canary", "/Applications/Google Chrome Canary.app");
    const App copy = app("Google Chrome", "com.google.Chrome", "/Backup/Google Chrome.app");
    const AppMatch::Matcher matcher(chrome, {canary, copy});
    auto j = matcher.judge("com.google.Chrome.canary.savedState");
    ASSERT_TRUE(j.owner);
    EXPECT_EQ(j.owner->url, canary.url);
    j = matcher.judge("com.google.Chrome");
    EXPECT_FALSE(j.owner);
    ASSERT_TRUE(j.shared);
    EXPECT_EQ(j.shared->url, copy.url);
}

TEST(AppMatch, IdentifierMatchesAtADotOnly) {
    struct Case {
        const char* name;
        const char* identifier;
        bool matches;
    } cases[] = {
        {"com.example.notes", "com.example.notes", true},   {"com.example.notes.agent", "com.example.Notes", true},
        {"group.com.example.notes", "com.example.notes", true}, {"UBF8T346G9.com.example.notes", "com.example.notes", true},
        {"com.example.notesy", "com.example.notes", false}, {"x.com.example.notes", "com.example.notes", false},
        {"com.apple.Safari", "com.a", false},               {"com.a.b", "com.a", true},
        {"anything", "", false},                            {"com.x", "com", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(AppMatch::identifierMatches(c.name, c.identifier), c.matches) << c.name << " / " << c.identifier;
}

TEST(AppMatch, SpecificIdentifiers) {
    for (const char* id : {"io.go", "com.example.notes", "Foo.app", "a.b"}) EXPECT_TRUE(AppMatch::isSpecific(id)) << id;
    for (const char* id : {"", "com", ".", "com.", ".com", " . ", "Foobar"}) EXPECT_FALSE(AppMatch::isSpecific(id)) << id;
}

TEST(AppMatch, OwnerIdentifierDropsGroupAndTeamPrefixes) {
    EXPECT_EQ(AppMatch::ownerIdentifier("group.com.apple.notes"), "com.apple.notes");
    EXPECT_EQ(AppMatch::ownerIdentifier("UBF8T346G9.com.example.shared"), "com.example.shared");
    EXPECT_EQ(AppMatch::ownerIdentifier("group.UBF8T346G9.com.example.shared"), "com.example.shared");
    EXPECT_EQ(AppMatch::ownerIdentifier("com.example.Editor"), "com.example.Editor");
    EXPECT_EQ(AppMatch::ownerIdentifier("groups.com.example.x"), "groups.com.example.x");
}

TEST(AppMatch, InstalledIdentifiersOwnTheirParentsAndWhatLiesBelowThem) {
    std::set<std::string> installed = {"com.example.Editor", ""};
    EXPECT_TRUE(AppMatch::isOwned("com.example.Editor", installed));
    EXPECT_TRUE(AppMatch::isOwned("com.example", installed));                     // parent of an installed app
    EXPECT_TRUE(AppMatch::isOwned("com.example.Editor.ShareExtension", installed));  // an app's extension
    EXPECT_FALSE(AppMatch::isOwned("com.example.editor", installed));             // case matters
    EXPECT_FALSE(AppMatch::isOwned("com.example.EditorPro", installed));
    EXPECT_FALSE(AppMatch::isOwned("com.exam", installed));
    // An empty installed identifier owns nothing, and an empty candidate is owned by nothing.
    EXPECT_FALSE(AppMatch::isOwned("com.other.Thing", {""}));
    EXPECT_FALSE(AppMatch::isOwned("", installed));
    // Composed and decomposed forms of one identifier are the same identifier.
    EXPECT_TRUE(AppMatch::isOwned("com.caf\u00e9.App", {"com.cafe\u0301.App"}));
}
