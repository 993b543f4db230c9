#include "engine/admin.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "engine/fs.h"
#include "engine/ignores.h"
#include "engine/removal_guard.h"
#include "platform/atomic_file.h"
#include "platform/authorization.h"
#include "platform/file_facts.h"
#include "platform/locations.h"
#include "platform/reach.h"
#include "platform/remove_tree.h"
#include "platform/root_pin.h"
#include "platform/resources.h"
#include "platform/text_lines.h"
#include "platform/unicode.h"
#include "platform/user.h"
#include "platform/uuid.h"
#include "platform/decimal.h"

extern char** environ;

namespace Admin {
namespace {

std::mutex seamLock;
Runner testRunner;
PrivilegedBackend testBackend;

// Held while a pipe is created and handed to a child, so a command started on
// another thread at the same moment never inherits this command's write end
// (which would keep the read below from ever seeing the end).
std::mutex spawnLock;

Result launchFailure(int error) {
    Result r;
    r.output = std::strerror(error);
    return r;
}

Result spawnShell(const std::string& commandLine, bool mergeStderr) {
    int fds[2];
    pid_t pid = -1;
    {
        std::lock_guard guard(spawnLock);
        if (::pipe(fds) != 0) return launchFailure(errno);
        ::fcntl(fds[0], F_SETFD, FD_CLOEXEC);
        ::fcntl(fds[1], F_SETFD, FD_CLOEXEC);

        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
        if (mergeStderr) posix_spawn_file_actions_adddup2(&actions, fds[1], STDERR_FILENO);
        else posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);

        std::string shell = "/bin/sh";
        std::string dashC = "-c";
        std::string line = commandLine;
        char* argv[] = {shell.data(), dashC.data(), line.data(), nullptr};
        int rc = ::posix_spawn(&pid, shell.c_str(), &actions, nullptr, argv, environ);
        posix_spawn_file_actions_destroy(&actions);
        ::close(fds[1]);
        if (rc != 0) {
            ::close(fds[0]);
            return launchFailure(rc);
        }
    }

    // Drain the pipe first: a child that fills it would otherwise never exit.
    std::string bytes;
    char buf[65536];
    for (;;) {
        ssize_t n = ::read(fds[0], buf, sizeof buf);
        if (n > 0) bytes.append(buf, size_t(n));
        else if (n == 0 || errno != EINTR) break;
    }
    ::close(fds[0]);

    int status = 0;
    pid_t waited;
    while ((waited = ::waitpid(pid, &status, 0)) < 0 && errno == EINTR) {
    }
    // Without a status nothing says the command succeeded.
    if (waited < 0) return launchFailure(errno);
    Result r;
    if (WIFEXITED(status)) r.exitStatus = WEXITSTATUS(status);
    else if (WIFSIGNALED(status)) r.exitStatus = 128 + WTERMSIG(status);
    r.ok = r.exitStatus == 0;
    if (Unicode::isValidUtf8(bytes)) r.output = std::move(bytes);
    return r;
}

// Text for a double-quoted AppleScript string literal.
std::string appleScriptString(std::string_view text) {
    std::string out = "\"";
    for (char c : text) {
        if (c == '\\') out += "\\\\";
        else if (c == '"') out += "\\\"";
        else out += c;
    }
    out += '"';
    return out;
}

Result viaOsascript(const std::filesystem::path& script, const std::optional<std::string>& prompt) {
    // The script's path goes to the root shell quoted, whatever folder the
    // temporary folder is.
    std::string source = "do shell script " + appleScriptString("/bin/sh " + quote(script.native())) +
                         " with administrator privileges";
    if (prompt) source += " with prompt " + appleScriptString(*prompt);
    Result r = run(quote(Authorization::toolPath(Authorization::Tool::osascript).native()) + " -e " + quote(source),
                   true);
    // Only a run that failed can have been cancelled: the output of a
    // completed script may well mention "-128" (a removed path, say).
    if (!r.ok && (r.output.find("-128") != std::string::npos ||
                  Unicode::contains(Unicode::lower(r.output), Unicode::lower("User canceled"))))
        r.cancelled = true;
    return r;
}

bool startsWith(std::string_view text, std::string_view prefix) { return text.substr(0, prefix.size()) == prefix; }

Result viaPkexec(const std::filesystem::path& script) {
    Result r = run(quote(Authorization::toolPath(Authorization::Tool::pkexec).native()) + " /bin/sh " +
                       quote(script.native()),
                   true);
    // pkexec exits 126 when the prompt was dismissed and 127 when it could not
    // authorise at all, but a script may exit with those too. pkexec's refusal
    // comes with its own message and without a word from the script, which
    // never ran.
    static constexpr std::string_view refusal = "Error executing command as another user:";
    bool refused = startsWith(r.output, refusal) || startsWith(r.output, "Error checking for authorization") ||
                   startsWith(r.output, "pkexec must be setuid root") ||
                   startsWith(r.output, "Refusing to render service to dead parents");
    if (r.exitStatus == 126 && startsWith(r.output, refusal)) r.cancelled = true;
    else if (r.exitStatus == 127 && refused) r.authorizationUnavailable = true;
    return r;
}

Result viaSystemTool(const std::filesystem::path& script, const std::optional<std::string>& prompt) {
    switch (Authorization::available()) {
        case Authorization::Tool::osascript: return viaOsascript(script, prompt);
        case Authorization::Tool::pkexec: return viaPkexec(script);
        case Authorization::Tool::none: break;
    }
    Result r;
    r.output = "No tool to obtain administrator rights is installed";
    r.exitStatus = 127;
    r.authorizationUnavailable = true;
    return r;
}

std::mutex helperLock;
std::optional<std::filesystem::path> helperOverride;
std::function<void()> rootSideHook;

constexpr std::string_view kRequestHeader = "vessiltane-removal 3";
// Ends the request in the script. Every line of a request begins with a
// keyword, a path line with "path /", so no line of one can end it early.
constexpr std::string_view kRequestEnd = "VESSILTANE-REMOVAL-REQUEST";

constexpr std::string_view kNotAttempted = "Not attempted: another item in the batch could not be sent safely";
constexpr std::string_view kOtherLocation = "Not attempted: the location of another item in the batch could not be trusted";
constexpr std::string_view kChanged = "The location changed while waiting for approval";
constexpr std::string_view kUnreachable = "Its location cannot be reached without passing a symbolic link";
constexpr std::string_view kNotTheirs = "The home folder does not belong to the user who asked";
constexpr std::string_view kNotTheAsker = "The request does not come from the user it names";
constexpr std::string_view kOutside = "Not inside a location the request names";

std::optional<std::filesystem::path> helperExecutable() {
    {
        std::lock_guard guard(helperLock);
        if (helperOverride) return helperOverride;
    }
    return Resources::executablePath();
}

bool fitsOnALine(std::string_view text) {
    return text.find('\n') == std::string_view::npos && text.find('\0') == std::string_view::npos;
}

// Why a path cannot go to the root side at all; nothing when it can.
std::optional<std::string> unsendable(const std::string& path) {
    if (path.find('\n') != std::string::npos)
        return "Its name holds a line feed, which cannot be sent to the administrator batch";
    if (path.find('\0') != std::string::npos)
        return "Its name holds a NUL character, which cannot be sent to the administrator batch";
    if (path.empty() || path.front() != '/') return RemovalGuard::text(RemovalGuard::Verdict::invalid);
    if (Locations::standardize(path) == "/") return std::string("The whole disk is never removed");
    return std::nullopt;
}

// A location root as the user's side saw it: its real path and the file
// object that was there.
struct Location {
    std::string real;
    FileIdentity identity;
};

// What the user's side asks of the root side.
struct Request {
    uid_t uid = 0;                     // the real uid of the process that asked
    std::string root;                  // the system root's real path ("" for "/")
    Location home;                     // the home named: the ignore list's and a location
    std::vector<Location> locations;   // the other roots the paths lie in
    std::vector<std::string> paths;    // each written from its root's real path
    std::vector<MeasuredObject> measured;  // the object measured at each path
};

// "<type> <device> <inode> <size> <seconds> <nanoseconds>": what the user's
// side measured at the path that follows.
std::string measuredText(const MeasuredObject& m) {
    const char* type = m.type == FileType::directory ? "d"
                       : m.type == FileType::regular ? "f"
                       : m.type == FileType::symlink ? "l"
                                                     : "o";
    return std::string(type) + " " + Decimal::text(m.identity.device) + " " + Decimal::text(m.identity.inode) + " " +
           Decimal::text((long long)m.size) + " " + Decimal::text((long long)m.modified.tv_sec) + " " +
           Decimal::text((long long)m.modified.tv_nsec);
}

std::optional<MeasuredObject> parseMeasured(std::string_view text) {
    std::vector<std::string_view> words = TextLines::fields(text, ' ');
    if (words.size() != 6 || words[0].size() != 1) return std::nullopt;
    MeasuredObject m;
    switch (words[0][0]) {
        case 'd': m.type = FileType::directory; break;
        case 'f': m.type = FileType::regular; break;
        case 'l': m.type = FileType::symlink; break;
        case 'o': m.type = FileType::other; break;
        default: return std::nullopt;
    }
    auto device = Decimal::parse<uint64_t>(words[1]);
    auto inode = Decimal::parse<uint64_t>(words[2]);
    auto size = Decimal::parse<int64_t>(words[3]);
    auto seconds = Decimal::parse<int64_t>(words[4]);
    auto nanoseconds = Decimal::parse<int64_t>(words[5]);
    if (!device || !inode || !size || !seconds || !nanoseconds || *nanoseconds < 0 || *nanoseconds >= 1000000000)
        return std::nullopt;
    m.identity = {*device, *inode};
    m.size = *size;
    m.modified.tv_sec = time_t(*seconds);
    m.modified.tv_nsec = long(*nanoseconds);
    return m;
}

std::string locationText(const Location& l) {
    return Decimal::text(l.identity.device) + " " + Decimal::text(l.identity.inode) + " " + l.real;
}

// The batch: this executable started as root, the request on its standard
// input as a here-document whose delimiter is quoted, so the shell expands
// nothing in it.
std::string batchScript(const std::filesystem::path& helper, const Request& request) {
    std::string script = "exec " + quote(helper.native()) + " " + quote(kPrivilegedRemovalSwitch) + " <<'" +
                         std::string(kRequestEnd) + "'\n";
    script += std::string(kRequestHeader) + "\n";
    script += "uid " + Decimal::text(request.uid) + "\n";
    script += "root " + request.root + "\n";
    script += "home " + locationText(request.home) + "\n";
    for (const auto& l : request.locations) script += "location " + locationText(l) + "\n";
    for (size_t k = 0; k < request.paths.size(); ++k) {
        script += "measured " + measuredText(request.measured[k]) + "\n";
        script += "path " + request.paths[k] + "\n";
    }
    script += std::string(kRequestEnd);
    return script;
}

// "<device> <inode> <absolute real path>"
std::optional<Location> parseLocation(std::string_view text) {
    size_t first = text.find(' ');
    if (first == std::string_view::npos) return std::nullopt;
    size_t second = text.find(' ', first + 1);
    if (second == std::string_view::npos) return std::nullopt;
    auto device = Decimal::parse<uint64_t>(text.substr(0, first));
    auto inode = Decimal::parse<uint64_t>(text.substr(first + 1, second - first - 1));
    std::string real(text.substr(second + 1));
    if (!device || !inode || real.empty() || real.front() != '/') return std::nullopt;
    return Location{real, {*device, *inode}};
}

std::optional<std::string_view> field(std::string_view line, std::string_view keyword) {
    if (line.size() < keyword.size() + 1 || line.substr(0, keyword.size()) != keyword || line[keyword.size()] != ' ')
        return std::nullopt;
    return line.substr(keyword.size() + 1);
}

std::optional<Request> parseRequest(std::string_view text) {
    std::vector<std::string_view> lines = TextLines::fields(text, '\n');
    if (!lines.empty() && lines.back().empty()) lines.pop_back();  // the last line's own line feed
    if (lines.size() < 4 || lines[0] != kRequestHeader) return std::nullopt;
    Request request;
    auto uid = field(lines[1], "uid");
    auto root = field(lines[2], "root");
    auto home = field(lines[3], "home");
    if (!uid || !root || !home) return std::nullopt;
    auto uidNumber = Decimal::parse<uid_t>(*uid);
    auto homeLocation = parseLocation(*home);
    if (!uidNumber || !homeLocation) return std::nullopt;
    request.uid = *uidNumber;
    request.root = std::string(*root);
    request.home = *homeLocation;
    size_t k = 4;
    for (; k < lines.size(); ++k) {
        auto location = field(lines[k], "location");
        if (!location) break;
        auto parsed = parseLocation(*location);
        if (!parsed) return std::nullopt;
        request.locations.push_back(std::move(*parsed));
    }
    // Every path comes after the object measured there.
    for (; k < lines.size(); k += 2) {
        auto measuredLine = field(lines[k], "measured");
        if (!measuredLine || k + 1 >= lines.size()) return std::nullopt;
        auto measured = parseMeasured(*measuredLine);
        auto path = field(lines[k + 1], "path");
        if (!measured || !path || path->empty() || path->front() != '/') return std::nullopt;
        request.measured.push_back(*measured);
        request.paths.emplace_back(*path);
    }
    return request;
}

// The location (by its place in the list) a path lies in: the longest one.
std::optional<size_t> locationOf(const std::string& path, const std::vector<Location>& locations) {
    std::optional<size_t> best;
    for (size_t k = 0; k < locations.size(); ++k)
        if (Locations::isWithin(path, locations[k].real) && (!best || locations[k].real.size() > locations[*best].real.size()))
            best = k;
    return best;
}

// A location root opened from "/" without passing a link and judged safe for
// the user (see RootPin): why it cannot be trusted, or nothing. The identity
// is the one the user's side saw, when the root side checks it.
struct Pinned {
    RootPin::Opened opened;
    std::optional<std::string> refusal;
};
Pinned pin(const Location& location, uid_t uid, bool isHome, bool expectIdentity, std::string_view unreachable) {
    Pinned p{RootPin::open(location.real, uid), std::nullopt};
    if (p.opened.problem == RootPin::Problem::unsafe)
        p.refusal = "A folder on the way to it can be changed by another user: " + p.opened.folder;
    else if (!p.opened.reached())
        p.refusal = std::string(unreachable);
    else if (expectIdentity && !(p.opened.identity == location.identity))
        p.refusal = std::string(kChanged);
    else if (isHome && p.opened.owner != uid)
        p.refusal = std::string(kNotTheirs);
    return p;
}

// The text for each path of a batch that is refused whole because a location
// cannot be trusted: a path in such a location gets the location's reason,
// every other path that it was not attempted.
std::vector<std::string> refusedWhole(const std::vector<std::string>& paths, const std::vector<Location>& locations,
                                      const std::vector<std::optional<std::string>>& refusals) {
    std::vector<std::string> out;
    for (const auto& p : paths) {
        auto k = locationOf(p, locations);
        if (!k) out.emplace_back(kOutside);
        else if (refusals[*k]) out.push_back(*refusals[*k]);
        else out.emplace_back(kOtherLocation);
    }
    return out;
}

struct Reported {
    enum class Kind { none, removed, failed } kind = Kind::none;
    std::string reason;
};

// What the root side said of each path, by its position in the request. The
// authorization tool may have turned line feeds into carriage returns.
std::vector<Reported> reportedOutcomes(std::string output, size_t count) {
    std::vector<Reported> out(count);
    std::replace(output.begin(), output.end(), '\r', '\n');
    for (std::string_view line : TextLines::nonEmpty(output)) {
        size_t space = line.find(' ');
        if (space == std::string_view::npos) continue;
        std::string_view word = line.substr(0, space);
        std::string_view rest = line.substr(space + 1);
        size_t end = rest.find(' ');
        std::string_view number = rest.substr(0, end);
        const std::optional<size_t> parsed = Decimal::parse<size_t>(number);
        if (!parsed || *parsed >= count) continue;
        const size_t index = *parsed;
        if (word == "removed" || word == "gone") out[index] = {Reported::Kind::removed, {}};
        else if (word == "failed")
            out[index] = {Reported::Kind::failed, end == std::string_view::npos ? std::string() : std::string(rest.substr(end + 1))};
    }
    return out;
}

// Roots stay pinned while the root side removes, and no longer.
struct PinnedRoots {
    explicit PinnedRoots(std::vector<Reach::PinnedRoot> roots) { Reach::pinRoots(std::move(roots)); }
    ~PinnedRoots() { Reach::unpinRoots(); }
    PinnedRoots(const PinnedRoots&) = delete;
    PinnedRoots& operator=(const PinnedRoots&) = delete;
};

}  // namespace

std::string quote(std::string_view argument) {
    std::string out = "'";
    for (char c : argument) {
        if (c == '\'') out += "'\\''";
        else out += c;
    }
    out += '\'';
    return out;
}

std::string tool(std::string_view absolute) { return quote(Locations::system(absolute).native()); }

Result run(const std::string& commandLine, bool mergeStderr) {
    Runner runner;
    {
        std::lock_guard guard(seamLock);
        runner = testRunner;
    }
    if (runner) return runner(commandLine, mergeStderr);
    return spawnShell(commandLine, mergeStderr);
}

Result runAsRoot(const std::string& script, const std::optional<std::string>& prompt) {
    std::error_code ec;
    std::filesystem::path folder = std::filesystem::temp_directory_path(ec);
    if (ec) {
        Result r;
        r.output = ec.message();
        return r;
    }
    std::filesystem::path file = folder / ("vessiltane-" + Uuid::random().string() + ".sh");
    std::string error;
    if (!AtomicFile::write(file, "#!/bin/sh\nset -u\n" + script + "\n", &error, 0700)) {
        Result r;
        r.output = error;
        return r;
    }
    if (::chmod(file.c_str(), 0700) != 0) {
        Result r = launchFailure(errno);
        ::unlink(file.c_str());
        return r;
    }

    PrivilegedBackend backend;
    {
        std::lock_guard guard(seamLock);
        backend = testBackend;
    }
    Result r = backend ? backend(file, prompt) : viaSystemTool(file, prompt);
    ::unlink(file.c_str());
    return r;
}

PrivilegedRemoval removeAsRoot(const std::vector<Target>& targets) {
    PrivilegedRemoval out;
    if (targets.empty()) return out;
    std::vector<std::filesystem::path> paths;
    paths.reserve(targets.size());
    for (const auto& t : targets) paths.push_back(t.path);

    std::vector<std::string> texts;
    texts.reserve(paths.size());
    for (const auto& p : paths) texts.push_back(p.native());

    // A batch holding a path that cannot be written on one line of the
    // request, a relative path or the root of the disk is refused whole: its
    // caller is confused. The path at fault says why, the others that they
    // were not attempted.
    std::vector<std::optional<std::string>> why(texts.size());
    bool refusedWholeBatch = false;
    for (size_t i = 0; i < texts.size(); ++i) {
        why[i] = unsendable(texts[i]);
        if (why[i]) refusedWholeBatch = true;
    }
    if (refusedWholeBatch) {
        out.failed = texts;
        for (const auto& w : why) out.reasons.push_back(w ? *w : std::string(kNotAttempted));
        return out;
    }

    // What the user said never to touch, and system locations, never reach
    // the root side at all; nor does a path whose location is gone (nothing
    // can be there) or cannot be reached.
    enum class Fate { sent, refused, gone, unreachable, unmeasured };
    std::vector<Fate> fate(texts.size(), Fate::sent);
    Request request;
    request.uid = ::getuid();
    std::vector<size_t> requestIndex(texts.size(), SIZE_MAX);
    std::vector<std::string> roots;  // the real path of each sent path's root
    for (size_t i = 0; i < texts.size(); ++i) {
        if (RemovalGuard::checkWhole(paths[i]) != RemovalGuard::Verdict::allowed) {
            fate[i] = Fate::refused;
            continue;
        }
        if (!targets[i].measured) {
            fate[i] = existsItself(paths[i]) ? Fate::unmeasured : Fate::gone;
            continue;
        }
        // A trailing "/" names the same item; the root side never follows it.
        const std::string item = Locations::withoutTrailingSlash(texts[i]);
        auto start = Reach::startOf(item);
        if (!start) {
            fate[i] = existsItself(item) ? Fate::unreachable : Fate::gone;
            continue;
        }
        requestIndex[i] = request.paths.size();
        request.paths.push_back(start->path);
        request.measured.push_back(*targets[i].measured);
        roots.push_back(start->rootReal);
    }

    std::vector<Reported> reported(request.paths.size());
    if (!request.paths.empty()) {
        auto helper = helperExecutable();
        const std::string systemRoot = Locations::root();
        request.root = systemRoot.empty() ? systemRoot : Locations::realPath(systemRoot).value_or(systemRoot);
        auto homeReal = Locations::realPath(Locations::home().native());
        // Where the program cannot say where it is, the home it acts for is
        // not there, or a place cannot be written on one line of the request
        // (a location whose real path holds a line feed), no batch can be run
        // as asked.
        const bool writable = std::all_of(request.paths.begin(), request.paths.end(), fitsOnALine) &&
                              std::all_of(roots.begin(), roots.end(), fitsOnALine);
        if (!helper || !fitsOnALine(helper->native()) || !homeReal || !fitsOnALine(*homeReal) ||
            !fitsOnALine(request.root) || !writable) {
            out.failed = texts;
            out.reasons.assign(texts.size(), "The privileged batch cannot be started");
            return out;
        }

        // Each location root, taken hold of as the root side will and judged
        // by the same rules, so a root that will be refused is refused before
        // anyone is asked for a password. Its identity goes with the request.
        std::vector<Location> locations{{*homeReal, {}}};
        for (const auto& r : roots)
            if (std::none_of(locations.begin(), locations.end(), [&](const Location& l) { return l.real == r; }))
                locations.push_back({r, {}});
        std::vector<std::optional<std::string>> refusals;
        bool trusted = true;
        for (size_t k = 0; k < locations.size(); ++k) {
            Pinned p = pin(locations[k], request.uid, k == 0, false, kUnreachable);
            locations[k].identity = p.opened.identity;
            trusted = trusted && !p.refusal;
            refusals.push_back(std::move(p.refusal));
        }
        if (!trusted) {
            std::vector<std::string> sent = refusedWhole(request.paths, locations, refusals);
            out.failed = texts;
            for (size_t i = 0; i < texts.size(); ++i)
                out.reasons.push_back(requestIndex[i] != SIZE_MAX ? sent[requestIndex[i]]
                                      : fate[i] == Fate::refused    ? RemovalGuard::text(RemovalGuard::checkWhole(paths[i]))
                                      : fate[i] == Fate::unmeasured ? std::string(FS::kNotMeasuredText)
                                                                    : std::string(kOtherLocation));
            return out;
        }
        request.home = locations.front();
        request.locations.assign(locations.begin() + 1, locations.end());

        size_t n = request.paths.size();
        std::string prompt = "Vessiltane needs administrator access to remove " + Decimal::text((long long)n) +
                             " system item" + (n == 1 ? "" : "s") +
                             " from protected locations such as /Library/Caches and /private/var/log.";
        Result r = runAsRoot(batchScript(*helper, request), prompt);
        if (r.cancelled) {
            out.cancelled = true;
            return out;
        }
        if (!r.ok && (r.output.empty() || r.authorizationUnavailable)) {
            out.failed = texts;
            out.reasons.assign(texts.size(), {});
            out.authorizationUnavailable = true;
            return out;
        }
        if (r.ok) reported = reportedOutcomes(r.output, request.paths.size());
    }

    // Each path as the root side reported it; one it did not report on (the
    // batch broke off) by what the file system shows. The item itself is
    // looked at: a dangling link that is still there was not removed.
    for (size_t i = 0; i < texts.size(); ++i) {
        switch (fate[i]) {
            case Fate::refused:
                out.failed.push_back(texts[i]);
                out.reasons.push_back(RemovalGuard::text(RemovalGuard::checkWhole(paths[i])));
                continue;
            case Fate::gone: out.removed.push_back(texts[i]); continue;
            case Fate::unmeasured:
                out.failed.push_back(texts[i]);
                out.reasons.emplace_back(FS::kNotMeasuredText);
                continue;
            case Fate::unreachable:
                out.failed.push_back(texts[i]);
                out.reasons.emplace_back(kUnreachable);
                continue;
            case Fate::sent: break;
        }
        const Reported& said = reported[requestIndex[i]];
        bool gone = said.kind == Reported::Kind::removed ||
                    (said.kind == Reported::Kind::none && !existsItself(request.paths[requestIndex[i]]));
        if (gone) {
            out.removed.push_back(texts[i]);
        } else {
            out.failed.push_back(texts[i]);
            out.reasons.push_back(said.reason);
        }
    }
    return out;
}

PrivilegedRemovalRun runPrivilegedRemoval(std::string_view text) {
    PrivilegedRemovalRun run;
    auto request = parseRequest(text);
    if (!request) {
        run.output = "not a removal request\n";
        return run;
    }
    // The outcomes are in the output; an authorization tool that drops the
    // output of a failing command must still pass them on.
    run.status = 0;
    auto refuseAll = [&](const std::vector<std::string>& reasons) {
        for (size_t k = 0; k < request->paths.size(); ++k)
            run.output += "failed " + Decimal::text((long long)k) + " " + reasons[k] + "\n";
    };

    // The user the request names is the one who asked, where the
    // authorization tool says who that was.
    if (const char* asker = std::getenv("PKEXEC_UID")) {
        auto uid = Decimal::parse<uid_t>(asker);
        if (!uid || *uid != request->uid) {
            refuseAll(std::vector<std::string>(request->paths.size(), std::string(kNotTheAsker)));
            return run;
        }
    }

    // Every root is taken hold of from "/" before anything is removed, and
    // must be the folder the user's side saw, where no one but root and the
    // user can change what leads to it. One that is not refuses the batch.
    std::vector<Location> locations{request->home};
    locations.insert(locations.end(), request->locations.begin(), request->locations.end());
    std::vector<std::optional<std::string>> refusals;
    std::vector<Reach::PinnedRoot> pins;
    bool trusted = true;
    for (size_t k = 0; k < locations.size(); ++k) {
        Pinned p = pin(locations[k], request->uid, k == 0, true, kChanged);
        trusted = trusted && !p.refusal;
        refusals.push_back(std::move(p.refusal));
        pins.push_back({locations[k].real, std::move(p.opened.fd)});
    }
    if (!trusted) {
        refuseAll(refusedWhole(request->paths, locations, refusals));
        return run;
    }

    // The user's places as the request names them, whatever this process's
    // environment says (under the authorization tool it is root's): the
    // ignore list, and the system root the protected locations lie under.
    ::setenv("HOME", request->home.real.c_str(), 1);
    const User::ActingFor asker(request->uid);
    Locations::setRoot(request->root);
    Ignores::resetCache();
    PinnedRoots pinned(std::move(pins));
    std::function<void()> hook;
    {
        std::lock_guard guard(helperLock);
        hook = rootSideHook;
    }
    if (hook) hook();

    for (size_t k = 0; k < request->paths.size(); ++k) {
        const std::string& path = request->paths[k];
        const std::string index = Decimal::text((long long)k);
        if (!locationOf(path, locations)) {
            run.output += "failed " + index + " " + std::string(kOutside) + "\n";
            continue;
        }
        RemovalGuard::Verdict verdict = RemovalGuard::checkWhole(path);
        if (verdict != RemovalGuard::Verdict::allowed) {
            run.output += "failed " + index + " " + RemovalGuard::text(verdict) + "\n";
            continue;
        }
        // Only the object the user's side measured: root removes nothing
        // that took its place meanwhile.
        RemoveTree::Result result = RemoveTree::remove(path, &request->measured[k]);
        switch (result.status) {
            case RemoveTree::Status::removed: run.output += "removed " + index + "\n"; break;
            case RemoveTree::Status::alreadyGone: run.output += "gone " + index + "\n"; break;
            case RemoveTree::Status::changed:
                run.output += "failed " + index + " " + std::string(FS::kChangedText) + "\n";
                break;
            case RemoveTree::Status::failed: {
                // Root is refused only by a lock, or by what protects the
                // system itself: the system's own text says which.
                const bool locked =
                    result.refusal == Refusal::lockedFile || result.refusal == Refusal::lockedFolder;
                run.output += "failed " + index + " " +
                              (result.blocked != Reach::Blocked::none || locked
                                   ? FS::failureText(result.error, result.blocked, result.refusal, false)
                                   : std::string(std::strerror(result.error))) +
                              "\n";
                break;
            }
        }
    }
    return run;
}

int privilegedRemovalMain() {
    // The request is small; anything larger is not one.
    constexpr size_t kMaxRequest = 64 * 1024 * 1024;
    std::string request;
    char buf[65536];
    for (;;) {
        ssize_t n = ::read(STDIN_FILENO, buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        request.append(buf, size_t(n));
        if (request.size() > kMaxRequest) return 2;
    }
    PrivilegedRemovalRun run = runPrivilegedRemoval(request);
    const char* p = run.output.data();
    size_t left = run.output.size();
    while (left > 0) {
        ssize_t n = ::write(run.status == 2 ? STDERR_FILENO : STDOUT_FILENO, p, left);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        p += n;
        left -= size_t(n);
    }
    return run.status;
}

bool hasFullDiskAccess() {
    std::filesystem::path safari = Locations::home() / "Library/Safari";
    if (!existsFollowingLinks(safari)) return true;
    return FS::canList(safari);
}

void setRunnerForTesting(Runner runner) {
    std::lock_guard guard(seamLock);
    testRunner = std::move(runner);
}

void setPrivilegedBackendForTesting(PrivilegedBackend backend) {
    std::lock_guard guard(seamLock);
    testBackend = std::move(backend);
}

void setPrivilegedHelperForTesting(std::optional<std::filesystem::path> executable) {
    std::lock_guard guard(helperLock);
    helperOverride = std::move(executable);
}

void setRootSideHookForTesting(std::function<void()> hook) {
    std::lock_guard guard(helperLock);
    rootSideHook = std::move(hook);
}

}  // namespace Admin
