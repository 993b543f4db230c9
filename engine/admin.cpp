#include "engine/admin.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <climits>
#include <cstdint>
#include <cstring>
#include <mutex>

#include "engine/fs.h"
#include "engine/ignores.h"
#include "engine/removal_guard.h"
#include "platform/atomic_file.h"
#include "platform/authorization.h"
#include "platform/file_facts.h"
#include "platform/locations.h"
#include "platform/remove_tree.h"
#include "platform/resources.h"
#include "platform/text_lines.h"
#include "platform/unicode.h"
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

constexpr std::string_view kRequestHeader = "vessiltane-removal 1";
// Ends the request in the script. Every line of a request begins with a
// keyword, a path line with "path /", so no line of one can end it early.
constexpr std::string_view kRequestEnd = "VESSILTANE-REMOVAL-REQUEST";

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

// The batch: this executable started as root, the request on its standard
// input as a here-document whose delimiter is quoted, so the shell expands
// nothing in it.
std::string batchScript(const std::filesystem::path& helper, const std::vector<std::string>& paths) {
    std::string script = "exec " + quote(helper.native()) + " " + quote(kPrivilegedRemovalSwitch) + " <<'" +
                         std::string(kRequestEnd) + "'\n";
    script += std::string(kRequestHeader) + "\n";
    script += "home " + Locations::home().native() + "\n";
    script += "root " + Locations::root() + "\n";
    for (const auto& p : paths) script += "path " + p + "\n";
    script += std::string(kRequestEnd);
    return script;
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
        size_t index = 0;
        auto [ptr, ec] = std::from_chars(number.data(), number.data() + number.size(), index);
        if (ec != std::errc() || ptr != number.data() + number.size() || index >= count) continue;
        if (word == "removed" || word == "gone") out[index] = {Reported::Kind::removed, {}};
        else if (word == "failed")
            out[index] = {Reported::Kind::failed, end == std::string_view::npos ? std::string() : std::string(rest.substr(end + 1))};
    }
    return out;
}

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

PrivilegedRemoval removeAsRoot(const std::vector<std::filesystem::path>& paths) {
    PrivilegedRemoval out;
    if (paths.empty()) return out;

    std::vector<std::string> texts;
    texts.reserve(paths.size());
    for (const auto& p : paths) texts.push_back(p.native());

    // A batch holding a path that cannot be quoted onto one line, a relative
    // path or the root of the disk is refused whole: its caller is confused.
    for (const auto& t : texts) {
        if (t.empty() || t.front() != '/' || t.find('\n') != std::string::npos || t.find('\0') != std::string::npos ||
            Locations::standardize(t) == "/") {
            out.failed = texts;
            out.reasons.assign(texts.size(), {});
            return out;
        }
    }

    // What the user said never to touch, and system locations, never reach
    // the root side at all.
    std::vector<bool> refused(texts.size(), false);
    std::vector<std::string> requested;
    std::vector<size_t> requestIndex(texts.size(), SIZE_MAX);
    for (size_t i = 0; i < texts.size(); ++i) {
        refused[i] = RemovalGuard::checkWhole(paths[i]) != RemovalGuard::Verdict::allowed;
        if (refused[i]) continue;
        requestIndex[i] = requested.size();
        // A trailing "/" names the same item; the root side never follows it.
        requested.push_back(Locations::withoutTrailingSlash(texts[i]));
    }

    std::vector<Reported> reported(requested.size());
    if (!requested.empty()) {
        auto helper = helperExecutable();
        // Where the user's home or the system root cannot be written on one
        // line of the request, or the program cannot say where it is, no
        // batch can be run as asked.
        if (!helper || !fitsOnALine(helper->native()) || !fitsOnALine(Locations::home().native()) ||
            !fitsOnALine(Locations::root())) {
            out.failed = texts;
            out.reasons.assign(texts.size(), "The privileged batch cannot be started");
            return out;
        }
        size_t n = requested.size();
        std::string prompt = "Vessiltane needs administrator access to remove " + Decimal::text((long long)n) +
                             " system item" + (n == 1 ? "" : "s") +
                             " from protected locations such as /Library/Caches and /private/var/log.";
        Result r = runAsRoot(batchScript(*helper, requested), prompt);
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
        if (r.ok) reported = reportedOutcomes(r.output, requested.size());
    }

    // Each path as the root side reported it; one it did not report on (the
    // batch broke off) by what the file system shows. The item itself is
    // looked at: a dangling link that is still there was not removed.
    for (size_t i = 0; i < texts.size(); ++i) {
        if (refused[i]) {
            out.failed.push_back(texts[i]);
            out.reasons.push_back(RemovalGuard::text(RemovalGuard::checkWhole(paths[i])));
            continue;
        }
        const Reported& said = reported[requestIndex[i]];
        bool gone = said.kind == Reported::Kind::removed ||
                    (said.kind == Reported::Kind::none && !existsItself(requested[requestIndex[i]]));
        if (gone) {
            out.removed.push_back(texts[i]);
        } else {
            out.failed.push_back(texts[i]);
            out.reasons.push_back(said.reason);
        }
    }
    return out;
}

PrivilegedRemovalRun runPrivilegedRemoval(std::string_view request) {
    PrivilegedRemovalRun run;
    std::vector<std::string_view> lines = TextLines::fields(request, '\n');
    if (!lines.empty() && lines.back().empty()) lines.pop_back();  // the last line's own line feed
    if (lines.size() < 3 || lines[0] != kRequestHeader || lines[1].substr(0, 5) != "home " ||
        lines[2].substr(0, 5) != "root ") {
        run.output = "not a removal request\n";
        return run;
    }
    std::vector<std::string> paths;
    for (size_t k = 3; k < lines.size(); ++k) {
        if (lines[k].substr(0, 5) != "path ") {
            run.output = "not a removal request\n";
            return run;
        }
        paths.emplace_back(lines[k].substr(5));
    }
    // The user's places, as the user's process sees them: the ignore list
    // and the roots every path is reached from.
    const std::string home(lines[1].substr(5));
    ::setenv("HOME", home.c_str(), 1);
    Locations::setRoot(std::string(lines[2].substr(5)));
    Ignores::resetCache();

    for (size_t k = 0; k < paths.size(); ++k) {
        const std::string index = Decimal::text((long long)k);
        RemovalGuard::Verdict verdict = RemovalGuard::checkWhole(paths[k]);
        if (verdict != RemovalGuard::Verdict::allowed) {
            run.output += "failed " + index + " " + RemovalGuard::text(verdict) + "\n";
            continue;
        }
        RemoveTree::Result result = RemoveTree::remove(paths[k]);
        switch (result.status) {
            case RemoveTree::Status::removed: run.output += "removed " + index + "\n"; break;
            case RemoveTree::Status::alreadyGone: run.output += "gone " + index + "\n"; break;
            case RemoveTree::Status::failed:
                run.output += "failed " + index + " " +
                              (result.blocked != Reach::Blocked::none ? FS::blockedText(result.blocked)
                                                                      : std::string(std::strerror(result.error))) +
                              "\n";
                break;
        }
    }
    // The outcomes are in the output; an authorization tool that drops the
    // output of a failing command must still pass them on.
    run.status = 0;
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

}  // namespace Admin
