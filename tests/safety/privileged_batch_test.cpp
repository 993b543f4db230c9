// The privileged batch runs as root: no character of a path may reach the
// shell unquoted, and a batch that names the whole disk or a relative path
// never runs.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <functional>
#include <memory>

#include "engine/admin.h"
#include "engine/fs.h"
#include "engine/ignores.h"
#include "platform/file_facts.h"
#include "platform/locations.h"
#include "platform/reach.h"
#include "platform/user.h"
#include "safety/removal_safety.h"
#include "support/measured.h"
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

// A location as the user's side names it: device, inode and real path.
std::string located(const fs::path& folder) {
    struct stat st{};
    EXPECT_EQ(::stat(folder.c_str(), &st), 0) << folder;
    return std::to_string(st.st_dev) + " " + std::to_string(st.st_ino) + " " + folder.native();
}

// The line naming the object at a path now, as the user's side writes it
// (a path with nothing there names no object any file has).
std::string measuredLine(const fs::path& path) {
    const MeasuredObject m = measureObject(path).value_or(MeasuredObject{});
    const char* type = m.type == FileType::directory ? "d"
                       : m.type == FileType::regular ? "f"
                       : m.type == FileType::symlink ? "l"
                                                     : "o";
    return std::string("measured ") + type + " " + std::to_string(m.identity.device) + " " +
           std::to_string(m.identity.inode) + " " + std::to_string(m.size) + " " + std::to_string(m.modified.tv_sec) +
           " " + std::to_string(m.modified.tv_nsec) + "\n";
}

// A request as the user's side writes it, for the root side run here.
std::string requestFor(const fs::path& home, const std::vector<fs::path>& locations,
                       const std::vector<fs::path>& paths, uid_t uid = ::getuid()) {
    std::string request = "vessiltane-removal 3\nuid " + std::to_string(uid) + "\nroot " + Locations::root() +
                          "\nhome " + located(home) + "\n";
    for (const auto& l : locations) request += "location " + located(l) + "\n";
    for (const auto& p : paths) request += measuredLine(p) + "path " + p.native() + "\n";
    return request;
}

constexpr const char* kChanged = "The location changed while waiting for approval";
constexpr const char* kOther = "Not attempted: the location of another item in the batch could not be trusted";

// A backend that must never be reached: the batch is refused before any prompt.
std::shared_ptr<int> countRuns() {
    auto runs = std::make_shared<int>(0);
    Admin::setPrivilegedBackendForTesting([runs](const fs::path&, const std::optional<std::string>&) {
        ++*runs;
        return Admin::Result{};
    });
    return runs;
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

    auto out = Admin::removeAsRoot(measuredNow(batch));
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
    const std::string measured = measuredLine(p);
    auto out = Admin::removeAsRoot(measuredNow({p}));
    ASSERT_EQ(out.removed.size(), 1u);
    ASSERT_EQ(log->scripts.size(), 1u);
    EXPECT_EQ(log->scripts[0], "#!/bin/sh\nset -u\nexec '" + tmp().native() + "/it'\\''s the $(helper)' " +
                                   "'--privileged-removal' <<'VESSILTANE-REMOVAL-REQUEST'\n" +
                                   "vessiltane-removal 3\nuid " + std::to_string(::getuid()) + "\nroot " +
                                   root().native() + "\nhome " + located(home()) + "\nlocation " +
                                   located(sys("/Library")) + "\n" + measured + "path " + p.native() +
                                   "\nVESSILTANE-REMOVAL-REQUEST\n");
    EXPECT_FALSE(existsItself(p));
    EXPECT_FALSE(anyPwned(tmp()));
}

// Root may remove anything, so the root side tells another user's trash folder
// by the user who asked, not by its own uid.
TEST_F(PrivilegedBatch, TheRootSideLeavesAnotherUsersTrashToThem) {
    const fs::path trashes = sys("/Volumes/Backup/.Trashes");
    User::setUidForTesting(777);
    for (uid_t asker : {uid_t(501), uid_t(502)}) {
        writeFile(trashes / "501/film.mov", "501's");
        writeFile(trashes / "502/film.mov", "502's");
        ASSERT_EQ(::chown(home().c_str(), asker, gid_t(-1)), 0);  // the home of the user who asks
        auto run = Admin::runPrivilegedRemoval(
            requestFor(home(), {sys("/Volumes")}, {trashes / "501/film.mov", trashes / "502/film.mov", trashes}, asker));
        EXPECT_EQ(run.output, asker == 501 ? "removed 0\nfailed 1 Protected item\nfailed 2 Protected item\n"
                                           : "failed 0 Protected item\nremoved 1\nfailed 2 Protected item\n");
        EXPECT_EQ(existsItself(trashes / "501/film.mov"), asker != 501);
        EXPECT_EQ(existsItself(trashes / "502/film.mov"), asker != 502);
        EXPECT_EQ(User::uid(), 777u) << "the user side's own user is back";
    }
}

// The root side reads its request and says what became of each path, by its
// place in the request; what the rules refuse it refuses again itself: a
// folder holding an ignored or a protected place too. It takes the ignore
// list from the home the request names, not from its own environment, whose
// HOME is root's under the authorization tool.
TEST_F(PrivilegedBatch, TheRootSideChecksAndReportsEachPath) {
    const fs::path gone = sys("/Library/Caches/gone");
    const fs::path cache = sys("/Library/Caches/com.example.cache");
    writeFile(cache / "blob", "b");
    writeFile(tmp() / "elsewhere/precious", "p");
    makeSymlink(tmp() / "elsewhere", sys("/Library/Caches/linked"));
    const fs::path ignored = sys("/Library/Caches/ignored");
    writeFile(ignored / "keep", "k");
    const fs::path keeper = sys("/Library/Caches/com.example.keeper");
    writeFile(keeper / "keep/data", "kept");
    writeFile(keeper / "other.cache", "o");
    const fs::path var = sys("/private/var");
    writeFile(var / "db/system.db", "system");
    writeFile(var / "log/old.log", "log");
    writeFile(sys("/System/Library/x"), "s");
    ASSERT_EQ(Ignores::add(ignored.native()), Ignores::Edit::changed);
    ASSERT_EQ(Ignores::add((keeper / "keep").native()), Ignores::Edit::changed);
    const fs::path rootsHome = tmp() / "var-root";
    makeFolders(rootsHome);
    ::setenv("HOME", rootsHome.c_str(), 1);
    Ignores::resetCache();

    const std::string request =
        requestFor(home(), {sys("/Library"), sys("/System"), sys("/private")},
                   {cache, gone, sys("/Library/Caches/linked/precious"), ignored, sys("/System/Library"), keeper, var});
    auto run = Admin::runPrivilegedRemoval(request);
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.output, "removed 0\ngone 1\nfailed 2 A folder on its path is a symbolic link\n"
                          "failed 3 On the ignore list\nfailed 4 Protected item\nfailed 5 On the ignore list\n"
                          "failed 6 Protected item\n");
    EXPECT_FALSE(existsItself(cache));
    EXPECT_EQ(readFile(tmp() / "elsewhere/precious"), "p");
    EXPECT_EQ(readFile(ignored / "keep"), "k");
    EXPECT_EQ(readFile(keeper / "keep/data"), "kept");
    EXPECT_EQ(readFile(var / "db/system.db"), "system");
    EXPECT_EQ(readFile(var / "log/old.log"), "log");

    const std::string head = "vessiltane-removal 3\nuid 0\nroot \nhome " + located(home()) + "\n";
    const std::string object = "measured d 1 2 0 0 0\n";
    for (const std::string& bad : std::vector<std::string>{std::string(), "vessiltane-removal 1\nhome /h\nroot \npath /x\n",
                                  "vessiltane-removal 3\nroot \nhome " + located(home()) + "\n",
                                  // the form before paths carried what was measured at them
                                  "vessiltane-removal 2\nuid 0\nroot \nhome " + located(home()) + "\npath /a\n",
                                  head + "location 1 2\n", head + "location x 2 /Library\n",
                                  head + object + "path relative\n", head + "rm -rf /\n",
                                  head + object + "path /a\nlocation " + located(home()) + "\n",
                                  head + "path /a\n", head + object, head + object + object + "path /a\n",
                                  head + "measured x 1 2 0 0 0\npath /a\n", head + "measured d 1 2 0 0\npath /a\n",
                                  head + "measured f 1 2 0 0 1000000000\npath /a\n"}) {
        auto refused = Admin::runPrivilegedRemoval(bad);
        EXPECT_EQ(refused.status, 2) << bad;
    }
}

// What the root side refuses before it removes anything: a location that is
// not the folder the user's side saw, or that is named through a link (even
// one leading to that folder), a home that does not belong to the user who
// asks, a request whose user is not the one the authorization tool says asked.
// A path in none of the locations named is never reached.
TEST_F(PrivilegedBatch, TheRootSideRefusesALocationItCannotTrust) {
    const fs::path mine = home() / "Library/Caches/com.example.mine";
    const fs::path system = sys("/Library/Caches/com.example.cache");
    writeFile(mine / "blob", "m");
    writeFile(system / "blob", "s");
    makeSymlink(sys("/Library"), tmp() / "library-link");
    struct stat st{};
    ASSERT_EQ(::stat(sys("/Library").c_str(), &st), 0);
    const std::string otherInode = std::to_string(st.st_dev) + " " + std::to_string(st.st_ino + 1) + " ";

    const std::string good = requestFor(home(), {sys("/Library")}, {mine, system});
    std::string moved = good;
    moved.replace(moved.find(located(sys("/Library"))), located(sys("/Library")).size(),
                  otherInode + sys("/Library").native());
    std::string throughLink = good;
    throughLink.replace(throughLink.find(located(sys("/Library"))), located(sys("/Library")).size(),
                        located(tmp() / "library-link"));
    throughLink.replace(throughLink.find("path " + system.native()), ("path " + system.native()).size(),
                        "path " + (tmp() / "library-link/Caches/com.example.cache").native());

    struct Case {
        const char* what;
        std::string request;
        const char* asker;  // PKEXEC_UID, when the authorization tool sets it
        std::string output;
    } cases[] = {
        {"another folder in its place", moved, nullptr,
         std::string("failed 0 ") + kOther + "\nfailed 1 " + kChanged + "\n"},
        {"named through a link", throughLink, nullptr,
         std::string("failed 0 ") + kOther + "\nfailed 1 " + kChanged + "\n"},
        {"the home of someone else", requestFor(home(), {sys("/Library")}, {mine, system}, 12345), nullptr,
         std::string("failed 0 The home folder does not belong to the user who asked\nfailed 1 ") + kOther + "\n"},
        {"asked by someone else", good, "12345",
         "failed 0 The request does not come from the user it names\n"
         "failed 1 The request does not come from the user it names\n"},
    };
    for (const auto& c : cases) {
        if (c.asker) ::setenv("PKEXEC_UID", c.asker, 1);
        auto run = Admin::runPrivilegedRemoval(c.request);
        ::unsetenv("PKEXEC_UID");
        EXPECT_EQ(run.status, 0) << c.what;
        EXPECT_EQ(run.output, c.output) << c.what;
        EXPECT_EQ(readFile(mine / "blob"), "m") << c.what;
        EXPECT_EQ(readFile(system / "blob"), "s") << c.what;
    }

    // Only what lies in a location the request names is reached at all.
    auto run = Admin::runPrivilegedRemoval(requestFor(home(), {}, {system, mine}));
    EXPECT_EQ(run.output, "failed 0 Not inside a location the request names\nremoved 1\n");
    EXPECT_EQ(readFile(system / "blob"), "s");
    EXPECT_FALSE(existsItself(mine));
}

// A location root is trusted only where no one but root and the user can
// change what leads to it: every folder from "/" down to it owned by one of
// them and writable by no one else, a sticky folder (as /tmp) only when the
// next folder in it is theirs too. Both sides judge so; the user's side before
// any prompt.
TEST_F(PrivilegedBatch, ALocationAnotherUserCouldChangeIsRefused) {
    struct Case {
        const char* what;
        std::function<void(const fs::path& base)> arrange;
        const char* atFault;  // below the case's folder; nullptr when the batch may run
        bool systemItem = false;
    } cases[] = {
        {"a folder above the home owned by another user", [](const fs::path& b) { ::chown((b / "above").c_str(), 12345, 12345); }, "above"},
        {"a folder above the home its group may write", [](const fs::path& b) { ::chmod((b / "above").c_str(), 0775); }, "above"},
        {"a folder above the home anyone may write", [](const fs::path& b) { ::chmod((b / "above").c_str(), 0757); }, "above"},
        {"a sticky folder above the home, the next folder the user's", [](const fs::path& b) { ::chmod((b / "above").c_str(), 01777); }, nullptr},
        {"a sticky folder above the home, the next folder another's",
         [](const fs::path& b) {
             ::chmod((b / "above").c_str(), 01777);
             ::chown((b / "above/mid").c_str(), 12345, 12345);
         },
         "above"},
        {"a folder above the system root anyone may write", [](const fs::path& b) { ::chmod((b / "disk").c_str(), 0777); }, "disk", true},
        {"the system's location root its group may write", [](const fs::path& b) { ::chmod((b / "disk/root/Library").c_str(), 0775); }, "disk/root/Library", true},
    };
    int index = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const fs::path base = tmp() / ("case" + std::to_string(index++));
        const fs::path home = base / "above/mid/home";
        const fs::path item = c.systemItem ? base / "disk/root/Library/Caches/com.example.cache"
                                           : home / "Library/Caches/com.example.cache";
        writeFile(item / "blob", "b");
        makeFolders(home);
        makeFolders(base / "disk/root/Library");
        ::setenv("HOME", home.c_str(), 1);
        Locations::setRoot((base / "disk/root").native());
        Ignores::resetCache();
        c.arrange(base);

        auto runs = countRuns();
        auto out = Admin::removeAsRoot(measuredNow({item}));
        const std::vector<fs::path> locations = {sys("/Library")};
        auto run = Admin::runPrivilegedRemoval(requestFor(home, locations, {item}));
        if (!c.atFault) {
            EXPECT_EQ(*runs, 1);
            EXPECT_EQ(run.output, "removed 0\n");
            continue;
        }
        const std::string why = "A folder on the way to it can be changed by another user: " + (base / c.atFault).native();
        EXPECT_EQ(*runs, 0) << "a batch that will be refused shows no prompt";
        EXPECT_EQ(out.failed, std::vector<std::string>{item.native()});
        EXPECT_EQ(out.reasons, std::vector<std::string>{why});
        EXPECT_EQ(run.output, "failed 0 " + why + "\n");
        EXPECT_EQ(readFile(item / "blob"), "b");
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
        auto out = Admin::removeAsRoot(measuredNow({item}));
        if (out.authorizationUnavailable || out.cancelled) return "the batch did not run";
        if (out.failed.empty() || out.failed[0] != item.native()) return "the item was not reported failed";
        if (out.reasons[0] != "A folder on its path is a symbolic link") return "reason: " + out.reasons[0];
        return "";
    });
    EXPECT_EQ(failure, "");
    EXPECT_EQ(readFile(rootOnly / "precious.db"), "root's data");
}

// A batch that cannot be sent as asked is refused whole: the path at fault
// says why, every other that it was not attempted.
TEST_F(PrivilegedBatch, RefusesTheWholeBatchForTheRootOrARelativePath) {
    // A backend that runs nothing: this test names the root of the real disk.
    auto runs = countRuns();
    fs::path keep = sys("/Library/Caches/com.example.keep");
    writeFile(keep / "f", "x");
    const struct {
        fs::path path;
        const char* why;
    } poison[] = {
        {"/", "The whole disk is never removed"},
        {"//", "The whole disk is never removed"},
        {"/.", "The whole disk is never removed"},
        {"/tmp/..", "The whole disk is never removed"},
        {"relative/path", "Not an absolute path to one item"},
        {"", "Not an absolute path to one item"},
        {sys("/Library/Caches/line\nfeed"), "Its name holds a line feed, which cannot be sent to the administrator batch"},
    };
    for (const auto& bad : poison) {
        SCOPED_TRACE(bad.path.native());
        auto out = Admin::removeAsRoot(measuredNow({keep, bad.path}));
        EXPECT_TRUE(out.removed.empty());
        EXPECT_EQ(out.failed, (std::vector<std::string>{keep.native(), bad.path.native()}));
        EXPECT_EQ(out.reasons, (std::vector<std::string>{
                                   "Not attempted: another item in the batch could not be sent safely", bad.why}));
        EXPECT_FALSE(out.cancelled);
        EXPECT_FALSE(out.authorizationUnavailable);
    }
    EXPECT_EQ(*runs, 0) << "a refused batch never runs";
    EXPECT_EQ(readFile(keep / "f"), "x");
}

namespace {

// A home and a system root, each below a folder of its own, with a look-alike
// of each elsewhere: the same folders, each holding a file of its own.
struct SwapLayout {
    explicit SwapLayout(const fs::path& base)
        : base(base),
          home(base / "people/me"),
          systemRoot(base / "disk/root"),
          homeItem(home / "Library/Caches/com.example.cache"),
          systemItem(systemRoot / "Library/Caches/com.example.cache") {
        writeFile(homeItem / "blob", "the user's cache");
        writeFile(systemItem / "blob", "the system's cache");
        writeFile(base / "decoy-people/me/Library/Caches/com.example.cache/precious", "look-alike's own");
        writeFile(base / "decoy-disk/root/Library/Caches/com.example.cache/precious", "look-alike's own");
        ::setenv("HOME", home.c_str(), 1);
        Locations::setRoot(systemRoot.native());
        Ignores::resetCache();
    }

    // Puts the look-alike of a folder in its place: a link to it, or the
    // look-alike folder itself; the folder goes aside.
    void swap(const std::string& below, bool byLink) const {
        const fs::path folder = base / below;
        const fs::path decoy = base / ("decoy-" + below);
        fs::rename(folder, folder.native() + ".aside");
        if (byLink) makeSymlink(decoy, folder);
        else fs::rename(decoy, folder);
    }

    std::string damage() const {
        std::string d;
        for (const auto& decoy : {"decoy-people/me", "decoy-disk/root"}) {
            fs::path file = base / decoy / "Library/Caches/com.example.cache/precious";
            if (existsItself(base / decoy) && readFile(file) != "look-alike's own") d += file.native() + " ";
            // The look-alike moved into place keeps its own file too.
        }
        for (const auto& placed : {"people/me", "disk/root"}) {
            fs::path file = base / placed / "Library/Caches/com.example.cache/precious";
            if (existsItself(file) && readFile(file) != "look-alike's own") d += file.native() + " ";
        }
        return d;
    }

    fs::path base, home, systemRoot, homeItem, systemItem;
};

}  // namespace

// While the administrator prompt waits, a folder above the home or above the
// system root, the home itself or a location root is swapped for a link to a
// look-alike, or for the look-alike folder itself. The root side takes hold of
// each root from "/" and finds it is not what the user's side saw: it removes
// nothing anywhere, and each path says why.
TEST_F(PrivilegedBatch, ASwapAboveALocationWhileThePromptWaitsRemovesNothing) {
    const struct {
        const char* folder;
        bool byLink;
        bool home;  // the swap is on the home's way, not the system root's
    } swaps[] = {
        {"people", true, true},   {"people", false, true},   {"people/me", true, true},
        {"disk", true, false},    {"disk", false, false},    {"disk/root/Library", true, false},
    };
    int index = 0;
    for (const auto& s : swaps) {
        SCOPED_TRACE(std::string(s.folder) + (s.byLink ? " for a link" : " for another folder"));
        SwapLayout layout(tmp() / ("swap" + std::to_string(index++)));
        if (std::string(s.folder) == "disk/root/Library")
            writeFile(layout.base / "decoy-disk/root/Library/Caches/com.example.cache/precious", "look-alike's own");
        Admin::setPrivilegedBackendForTesting([&](const fs::path& script, const std::optional<std::string>&) {
            // The prompt is up: the swap happens now.
            if (std::string(s.folder) == "disk/root/Library") {
                fs::rename(layout.systemRoot / "Library", layout.base / "disk/root/Library.aside");
                makeSymlink(layout.base / "decoy-disk/root/Library", layout.systemRoot / "Library");
            } else {
                layout.swap(s.folder, s.byLink);
            }
            return Admin::run("/bin/sh " + Admin::quote(script.native()), true);
        });
        auto out = Admin::removeAsRoot(measuredNow({layout.homeItem, layout.systemItem}));
        EXPECT_TRUE(out.removed.empty());
        EXPECT_EQ(out.failed, (std::vector<std::string>{layout.homeItem.native(), layout.systemItem.native()}));
        EXPECT_EQ(out.reasons, (s.home ? std::vector<std::string>{kChanged, kOther}
                                       : std::vector<std::string>{kOther, kChanged}));
        EXPECT_EQ(layout.damage(), "");
        // The user's own items are still there, wherever the swap put them.
        int left = 0;
        for (const auto& entry : fs::recursive_directory_iterator(layout.base))
            if (entry.path().filename() == "blob") ++left;
        EXPECT_EQ(left, 2);
    }
}

// Once the root side holds its roots, a swap above them changes nothing it
// does: it removes what the user chose, in the folders it holds, and nothing
// the new links lead to. Both ways of walking down from a root keep to it.
TEST_F(PrivilegedBatch, TheRootSideKeepsToTheRootsItHolds) {
    for (auto method : {Reach::Method::automatic, Reach::Method::componentWalk}) {
        SCOPED_TRACE(method == Reach::Method::automatic ? "kernel walk" : "component walk");
        Reach::setMethodForTesting(method);
        SwapLayout layout(tmp() / (method == Reach::Method::automatic ? "kernel" : "components"));
        const std::string request =
            requestFor(layout.home, {layout.systemRoot / "Library"}, {layout.homeItem, layout.systemItem});
        Admin::setRootSideHookForTesting([&] {
            layout.swap("people", true);
            layout.swap("disk", true);
        });
        auto run = Admin::runPrivilegedRemoval(request);
        Admin::setRootSideHookForTesting(nullptr);
        EXPECT_EQ(run.output, "removed 0\nremoved 1\n");
        EXPECT_EQ(layout.damage(), "");
        EXPECT_FALSE(existsItself(layout.base / "people.aside/me/Library/Caches/com.example.cache"));
        EXPECT_FALSE(existsItself(layout.base / "disk.aside/root/Library/Caches/com.example.cache"));
        EXPECT_TRUE(existsItself(layout.base / "decoy-people/me/Library/Caches/com.example.cache/precious"));
        EXPECT_TRUE(existsItself(layout.base / "decoy-disk/root/Library/Caches/com.example.cache/precious"));
    }
}

TEST_F(PrivilegedBatch, LinksAreRemovedNotFollowed) {
    installPlainShellBackend(tmp());
    fs::path target = tmp() / "outside";
    writeFile(target / "precious", "p");
    fs::path link = sys("/Library/Caches/link");
    makeSymlink(target, link);
    fs::path dangling = sys("/Library/Caches/dangling");
    makeSymlink(tmp() / "nowhere", dangling);
    // A trailing slash would make rm walk into the link's target. The scan
    // measured the link itself.
    auto out = Admin::removeAsRoot({{link.native() + "/", measureObject(link)}, {dangling, measureObject(dangling)}});
    EXPECT_EQ(out.removed.size(), 2u);
    EXPECT_FALSE(fs::exists(fs::symlink_status(link)));
    EXPECT_FALSE(fs::exists(fs::symlink_status(dangling)));
    EXPECT_EQ(readFile(target / "precious"), "p");
}

INSTANTIATE_TEST_SUITE_P(PrivilegedBatch, EveryRoad,
                         testing::Values(RemovalRoad{"removeAsRoot",
                                                     [](const std::vector<ScanItem>& items) {
                                                         installBatchBackend();
                                                         std::vector<Admin::Target> targets;
                                                         for (const auto& i : items) targets.push_back({i.url, i.measured});
                                                         Admin::removeAsRoot(targets);
                                                     }}),
                         roadName);
