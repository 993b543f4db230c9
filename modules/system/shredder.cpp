#include "modules/system/shredder.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <optional>
#include <tuple>

#include "engine/fs.h"
#include "engine/removal_guard.h"
#include "platform/file_facts.h"
#include "platform/file_handle.h"
#include "platform/folder_stack.h"
#include "platform/race_seam.h"
#include "platform/reach.h"
#include "platform/rename.h"
#include "platform/uuid.h"
#include "platform/walker.h"

namespace Shredder {
namespace {

constexpr int64_t kChunk = 1024 * 1024;

constexpr const char* kIgnored = "On the ignore list";
constexpr const char* kProtected = "Protected item";
constexpr const char* kHardLinked = "Has other hard links, so overwriting it would change them too";
constexpr const char* kOtherVolume = "Lies on another volume";
constexpr const char* kChanged = "Changed while it was being shredded";
constexpr const char* kNotAbsolute = "Not an absolute path to one item";

// What a file that failed is left as, told after the failure's own text.
constexpr const char* kPartlyOverwritten = "partly overwritten, still in place";
constexpr const char* kOverwrittenInPlace = "overwritten, still in place";

// nullopt when a step worked, else what went wrong.
using Failure = std::optional<std::string>;

std::string systemMessage(int error) { return std::strerror(error); }

// A reason about something inside the chosen item names where it is.
std::string located(const std::string& rel, const std::string& message) {
    return rel.empty() ? message : rel + ": " + message;
}

std::string withState(const std::string& message, const char* state) {
    return message + " (" + state + ")";
}

std::string join(const std::string& base, const std::string& rel) {
    if (rel.empty()) return base;
    return base == "/" ? "/" + rel : base + "/" + rel;
}

// The longest path inside an item the removal rules are asked about again
// as the shredder reaches it. What lies deeper is covered by the check of the
// whole item (nothing ignored or protected inside it), made once it was
// walked: asking again for each entry of a tree thousands of folders deep
// would cost time growing with the square of its depth.
constexpr size_t kLongestRuledPath = PATH_MAX;

// One name of a file: the folder holding it and the name in there. Every
// entry of a folder is one such pair, however the path to it was spelled.
struct Name {
    FileIdentity folder;
    std::string name;
    bool operator<(const Name& o) const {
        return std::tie(folder.device, folder.inode, name) < std::tie(o.folder.device, o.folder.inode, o.name);
    }
    bool operator==(const Name&) const = default;
};

// The name at an absolute path and the facts of what it names, reached from
// the root of its location without following a link or crossing a mount: a
// name reached through a link is not where the path says. Nothing when it
// cannot be reached so.
struct Found {
    Name name;
    FileFacts facts;
};
std::optional<Found> findName(const std::string& path) {
    Reach::Parent parent = Reach::parent(path);
    if (!parent.folder.reached()) return std::nullopt;
    struct stat folder{};
    if (::fstat(parent.folder.fd.get(), &folder) != 0) return std::nullopt;
    auto facts = factsAt(parent.folder.fd.get(), parent.name.c_str());
    if (!facts) return std::nullopt;
    return Found{Name{FileFacts::from(folder).identity, parent.name}, *facts};
}

// The files with several hard links met among the chosen items, and which of
// their names were chosen, each counted once whatever spelling of its path
// named it. Overwriting such a file is only right when every name it has is
// among them: then it is destroyed once, whichever name comes first, and its
// other names are only removed.
class SharedFiles {
public:
    // Notes the name found at path when it is a name of a file with several links.
    void addName(const Found& found, const std::string& path) {
        if (!found.facts.isRegular() || found.facts.links <= 1) return;
        files_[key(found.facts.identity)].names.emplace(found.name, path);
    }

    // Whether every one of the file's names was chosen, as counted before
    // anything was shredded.
    bool allChosen(const FileIdentity& id, uint64_t links) const {
        auto it = files_.find(key(id));
        return it != files_.end() && it->second.names.size() >= links;
    }

    // The same, counting only the chosen names that still name the file now:
    // one of them may have been moved or replaced since.
    bool allChosenNow(const FileIdentity& id, uint64_t links) const {
        auto it = files_.find(key(id));
        if (it == files_.end()) return false;
        uint64_t names = 0;
        for (const auto& [name, path] : it->second.names) {
            auto found = findName(path);
            if (found && found->name == name && found->facts.identity == id) ++names;
        }
        return names >= links;
    }

    bool overwritten(const FileIdentity& id) const {
        auto it = files_.find(key(id));
        return it != files_.end() && it->second.overwritten;
    }
    void markOverwritten(const FileIdentity& id) { files_[key(id)].overwritten = true; }

private:
    struct File {
        std::map<Name, std::string> names;  // each with the path it was found at
        bool overwritten = false;
    };
    static std::pair<uint64_t, uint64_t> key(const FileIdentity& id) { return {id.device, id.inode}; }
    std::map<std::pair<uint64_t, uint64_t>, File> files_;
};

// One chosen item: its path as the user named it, where its folder really is,
// and the number of passes.
struct Item {
    std::string path;
    std::string realFolder;
    std::string name;
    int passes = 1;
    SharedFiles* shared = nullptr;

    std::string realPath() const { return (realFolder == "/" ? "" : realFolder) + "/" + name; }
};

Failure refusalText(RemovalGuard::Verdict verdict) {
    switch (verdict) {
        case RemovalGuard::Verdict::allowed: return std::nullopt;
        case RemovalGuard::Verdict::invalid: return std::string(kNotAbsolute);
        case RemovalGuard::Verdict::ignored: return std::string(kIgnored);
        case RemovalGuard::Verdict::protected_: return std::string(kProtected);
        case RemovalGuard::Verdict::ignoreListUnreadable: return RemovalGuard::text(verdict);
    }
    return std::string(kProtected);
}

// The rules every removal road checks again just before it acts, for the item
// itself or (rel below it) for something inside it, which is reached from the
// item without following a link and so really lies below the item's real path.
Failure refusal(const Item& item, const std::string& rel) {
    if (rel.empty()) return refusalText(RemovalGuard::check(item.path));
    return refusalText(RemovalGuard::checkInside(join(item.path, rel), join(item.realPath(), rel)));
}

bool wouldOverwriteOtherLinks(const Item& item, const FileFacts& facts) {
    return facts.isRegular() && facts.logicalSize > 0 && facts.links > 1 &&
           !item.shared->allChosen(facts.identity, facts.links);
}

// Everything that would make the shredder stop halfway, found before anything
// is touched, so a refused folder is left whole rather than half destroyed.
Failure preflight(const Item& item, const FileFacts& facts) {
    if (wouldOverwriteOtherLinks(item, facts)) return std::string(kHardLinked);
    // A chosen file mounted from elsewhere is refused as it is opened, with
    // nothing of the item touched before.
    if (!facts.isDirectory()) return std::nullopt;
    Failure found;
    auto relativeOf = [&](std::string_view path) {
        return path.size() > item.path.size() ? std::string(path.substr(item.path.size() + 1)) : std::string();
    };
    WalkOptions options;
    options.enterPackages = true;
    options.stayOnMount = true;
    options.onError = [&](std::string_view path, int error) {
        if (!found) found = located(relativeOf(path), error == EXDEV ? std::string(kOtherVolume) : systemMessage(error));
    };
    Walker::walk(
        item.path,
        [&](const WalkEntry& e) {
            Failure why;
            if (e.path.size() <= kLongestRuledPath) why = refusal(item, relativeOf(e.path));
            if (!why && wouldOverwriteOtherLinks(item, e.facts)) why = kHardLinked;
            if (!why) return found ? WalkAction::stop : WalkAction::proceed;
            found = located(relativeOf(e.path), *why);
            return WalkAction::stop;
        },
        options);
    return found;
}

bool sameObject(const struct stat& st, const FileFacts& facts) {
    return uint64_t(st.st_dev) == facts.identity.device && uint64_t(st.st_ino) == facts.identity.inode;
}

// Writes random bytes over what the file holds. Only its data is written:
// a hole holds nothing to destroy, and writing one would allocate space the
// volume may not have. `touched` tells whether any byte was written.
Failure overwritePass(int fd, int64_t size, std::vector<unsigned char>& buffer, bool& touched) {
    int64_t at = 0;
    while (at < size) {
        int64_t start = at;
        int64_t end = size;
#if defined(SEEK_DATA) && defined(SEEK_HOLE)
        const off_t data = ::lseek(fd, off_t(at), SEEK_DATA);
        if (data < 0) {
            if (errno == ENXIO) break;                 // only a hole is left
            if (errno != EINVAL) return systemMessage(errno);
            // A file system that cannot tell: everything is data.
        } else {
            start = int64_t(data);
            const off_t hole = ::lseek(fd, data, SEEK_HOLE);
            if (hole >= 0) end = std::min<int64_t>(int64_t(hole), size);
        }
#endif
        for (int64_t offset = start; offset < end;) {
            const size_t count = size_t(std::min<int64_t>(int64_t(buffer.size()), end - offset));
            ::arc4random_buf(buffer.data(), count);
            size_t done = 0;
            while (done < count) {
                ssize_t n = ::pwrite(fd, buffer.data() + done, count - done, off_t(offset + int64_t(done)));
                if (n < 0 && errno == EINTR) continue;
                if (n < 0) return systemMessage(errno);
                if (n == 0) return systemMessage(EIO);
                done += size_t(n);
                touched = true;
            }
            offset += int64_t(count);
        }
        at = std::max(end, start + 1);
    }
    return std::nullopt;
}

// Writes random bytes over the file, pass after pass, each pass forced to
// disk. The file is opened without following a link and must still be the
// regular file that was examined, on the mount of the folder holding it (a
// file mounted over the name from elsewhere is another place's file), with no
// name outside the chosen items. A failure says what the file is left as.
Failure overwrite(const Item& item, const FolderStack& stack, int dirfd, const std::string& name,
                  const FileFacts& facts) {
    RaceSeam::betweenLookAndOpen(RaceSeam::Site::shredderFile, dirfd, name);
#ifdef O_PATH
    // Looked at first through a handle that cannot write, so a mounted file is
    // refused before it was ever opened for writing. The handle that writes
    // must then be that same file.
    {
        FileHandle look(::openat(dirfd, name.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC));
        if (!look.valid()) return systemMessage(errno);
        struct stat st{};
        if (::fstat(look.get(), &st) != 0) return systemMessage(errno);
        // Such a handle opens a link itself, where a handle to write is refused.
        if (S_ISLNK(st.st_mode)) return systemMessage(ELOOP);
        if (!S_ISREG(st.st_mode) || !sameObject(st, facts)) return std::string(kChanged);
        if (stack.onOtherMount(look.get(), name)) return std::string(kOtherVolume);
    }
#endif
    FileHandle fd(::openat(dirfd, name.c_str(), O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (!fd.valid()) return systemMessage(errno);
    struct stat st{};
    if (::fstat(fd.get(), &st) != 0) return systemMessage(errno);
    if (!S_ISREG(st.st_mode) || !sameObject(st, facts)) return std::string(kChanged);
#ifndef O_PATH
    // No handle can only look here; a mount there is a volume of its own,
    // told by the handle that writes before its first byte.
    if (stack.onOtherMount(fd.get(), name)) return std::string(kOtherVolume);
#endif
    // A name added since the names were counted, or one of them moved away.
    if (st.st_nlink > 1 && !item.shared->allChosenNow(facts.identity, uint64_t(st.st_nlink)))
        return std::string(kHardLinked);
    const int64_t size = int64_t(st.st_size);
    std::vector<unsigned char> buffer(size_t(std::clamp<int64_t>(size, 1, kChunk)));
    bool touched = false;
    for (int pass = 0; pass < item.passes; ++pass) {
        Failure failure = overwritePass(fd.get(), size, buffer, touched);
        if (!failure && ::fsync(fd.get()) != 0) failure = systemMessage(errno);
        if (failure) return touched ? withState(*failure, kPartlyOverwritten) : *failure;
        RaceSeam::betweenLookAndOpen(RaceSeam::Site::shredderPass, dirfd, name);
    }
    if (st.st_nlink > 1) item.shared->markOverwritten(facts.identity);
    return std::nullopt;
}

// Shreds one item, a folder depth first without recursion: the folders it is
// inside are a FolderStack, each with the names still to shred in it. The
// first failure ends the item; what was shredded stays gone, the folders on
// the way stay. A folder that cannot be read whole is never removed unseen,
// and a mount point inside (a bind mount too) is never entered.
class Shredding {
public:
    Shredding(const Item& item, int parentfd) : item_(item), itemReal_(item.realPath()),
        stack_(parentfd, item.realFolder, RaceSeam::Site::shredderFolder) {}

    Failure run(const std::string& name, const FileFacts& facts) {
        if (!facts.isDirectory()) return shredFile(stack_.current(), name, facts, "");
        if (Failure f = enter(name, facts, "")) return f;
        for (;;) {
            Folder& folder = folders_.back();
            if (folder.next < folder.names.size()) {
                const std::string entry = std::move(folder.names[folder.next++]);
                if (Failure f = shredEntry(entry)) return f;
                continue;
            }
            folders_.pop_back();
            const std::string left = stack_.leave();
            const int dirfd = stack_.current();
            if (dirfd < 0) return located(currentRel(), kChanged);
            if (::unlinkat(dirfd, left.c_str(), AT_REMOVEDIR) != 0) {
                const std::string message = systemMessage(errno);
                return located(folders_.empty() ? std::string() : relOf(left), message);
            }
            if (folders_.empty()) return std::nullopt;
        }
    }

private:
    struct Folder {
        std::vector<std::string> names;  // still to shred
        size_t next = 0;
    };

    // The current folder's path below the item: "" for the item itself.
    std::string currentRel() const {
        const std::string& path = stack_.path();
        return path.size() > itemReal_.size() ? path.substr(itemReal_.size() + 1) : std::string();
    }

    // An entry's path below the item; its length without building it.
    size_t relLength(const std::string& name) const {
        const size_t folder = stack_.path().size() - itemReal_.size();
        return folder == 0 ? name.size() : folder + name.size();
    }
    std::string relOf(const std::string& name) const {
        std::string rel = currentRel();
        return rel.empty() ? name : rel + "/" + name;
    }

    Failure shredEntry(const std::string& name) {
        const int dirfd = stack_.current();
        if (dirfd < 0) return located(currentRel(), kChanged);
        auto facts = factsAt(dirfd, name.c_str());
        if (!facts) {
            if (errno == ENOENT) return std::nullopt;  // removed by someone else meanwhile
            return located(relOf(name), systemMessage(errno));
        }
        // Checked again just before acting: the preflight walk may be stale.
        if (item_.path.size() + 1 + relLength(name) <= kLongestRuledPath) {
            const std::string rel = relOf(name);
            if (Failure why = refusal(item_, rel)) return located(rel, *why);
        }
        if (facts->isDirectory()) return enter(name, *facts, {});
        return shredFile(dirfd, name, *facts, {});
    }

    // Enters a folder of the current folder and reads its names.
    Failure enter(const std::string& name, const FileFacts& facts, std::optional<std::string> rel) {
        const FolderStack::Entry entry = stack_.enter(name, facts.identity);
        auto where = [&] { return rel ? *rel : relOf(name); };
        switch (entry.result) {
            case FolderStack::Entered::entered: break;
            case FolderStack::Entered::changed: return located(where(), kChanged);
            case FolderStack::Entered::otherMount: return located(where(), kOtherVolume);
            case FolderStack::Entered::failed: return located(where(), systemMessage(entry.error));
        }
        int error = 0;
        auto names = Walker::names(stack_.current(), &error);
        if (!names) return located(currentRel(), systemMessage(error));
        folders_.push_back(Folder{std::move(*names), 0});
        return std::nullopt;
    }

    // Overwrites a non-empty regular file, then removes the entry under a
    // random name so its old name does not stay behind. Links and other items
    // are only renamed and removed, and so is a further name of a file already
    // overwritten. A file that cannot be removed after its overwrite is given
    // its name back, and its line says it was overwritten.
    Failure shredFile(int dirfd, const std::string& name, const FileFacts& facts, std::optional<std::string> rel) {
        auto where = [&] { return rel ? *rel : relOf(name); };
        const bool shared = facts.isRegular() && facts.links > 1;
        bool overwrote = false;
        if (facts.isRegular() && facts.logicalSize > 0 && !(shared && item_.shared->overwritten(facts.identity))) {
            // Its names are judged on the file as opened (see overwrite()).
            if (Failure f = overwrite(item_, stack_, dirfd, name, facts)) return located(where(), *f);
            overwrote = true;
        }
        auto state = [&](const std::string& message) {
            return located(where(), overwrote ? withState(message, kOverwrittenInPlace) : message);
        };
        auto now = factsAt(dirfd, name.c_str());
        if (!now) return state(systemMessage(errno));
        if (now->identity != facts.identity) return state(kChanged);
        const std::string newName = Uuid::random().string();
        if (int error = Rename::exclusive(dirfd, name.c_str(), dirfd, newName.c_str())) return state(systemMessage(error));
        if (::unlinkat(dirfd, newName.c_str(), 0) != 0) {
            const std::string message = systemMessage(errno);
            if (Rename::exclusive(dirfd, newName.c_str(), dirfd, name.c_str()) == 0) return state(message);
            const std::string left = "left as " + newName;
            return located(where(), message + " (" + (overwrote ? "overwritten, " : "") + left + ")");
        }
        return std::nullopt;
    }

    const Item& item_;
    const std::string itemReal_;
    FolderStack stack_;
    std::vector<Folder> folders_;  // one per folder entered, deepest last
};

// An item ready to be shredded: its folder open, its facts read, nothing
// found that would refuse it.
struct Prepared {
    Item item;
    FileHandle parent;
    FileFacts facts;
};

std::string tidyPath(const std::filesystem::path& url) {
    std::string path = url.native();
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    return path;
}

Failure prepare(const std::filesystem::path& url, const std::optional<MeasuredObject>& measured, int passes,
                SharedFiles& shared, std::optional<Prepared>& out) {
    Item item;
    item.path = tidyPath(url);
    item.passes = passes;
    item.shared = &shared;
    if (Failure why = refusal(item, "")) return why;
    // The item's folder is reached from its location's root: never through a
    // link, never across a mount.
    Reach::Parent parent = Reach::parent(item.path);
    if (!parent.folder.reached()) {
        if (parent.folder.blocked != Reach::Blocked::none) return FS::blockedText(parent.folder.blocked);
        return systemMessage(parent.folder.error);
    }
    auto facts = factsAt(parent.folder.fd.get(), parent.name.c_str());
    if (!facts) return systemMessage(errno);
    // Only the object measured when it was chosen: a file of several names
    // that this run overwrote through another of them is still that file.
    if (!measured) return std::string(FS::kNotMeasuredText);
    const bool ownOverwrite = facts->isRegular() && measured->type == facts->type &&
                              measured->identity == facts->identity && shared.overwritten(facts->identity);
    if (!measured->matches(*facts) && !ownOverwrite) return std::string(FS::kChangedText);
    item.realFolder = parent.folder.realPath;
    item.name = parent.name;
    if (Failure why = preflight(item, *facts)) return why;
    // What lies too deep for the walk to ask about is covered here: nothing
    // ignored or protected may lie inside the item at all.
    if (facts->isDirectory()) {
        RemovalGuard::Verdict whole = RemovalGuard::checkWhole(item.path);
        if (whole != RemovalGuard::Verdict::allowed) return RemovalGuard::text(whole);
    }
    out.emplace();
    out->item = std::move(item);
    out->parent = std::move(parent.folder.fd);
    out->facts = *facts;
    return std::nullopt;
}

// Notes every name of a many-linked file among the chosen items, before any
// of them is shredded.
void countNames(const std::vector<ScanItem>& items, SharedFiles& shared) {
    for (const auto& chosen : items) {
        const std::string path = tidyPath(chosen.url);
        // Only names that go with their item: a folder the rules refuse keeps its own.
        if (RemovalGuard::checkWhole(path) != RemovalGuard::Verdict::allowed) continue;
        auto found = findName(path);
        if (!found) continue;
        shared.addName(*found, path);
        if (!found->facts.isDirectory()) continue;
        WalkOptions options;
        options.enterPackages = true;
        options.stayOnMount = true;
        Walker::walk(path, [&](const WalkEntry& e) {
            if (!e.facts.isRegular() || e.facts.links <= 1) return WalkAction::proceed;
            const std::string name(e.path);
            if (auto found = findName(name)) shared.addName(*found, name);
            return WalkAction::proceed;
        }, options);
    }
}

}  // namespace

Outcome shred(const std::vector<ScanItem>& items, int passes, const ScanToken& token,
              const ProgressCallback& progress) {
    Outcome outcome;
    FS::SeenSet seen;
    passes = std::max(passes, 1);
    SharedFiles shared;
    countNames(items, shared);
    const size_t n = items.size();
    // Everything is measured before anything is shredded: a file whose other
    // names go first would otherwise be counted again under its last one.
    std::vector<std::filesystem::path> paths;
    paths.reserve(n);
    for (const ScanItem& item : items) paths.push_back(item.url);
    const std::vector<int64_t> sizes = FS::sizes(paths, seen);
    for (size_t i = 0; i < n; ++i) {
        if (token.isCancelled()) break;
        const ScanItem& item = items[i];
        if (progress) progress(double(i) / double(n), "Shredding " + item.name + "\u2026");
        std::optional<Prepared> prepared;
        Failure failure = prepare(item.url, item.measured, passes, shared, prepared);
        if (!failure) {
            Shredding shredding(prepared->item, prepared->parent.get());
            failure = shredding.run(prepared->item.name, prepared->facts);
        }
        if (failure) {
            outcome.failures.push_back(item.url.string() + ": " + *failure);
            continue;
        }
        ++outcome.shreddedCount;
        outcome.bytes += sizes[i];
        outcome.shreddedPaths.push_back(item.url.string());
    }
    if (progress) progress(1.0, "Done");
    return outcome;
}

}  // namespace Shredder
