#include "modules/system/shredder.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <optional>

#include "engine/fs.h"
#include "engine/removal_guard.h"
#include "platform/file_facts.h"
#include "platform/file_handle.h"
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

// One chosen item: its path as the user named it, the device it lies on (the
// shredder never crosses onto another one) and the number of passes.
struct Item {
    std::string path;
    uint64_t device = 0;
    int passes = 1;
};

// The rules every removal road checks again just before it acts, for the item
// itself or for something inside it.
Failure refusal(const Item& item, const std::string& rel) {
    switch (RemovalGuard::check(join(item.path, rel))) {
        case RemovalGuard::Verdict::allowed: return std::nullopt;
        case RemovalGuard::Verdict::invalid: return std::string(kNotAbsolute);
        case RemovalGuard::Verdict::ignored: return std::string(kIgnored);
        case RemovalGuard::Verdict::protected_: return std::string(kProtected);
    }
    return std::string(kProtected);
}

bool wouldOverwriteOtherLinks(const FileFacts& facts) {
    return facts.isRegular() && facts.logicalSize > 0 && facts.links > 1;
}

// Everything that would make the shredder stop halfway, found before anything
// is touched, so a refused folder is left whole rather than half destroyed.
Failure preflight(const Item& item, const FileFacts& facts) {
    if (wouldOverwriteOtherLinks(facts)) return std::string(kHardLinked);
    if (!facts.isDirectory()) return std::nullopt;
    Failure found;
    auto relativeOf = [&](std::string_view path) {
        return path.size() > item.path.size() ? std::string(path.substr(item.path.size() + 1)) : std::string();
    };
    WalkOptions options;
    options.enterPackages = true;
    options.onError = [&](std::string_view path, int error) {
        if (!found) found = located(relativeOf(path), systemMessage(error));
    };
    Walker::walk(
        item.path,
        [&](const WalkEntry& e) {
            std::string rel = relativeOf(e.path);
            Failure why = refusal(item, rel);
            if (!why && e.facts.identity.device != item.device) why = kOtherVolume;
            if (!why && wouldOverwriteOtherLinks(e.facts)) why = kHardLinked;
            if (!why) return found ? WalkAction::stop : WalkAction::proceed;
            found = located(rel, *why);
            return WalkAction::stop;
        },
        options);
    return found;
}

// The names in an open folder, read whole before any of them is removed.
std::optional<std::vector<std::string>> listAll(int fd, int* error) {
    int dupfd = ::dup(fd);
    if (dupfd < 0) {
        *error = errno;
        return std::nullopt;
    }
    DIR* dir = ::fdopendir(dupfd);
    if (!dir) {
        *error = errno;
        ::close(dupfd);
        return std::nullopt;
    }
    std::vector<std::string> names;
    errno = 0;
    while (dirent* d = ::readdir(dir)) {
        const char* n = d->d_name;
        if (n[0] == '.' && (n[1] == 0 || (n[1] == '.' && n[2] == 0))) continue;
        names.emplace_back(n);
    }
    *error = errno;
    ::closedir(dir);
    if (*error != 0) return std::nullopt;
    return names;
}

bool sameObject(const struct stat& st, const FileFacts& facts) {
    return uint64_t(st.st_dev) == facts.identity.device && uint64_t(st.st_ino) == facts.identity.inode;
}

// Writes random bytes over the whole file, pass after pass, each pass forced
// to disk. The file is opened without following a link and must still be the
// single-linked regular file that was examined.
Failure overwrite(int dirfd, const std::string& name, const FileFacts& facts, int passes) {
    FileHandle fd(::openat(dirfd, name.c_str(), O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (!fd.valid()) return systemMessage(errno);
    struct stat st{};
    if (::fstat(fd.get(), &st) != 0) return systemMessage(errno);
    if (!S_ISREG(st.st_mode) || !sameObject(st, facts)) return std::string(kChanged);
    if (st.st_nlink > 1) return std::string(kHardLinked);
    const int64_t size = int64_t(st.st_size);
    std::vector<unsigned char> buffer(size_t(std::min(size, kChunk)));
    for (int pass = 0; pass < passes; ++pass) {
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
    return std::nullopt;
}

Failure shredEntry(const Item& item, int dirfd, const std::string& name, const FileFacts& facts,
                   const std::string& rel);

// Overwrites a non-empty regular file, then removes the entry under a random
// name so its old name does not stay behind. Links and other items are only
// renamed and removed.
Failure shredFile(const Item& item, int dirfd, const std::string& name, const FileFacts& facts,
                  const std::string& rel) {
    if (facts.isRegular() && facts.logicalSize > 0) {
        if (facts.links > 1) return located(rel, kHardLinked);
        if (Failure f = overwrite(dirfd, name, facts, item.passes)) return located(rel, *f);
    }
    auto now = factsAt(dirfd, name.c_str());
    if (!now) return located(rel, systemMessage(errno));
    if (now->identity != facts.identity) return located(rel, kChanged);
    std::string newName = Uuid::random().string();
    // Renaming onto an existing entry would replace it.
    if (factsAt(dirfd, newName.c_str())) return located(rel, systemMessage(EEXIST));
    if (::renameat(dirfd, name.c_str(), dirfd, newName.c_str()) != 0) return located(rel, systemMessage(errno));
    if (::unlinkat(dirfd, newName.c_str(), 0) != 0) return located(rel, systemMessage(errno));
    return std::nullopt;
}

// Shreds what a folder holds, then the folder. The first failure ends it and
// the folder stays; a folder that cannot be read whole is never removed unseen.
Failure shredFolder(const Item& item, int dirfd, const std::string& name, const FileFacts& facts,
                    const std::string& rel) {
    if (facts.identity.device != item.device) return located(rel, kOtherVolume);
    FileHandle fd(::openat(dirfd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!fd.valid()) return located(rel, systemMessage(errno));
    struct stat st{};
    if (::fstat(fd.get(), &st) != 0) return located(rel, systemMessage(errno));
    if (!sameObject(st, facts)) return located(rel, kChanged);
    int error = 0;
    auto names = listAll(fd.get(), &error);
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

Failure prepare(const std::filesystem::path& url, int passes, std::optional<Prepared>& out) {
    Item item;
    item.path = url.native();
    while (item.path.size() > 1 && item.path.back() == '/') item.path.pop_back();
    item.passes = passes;
    if (Failure why = refusal(item, "")) return why;
    size_t slash = item.path.rfind('/');
    std::string parent = slash == 0 ? "/" : item.path.substr(0, slash);
    std::string name = item.path.substr(slash + 1);
    out.emplace();
    Prepared& p = *out;
    p.parent.reset(::open(parent.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!p.parent.valid()) return systemMessage(errno);
    auto facts = factsAt(p.parent.get(), name.c_str());
    if (!facts) return systemMessage(errno);
    item.device = facts->identity.device;
    if (Failure why = preflight(item, *facts)) return why;
    p.item = std::move(item);
    p.name = std::move(name);
    p.facts = *facts;
    return std::nullopt;
}

}  // namespace

Outcome shred(const std::vector<ScanItem>& items, int passes, const ScanToken& token,
              const ProgressCallback& progress) {
    Outcome outcome;
    FS::SeenSet seen;
    passes = std::max(passes, 1);
    const size_t n = items.size();
    for (size_t i = 0; i < n; ++i) {
        if (token.isCancelled()) break;
        const ScanItem& item = items[i];
        if (progress) progress(double(i) / double(n), "Shredding " + item.name + "\u2026");
        std::optional<Prepared> prepared;
        Failure failure = prepare(item.url, passes, prepared);
        int64_t size = 0;
        if (!failure) {
            size = FS::size(prepared->item.path, seen);
            failure = shredEntry(prepared->item, prepared->parent.get(), prepared->name, prepared->facts, "");
        }
        if (failure) {
            outcome.failures.push_back(item.url.string() + ": " + *failure);
            continue;
        }
        ++outcome.shreddedCount;
        outcome.bytes += size;
        outcome.shreddedPaths.push_back(item.url.string());
    }
    if (progress) progress(1.0, "Done");
    return outcome;
}

}  // namespace Shredder
