#pragma once
// Whether a file, folder or job belongs to an application, told by its name.
// Applications name what they leave behind after their bundle identifier
// (com.example.Notes.plist, group.com.example.Notes) or after their own name
// ("Notes" in Application Support). A match that merely contains the name or
// runs on past the identifier ("Offline Maps" for Line, com.apple.Safari for
// com.a) is someone else's, so names match only as whole words and
// identifiers only up to a dot; and what another installed application
// matches more exactly is that application's.
#include <cstddef>
#include <filesystem>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace AppMatch {

// Whether the identifier names one application narrowly enough to find its
// files and jobs by it: at least two non-blank dot-separated parts ("io.go",
// "com.example.notes", or the "Foo.app" a bundle without an identifier falls
// back to). An empty identifier or a single word such as "com" would match
// every file or job that merely contains it.
bool isSpecific(std::string_view identifier);

// The identifier a name stands for once what several applications of one
// vendor share is taken off: a group container's "group." prefix and a team
// identifier ("ABCDE12345.com.example.shared" gives "com.example.shared").
// Empty when nothing is left.
std::string ownerIdentifier(std::string_view name);

// Whether an installed application owns the identifier (letter case as
// written): the identifier itself, one below it (com.example for
// com.example.Editor), or one it lies below (an extension
// com.example.Editor.Share of com.example.Editor). An empty identifier on
// either side owns nothing.
bool isOwned(std::string_view identifier, const std::set<std::string>& installedIDs);

// The same test for many identifiers against one set of installed ones.
class Owners {
public:
    explicit Owners(const std::set<std::string>& installedIDs);
    bool owns(std::string_view identifier) const;

private:
    std::set<std::string> ids_;  // composed, empty ones left out
};

// Whether the name is the identifier, or the identifier followed by a dot and
// more (com.example.notes.plist, com.example.Notes.Share), letter case
// ignored, once a group or team prefix is taken off. An identifier that is not
// specific matches nothing.
bool identifierMatches(std::string_view name, std::string_view identifier);

// An application a name is compared with.
struct App {
    std::string name;      // "Notes" for Notes.app
    std::string bundleID;  // as the bundle gives it, or the fallback "Notes.app"
    std::filesystem::path url;
};

// How a name matches an application, weakest first.
enum class Kind {
    none,
    words,       // the application's name as whole words of it ("Notes Backup" for Notes)
    name,        // the application's name itself ("Notes", "Notes.plist", "Notes_2024-01-02.crash")
    identifier,  // the identifier, or the identifier and a dot-suffix
};

struct Match {
    Kind kind = Kind::none;
    // Within a kind, the longer the identifier or the more words of the name
    // matched, the more exactly it names the application.
    size_t weight = 0;

    // What is named after the application itself, and may be taken with it
    // unasked; a match of whole words only is the user's to decide.
    bool exact() const { return kind == Kind::name || kind == Kind::identifier; }
    bool operator==(const Match&) const = default;
    auto operator<=>(const Match& other) const {
        if (kind != other.kind) return kind <=> other.kind;
        return weight <=> other.weight;
    }
};

// How the name (a file or folder name, a job label) matches the application.
// Names shorter than four characters match only through the identifier.
Match match(std::string_view name, const App& app);

// What a name is to the application it is looked at for, beside the other
// installed applications.
struct Judgement {
    Match mine;
    // Another application matches it more exactly: it is that one's, never
    // this one's.
    const App* owner = nullptr;
    // Another application matches it just as exactly (another copy of the
    // same application, say): it may be either's.
    const App* shared = nullptr;
};

// Judges names for one application among the installed ones, each
// application prepared once. An installed application that is the one judged
// for (the same bundle, by its path or where the path leads) does not count.
class Matcher {
public:
    Matcher(const App& app, const std::vector<App>& installed);
    ~Matcher();
    Matcher(Matcher&&) noexcept;
    Matcher& operator=(Matcher&&) noexcept;

    Judgement judge(std::string_view name) const;

private:
    struct Prepared;
    std::vector<Prepared> apps_;  // the application judged for first, then the others
    std::vector<App> others_;
};

}  // namespace AppMatch
