#include "modules/system/shredder.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <optional>
#include <set>

#include "engine/fs.h"
#include "engine/removal_guard.h"
#include "platform/file_facts.h"
#include "platform/file_handle.h"
#include "platform/mounts.h"
#include "platform/reach.h"
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

// nullopt when a step worked, else what went wrong.
using Failure = std::optional<std::string>;

std::string systemMessage(int error) { return std::strerror(error); }

// A reason about something inside the chosen item names where it is.
std::string located(const std::string& rel, const std::string& message) {
    return rel.empty() ? message : rel + ": " + message;
}

std::string join(const std::string& base, const std::string& rel) {
    if (rel.empty()) return base;
    return base == "/" ? "/" + rel : base + "/" + rel;
}

// The files with several hard links met among the chosen items, and which of
// their names were chosen. Overwriting such a file is only right when every
// name it has is among them: then it is destroyed once, whichever name comes
// first, and its other names are only removed.
class SharedFiles {
public:
    void addName(const FileIdentity& id, const std::string& path) { files_[key(id)].names.insert(path); }

    // Whether every one of the file's current names is a chosen one.
    bool allChosen(const FileIdentity& id, uint64_t links) const {
        auto it = files_.find(key(id));
        return it != files_.end() && it->second.names.size() >= links;
    }
    void nameRemoved(const FileIdentity& id, const std::string& path) {
        auto it = files_.find(key(id));
        if (it != files_.end()) it->second.names.erase(path);
    }
    bool overwritten(const FileIdentity& id) const {
        auto it = files_.find(key(id));
        return it != files_.end() && it->second.overwritten;
    }
    void markOverwritten(const FileIdentity& id) { files_[key(id)].overwritten = true; }

private:
    struct File {
        std::set<std::string> names;
        bool overwritten = false;
    };
    static std::pair<uint64_t, uint64_t> key(const FileIdentity& id) { return {id.device, id.inode}; }
    std::map<std::pair<uint64_t, uint64_t>, File> files_;
};

// One chosen item: its path as the user named it, where its folder really is,
// the mount the shredder never leaves, and the number of passes.
struct Item {
    std::string path;
    std::string realFolder;
    std::shared_ptr<const Mounts::Boundary> mount;
    int passes = 1;
    SharedFiles* shared = nullptr;

    std::string realPathOf(const std::string& rel) const {
        std::string name = path.substr(path.rfind('/') + 1);
        std::string real = (realFolder == "/" ? "" : realFolder) + "/" + name;
        return rel.empty() ? real : real + "/" + rel;
    }
};

// The rules every removal road checks again just before it acts, for the item
// itself or for something inside it.
Failure refusal(const Item& item, const std::string& rel) {
    RemovalGuard::Verdict verdict = RemovalGuard::check(join(item.path, rel));
    switch (verdict) {
        case RemovalGuard::Verdict::allowed: return std::nullopt;
        case RemovalGuard::Verdict::invalid: return std::string(kNotAbsolute);
        case RemovalGuard::Verdict::ignored: return std::string(kIgnored);
        case RemovalGuard::Verdict::protected_: return std::string(kProtected);
        case RemovalGuard::Verdict::ignoreListUnreadable: return RemovalGuard::text(verdict);
    }
    return std::string(kProtected);
}

bool wouldOverwriteOtherLinks(const Item& item, const FileFacts& facts) {
    return facts.isRegular() && facts.logicalSize > 0 && facts.links > 1 &&
           !item.shared->allChosen(facts.identity, facts.links);
}

// Everything that would make the shredder stop halfway, found before anything
// is touched, so a refused folder is left whole rather than half destroyed.
Failure preflight(const Item& item, const FileFacts& facts) {
    if (wouldOverwriteOtherLinks(item, facts)) return std::string(kHardLinked);
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
            std::string rel = relativeOf(e.path);
            Failure why = refusal(item, rel);
            if (!why && wouldOverwriteOtherLinks(item, e.facts)) why = kHardLinked;
            if (!why) return found ? WalkAction::stop : WalkAction::proceed;
            found = located(rel, *why);
            return WalkAction::stop;
        },
        options);
    return found;
}

bool sameObject(const struct stat& st, const FileFacts& facts) {
    return uint64_t(st.st_dev) == facts.identity.device && uint64_t(st.st_ino) == facts.identity.inode;
}

// Writes random bytes over the whole file, pass after pass, each pass forced
// to disk. The file is opened without following a link and must still be the
// regular file that was examined, with no name outside the chosen items.
Failure overwrite(const Item& item, int dirfd, const std::string& name, const FileFacts& facts) {
    FileHandle fd(::openat(dirfd, name.c_str(), O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (!fd.valid()) return systemMessage(errno);
    struct stat st{};
    if (::fstat(fd.get(), &st) != 0) return systemMessage(errno);
    if (!S_ISREG(st.st_mode) || !sameObject(st, facts)) return std::string(kChanged);
    if (st.st_nlink > 1 && !item.shared->allChosen(facts.identity, uint64_t(st.st_nlink)))
        return std::string(kHardLinked);
    const int64_t size = int64_t(st.st_size);
    std::vector<unsigned char> buffer(size_t(std::min(size, kChunk)));
    for (int pass = 0; pass < item.passes; ++pass) {
        int64_t offset = 0;
        while (offset < size) {
            size_t count = size_t(std::min<int64_t>(int64_t(buffer.size()), size - offset));
            ::arc4random_buf(buffer.data(), count);
            size_t done = 0;
            while (done < count) {
                ssize_t n = ::pwrite(fd.get(), buffer.data() + done, count - done, off_t(offset + int64_t(done)));
                if (n < 0 && errno == EINTR) continue;
                if (n < 0) return systemMessage(errno);
                if (n == 0) return systemMessage(EIO);
                done += size_t(n);
            }
            offset += int64_t(count);
        }
        if (::fsync(fd.get()) != 0) return systemMessage(errno);
    }
    if (st.st_nlink > 1) item.shared->markOverwritten(facts.identity);
    return std::nullopt;
}

Failure shredEntry(const Item& item, int dirfd, const std::string& name, const FileFacts& facts,
                   const std::string& rel);

// Overwrites a non-empty regular file, then removes the entry under a random
// name so its old name does not stay behind. Links and other items are only
// renamed and removed, and so is a further name of a file already overwritten.
Failure shredFile(const Item& item, int dirfd, const std::string& name, const FileFacts& facts,
                  const std::string& rel) {
    const bool shared = facts.isRegular() && facts.links > 1;
    if (facts.isRegular() && facts.logicalSize > 0 && !(shared && item.shared->overwritten(facts.identity))) {
        if (wouldOverwriteOtherLinks(item, facts)) return located(rel, kHardLinked);
        if (Failure f = overwrite(item, dirfd, name, facts)) return located(rel, *f);
    }
    auto now = factsAt(dirfd, name.c_str());
    if (!now) return located(rel, systemMessage(errno));
    if (now->identity != facts.identity) return located(rel, kChanged);
    std::string newName = Uuid::random().string();
    // Renaming onto an existing entry would replace it.
    if (factsAt(dirfd, newName.c_str())) return located(rel, systemMessage(EEXIST));
    if (::renameat(dirfd, name.c_str(), dirfd, newName.c_str()) != 0) return located(rel, systemMessage(errno));
    if (::unlinkat(dirfd, newName.c_str(), 0) != 0) return located(rel, systemMessage(errno));
    if (shared) item.shared->nameRemoved(facts.identity, join(item.path, rel));
    return std::nullopt;
}

// Shreds what a folder holds, then the folder. The first failure ends it and
// the folder stays; a folder that cannot be read whole is never removed unseen,
// and a mount point inside (a bind mount too) is never entered.
Failure shredFolder(const Item& item, int dirfd, const std::string& name, const FileFacts& facts,
                    const std::string& rel) {
    FileHandle fd(::openat(dirfd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!fd.valid()) return located(rel, systemMessage(errno));
    struct stat st{};
    if (::fstat(fd.get(), &st) != 0) return located(rel, systemMessage(errno));
    if (!sameObject(st, facts)) return located(rel, kChanged);
    if (item.mount->crossedBy(fd.get(), item.realPathOf(rel))) return located(rel, kOtherVolume);
    int error = 0;
    auto names = Walker::names(fd.get(), &error);
    if (!names) return located(rel, systemMessage(error));
    for (const auto& entry : *names) {
        std::string entryRel = rel.empty() ? entry : rel + "/" + entry;
        auto entryFacts = factsAt(fd.get(), entry.c_str());
        if (!entryFacts) {
            if (errno == ENOENT) continue;  // removed by someone else meanwhile
            return located(entryRel, systemMessage(errno));
        }
        if (Failure f = shredEntry(item, fd.get(), entry, *entryFacts, entryRel)) return f;
    }
    if (::unlinkat(dirfd, name.c_str(), AT_REMOVEDIR) != 0) return located(rel, systemMessage(errno));
    return std::nullopt;
}

Failure shredEntry(const Item& item, int dirfd, const std::string& name, const FileFacts& facts,
                   const std::string& rel) {
    // Checked again just before acting: the preflight walk may be stale.
    if (Failure why = refusal(item, rel)) return located(rel, *why);
    if (facts.isDirectory()) return shredFolder(item, dirfd, name, facts, rel);
    return shredFile(item, dirfd, name, facts, rel);
}

// An item ready to be shredded: its folder open, its facts read, nothing
// found that would refuse it.
struct Prepared {
    Item item;
    FileHandle parent;
    std::string name;
    FileFacts facts;
};

std::string tidyPath(const std::filesystem::path& url) {
    std::string path = url.native();
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    return path;
}

Failure prepare(const std::filesystem::path& url, int passes, SharedFiles& shared, std::optional<Prepared>& out) {
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
    out.emplace();
    Prepared& p = *out;
    auto facts = factsAt(parent.folder.fd.get(), parent.name.c_str());
    if (!facts) return systemMessage(errno);
    item.realFolder = parent.folder.realPath;
    item.mount = std::make_shared<Mounts::Boundary>(parent.folder.fd.get(), parent.folder.realPath);
    if (Failure why = preflight(item, *facts)) return why;
    p.item = std::move(item);
    p.parent = std::move(parent.folder.fd);
    p.name = std::move(parent.name);
    p.facts = *facts;
    return std::nullopt;
}

// Notes every name of a many-linked file among the chosen items, before any
// of them is shredded.
void countNames(const std::vector<ScanItem>& items, SharedFiles& shared) {
    for (const auto& chosen : items) {
        const std::string path = tidyPath(chosen.url);
        // Only names that go with their item: a folder the rules refuse keeps its own.
        if (RemovalGuard::checkWhole(path) != RemovalGuard::Verdict::allowed) continue;
        auto facts = lstatFacts(path);
        if (!facts) continue;
        if (facts->isRegular() && facts->links > 1) shared.addName(facts->identity, path);
        if (!facts->isDirectory()) continue;
        WalkOptions options;
        options.enterPackages = true;
        options.stayOnMount = true;
        Walker::walk(path, [&](const WalkEntry& e) {
            if (e.facts.isRegular() && e.facts.links > 1) shared.addName(e.facts.identity, std::string(e.path));
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
        Failure failure = prepare(item.url, passes, shared, prepared);
        if (!failure) {
            failure = shredEntry(prepared->item, prepared->parent.get(), prepared->name, prepared->facts, "");
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
