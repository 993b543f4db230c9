#include "engine/ignores.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <mutex>
#include <optional>
#include <thread>

#include "platform/atomic_file.h"
#include "platform/file_text.h"
#include "platform/locations.h"
#include "platform/reach.h"
#include "platform/walker.h"
#include "platform/unicode.h"

namespace Ignores {
namespace {

std::mutex& lock() {
    static std::mutex m;
    return m;
}

bool isSpaceAt(std::string_view s, size_t i, size_t* length) {
    unsigned char c = static_cast<unsigned char>(s[i]);
    if (c == ' ' || c == '\t') {
        *length = 1;
        return true;
    }
    // Unicode space separators (Zs) other than the ASCII space.
    static const std::string_view spaces[] = {
        "\xC2\xA0",     "\xE1\x9A\x80", "\xE2\x80\x80", "\xE2\x80\x81", "\xE2\x80\x82", "\xE2\x80\x83",
        "\xE2\x80\x84", "\xE2\x80\x85", "\xE2\x80\x86", "\xE2\x80\x87", "\xE2\x80\x88", "\xE2\x80\x89",
        "\xE2\x80\x8A", "\xE2\x80\xAF", "\xE2\x81\x9F", "\xE3\x80\x80",
    };
    for (auto sp : spaces)
        if (s.substr(i, sp.size()) == sp) {
            *length = sp.size();
            return true;
        }
    return false;
}

std::string_view trim(std::string_view s) {
    size_t len = 0;
    while (!s.empty() && isSpaceAt(s, 0, &len)) s.remove_prefix(len);
    // Trailing: test each known width from the end.
    bool trimmed = true;
    while (!s.empty() && trimmed) {
        trimmed = false;
        for (size_t w = 1; w <= 3 && w <= s.size(); ++w) {
            if (isSpaceAt(s, s.size() - w, &len) && len == w) {
                s.remove_suffix(w);
                trimmed = true;
                break;
            }
        }
    }
    return s;
}

// The entry as it is matched: tilde-expanded unless it begins with "/", and
// without trailing slashes ("/Keep/" covers /Keep like "/Keep").
std::string matchForm(const std::string& entry) {
    std::string e = entry.empty() || entry.front() == '/' ? entry : Locations::expandTilde(entry);
    // Compared paths are standardised, so an entry is too: written with "..",
    // "." or doubled slashes it still names, and keeps, the same place.
    if (!e.empty() && e.front() == '/') e = Locations::standardize(e);
    // A line that is not UTF-8 stays as it is, and is matched byte for byte.
    return Unicode::nfc(e);
}

// Where the entry's place really is, when a link on the way leads elsewhere.
std::optional<std::string> realForm(const std::string& form) {
    if (form.empty() || form.front() != '/' || form.find('\0') != std::string::npos) return std::nullopt;
    auto real = Locations::realPath(form);
    if (!real) return std::nullopt;
    std::string r = Unicode::nfc(*real);
    if (r == form) return std::nullopt;
    return r;
}

// One entry as it is compared: as written (expanded and standardised), and
// where it really is.
struct Form {
    std::string written;
    std::optional<std::string> real;
};

// What identifies one version of the file: every write replaces it by a
// rename, so another process's edit shows as another inode or change time.
struct Stamp {
    bool present = false;
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    int64_t changedNs = 0;
    int64_t modifiedNs = 0;
    bool operator==(const Stamp&) const = default;
};

Stamp stampOf(const std::filesystem::path& file) {
    struct stat st{};
    if (::lstat(file.c_str(), &st) != 0) return {};
#ifdef __APPLE__
    const auto& c = st.st_ctimespec;
    const auto& m = st.st_mtimespec;
#else
    const auto& c = st.st_ctim;
    const auto& m = st.st_mtim;
#endif
    return {true, st.st_dev, st.st_ino, st.st_size, int64_t(c.tv_sec) * 1000000000 + c.tv_nsec,
            int64_t(m.tv_sec) * 1000000000 + m.tv_nsec};
}

struct List {
    std::vector<std::string> entries;
    std::vector<Form> forms;
    std::optional<std::string> unreadable;  // the file is there but could not be read
    std::optional<std::string> invalid;     // read, but an entry names no absolute path
    Stamp stamp;                            // of the file the list was read from
};

std::vector<Form> formsOf(const std::vector<std::string>& entries) {
    std::vector<Form> out;
    out.reserve(entries.size());
    for (const auto& e : entries) {
        Form f{matchForm(e), std::nullopt};
        f.real = realForm(f.written);
        out.push_back(std::move(f));
    }
    return out;
}

std::optional<List> cached;

// A list larger than this is no list of paths someone keeps by hand.
constexpr size_t kMaxFileBytes = 16 * 1024 * 1024;

std::string unreadableReason(int error) {
    switch (error) {
        case EINVAL: return "it is not a regular file";
        case ELOOP: return "a symbolic link stands in its place";
        case EFBIG: return "it is larger than 16 MB";
        default: return std::strerror(error);
    }
}

// An entry that names no absolute path once read (a hand-written "Documents",
// a "~user" that is no user) protects nothing anyone can tell: the list is
// then not to be trusted for removal, like one that cannot be read.
std::optional<std::string> invalidEntry(const std::vector<Form>& forms, const std::vector<std::string>& entries) {
    for (size_t k = 0; k < forms.size(); ++k) {
        if (!forms[k].written.empty() && forms[k].written.front() == '/') continue;
        // A line of garbage may be long: enough of it to find it by.
        constexpr size_t kShown = 120;
        const std::string& e = entries[k];
        const std::string named = e.size() > kShown ? e.substr(0, kShown) + "\xE2\x80\xA6" : e;
        return "its entry \"" + named + "\" is not an absolute path";
    }
    return std::nullopt;
}

List listOf(std::vector<std::string> entries, Stamp stamp) {
    List list;
    list.entries = std::move(entries);
    list.forms = formsOf(list.entries);
    list.invalid = invalidEntry(list.forms, list.entries);
    list.stamp = stamp;
    return list;
}

List readList() {
    const Stamp stamp = stampOf(fileURL());
    int error = 0;
    auto bytes = FileText::readOwn(fileURL(), kMaxFileBytes, &error);
    if (bytes) return listOf(parse(*bytes), stamp);
    List list;
    list.stamp = stamp;
    if (error != ENOENT && error != ENOTDIR) {
        // It is there, but what it protects is unknown: nothing may be removed.
        list.unreadable = unreadableReason(error);
    }
    return list;
}

// The cached list, read from the file first when needed, and again when the
// file changed since (another process edited it), so a long-lived process
// never removes what was added meanwhile. Called with the lock held.
const List& loaded() {
    if (!cached || cached->stamp != stampOf(fileURL())) cached = readList();
    return *cached;
}

// An advisory lock on a file beside the list, held for a whole
// read-modify-write, so two edits at once (two `ignore add`, the window and
// the command line, two threads: each opens the file for itself, and a lock
// of one open file holds off every other) never lose each other's entries.
class FileLock {
public:
    FileLock() {
        const auto path = Locations::supportFolder() / "ignore.txt.lock";
        fd_.reset(::open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0600));
        struct stat st{};
        if (!fd_.valid() || ::fstat(fd_.get(), &st) != 0 || !S_ISREG(st.st_mode)) {
            fd_.reset();
            return;
        }
        // A process that holds the lock for long is stuck: give up after a
        // while rather than hang the caller.
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (::flock(fd_.get(), LOCK_EX | LOCK_NB) != 0) {
            if ((errno != EWOULDBLOCK && errno != EINTR) || std::chrono::steady_clock::now() > deadline) {
                fd_.reset();
                return;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        held_ = true;
    }
    ~FileLock() {
        if (held_) ::flock(fd_.get(), LOCK_UN);
    }
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;
    bool held() const { return held_; }

private:
    FileHandle fd_;
    bool held_ = false;
};

// Temporary files a write killed half-way left beside the list. Only a writer
// holding the lock makes one, so any found while it is held is a leftover.
void removeLeftovers() {
    const std::string prefix = fileURL().filename().native() + ".tmp-";
    Reach::Folder folder = Reach::folder(Locations::supportFolder(), Reach::Use::entries);
    if (!folder.reached()) return;
    for (const auto& name : Walker::list(Locations::supportFolder()))
        if (name.size() > prefix.size() && name.compare(0, prefix.size(), prefix) == 0)
            ::unlinkat(folder.fd.get(), name.c_str(), 0);  // a folder of that name stays
}

// Reads the list from the file under the lock, lets change() edit its
// entries (false: nothing to do), and writes it back. Every edit, from the
// command line, the window or the daily job, goes through here.
template <class Change>
Edit edit(Change&& change) {
    if (!AtomicFile::makeFolders(Locations::supportFolder())) return Edit::writeFailed;
    FileLock fileLock;
    // No lock, no edit; but a list that cannot be read is said to be so.
    if (!fileLock.held()) return readList().unreadable ? Edit::unreadable : Edit::writeFailed;
    List current = readList();
    {
        std::lock_guard guard(lock());
        cached = current;
    }
    // Rewriting a list that could not be read would lose what it holds.
    if (current.unreadable) return Edit::unreadable;
    std::vector<std::string> entries = current.entries;
    if (!change(entries)) return Edit::unchanged;
    removeLeftovers();
    const bool written = AtomicFile::write(fileURL(), render(entries));
    std::lock_guard guard(lock());
    if (!written) {
        cached.reset();
        return Edit::writeFailed;
    }
    cached = listOf(std::move(entries), stampOf(fileURL()));
    return Edit::changed;
}

// The forms to compare with, their real paths looked up now when asked.
std::vector<Form> currentForms(RealPaths realPaths) {
    std::vector<Form> forms;
    {
        std::lock_guard guard(lock());
        forms = loaded().forms;
    }
    if (realPaths == RealPaths::fresh)
        for (auto& f : forms) f.real = realForm(f.written);
    return forms;
}

bool covers(const std::string& entry, const std::string& p) {
    if (entry.empty() || entry.front() != '/') return false;
    if (entry == "/") return true;  // the whole disk is on the list
    if (p == entry) return true;
    return p.size() > entry.size() && p.compare(0, entry.size(), entry) == 0 && p[entry.size()] == '/';
}

}  // namespace

const std::string_view header =
    "# Vessiltane ignore list.\n"
    "# One absolute path per line. Anything listed here \xE2\x80\x94 and everything\n"
    "# inside it \xE2\x80\x94 is never scanned and never removed.\n"
    "#\n";

std::filesystem::path fileURL() { return Locations::supportFolder() / "ignore.txt"; }

std::vector<std::string> parse(std::string_view text) {
    // An editor may begin the file with a byte-order mark; it is no part of
    // the first entry.
    constexpr std::string_view bom = "\xEF\xBB\xBF";
    if (text.substr(0, bom.size()) == bom) text.remove_prefix(bom.size());
    std::vector<std::string> out;
    // A hand-edited file may end its lines with LF, CR LF or CR alone.
    while (!text.empty()) {
        const size_t end = text.find_first_of("\r\n");
        std::string_view line = trim(text.substr(0, end));
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        if (line.empty() || line.front() == '#') continue;
        out.emplace_back(line);
    }
    return out;
}

std::string render(std::vector<std::string> entries) {
    std::sort(entries.begin(), entries.end(),
              [](const std::string& a, const std::string& b) { return Unicode::nfc(a) < Unicode::nfc(b); });
    std::string text(header);
    for (size_t k = 0; k < entries.size(); ++k) {
        if (k) text += '\n';
        text += entries[k];
    }
    text += '\n';
    return text;
}

std::vector<std::string> paths() {
    std::lock_guard guard(lock());
    return loaded().entries;
}

std::optional<std::string> unreadable() {
    std::lock_guard guard(lock());
    const List& list = loaded();
    return list.unreadable ? list.unreadable : list.invalid;
}

std::optional<std::string> unstorable(std::string_view entry) {
    if (entry.empty()) return "it is empty";
    for (char c : entry)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
            return "it holds a control character (a line break, a tab or the like)";
    if (trim(entry) != entry) return "it begins or ends with white space";
    if (entry.front() == '#') return "it would read as a comment";
    if (entry.front() != '/') return "it is not an absolute path";
    return std::nullopt;
}

Edit add(std::string_view path) {
    std::string value = !path.empty() && path.front() == '/' ? std::string(path) : Locations::expandTilde(path);
    if (unstorable(value)) return Edit::refused;
    return edit([&](std::vector<std::string>& list) {
        for (const auto& e : list)
            if (Unicode::equal(e, value)) return false;
        list.push_back(value);
        return true;
    });
}

Edit remove(std::string_view path) {
    return edit([&](std::vector<std::string>& list) {
        return std::erase_if(list, [&](const std::string& e) { return Unicode::equal(e, path); }) > 0;
    });
}

bool isIgnored(const std::filesystem::path& path, RealPaths realPaths) {
    std::string p = Unicode::nfc(Locations::standardize(path.native()));
    for (const auto& f : currentForms(realPaths))
        if (covers(f.written, p) || (f.real && covers(*f.real, p))) return true;
    return false;
}

bool holdsIgnored(const std::filesystem::path& path, RealPaths realPaths) {
    std::string p = Unicode::nfc(Locations::standardize(path.native()));
    if (p.empty() || p.front() != '/') return false;
    if (p != "/") p += '/';
    auto inside = [&](const std::string& e) { return e.size() > p.size() && e.compare(0, p.size(), p) == 0; };
    for (const auto& f : currentForms(realPaths))
        if (inside(f.written) || (f.real && inside(*f.real))) return true;
    return false;
}

void resetCache() {
    std::lock_guard guard(lock());
    cached.reset();
}

}  // namespace Ignores
