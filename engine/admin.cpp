#include "engine/admin.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <mutex>

#include "engine/fs.h"
#include "engine/removal_guard.h"
#include "platform/atomic_file.h"
#include "platform/authorization.h"
#include "platform/file_facts.h"
#include "platform/locations.h"
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

// One line of the batch: rm's argument and the two marker texts all carry the
// path in single quotes, so nothing in it is ever expanded by the root shell.
std::string removalLine(const std::string& path) {
    std::string q = quote(path);
    return "if rm -rf -- " + q + "; then echo \"ok:\"" + q + "\"\"; else echo \"fail:\"" + q + "\"\"; fi";
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
            return out;
        }
    }

    // What the user said never to touch, and system locations, never reach
    // the root shell.
    std::vector<bool> refused(texts.size(), false);
    std::vector<std::string> lines;
    for (size_t i = 0; i < texts.size(); ++i) {
        refused[i] = RemovalGuard::checkWhole(paths[i]) != RemovalGuard::Verdict::allowed;
        // A trailing "/" would make rm follow a link to a folder.
        if (!refused[i]) lines.push_back(removalLine(Locations::withoutTrailingSlash(texts[i])));
    }

    if (!lines.empty()) {
        std::string script;
        for (size_t i = 0; i < lines.size(); ++i) {
            if (i) script += '\n';
            script += lines[i];
        }
        size_t n = lines.size();
        std::string prompt = "Vessiltane needs administrator access to remove " + Decimal::text((long long)n) +
                             " system item" + (n == 1 ? "" : "s") +
                             " from protected locations such as /Library/Caches and /private/var/log.";
        Result r = runAsRoot(script, prompt);
        if (r.cancelled) {
            out.cancelled = true;
            return out;
        }
        if (!r.ok && (r.output.empty() || r.authorizationUnavailable)) {
            out.failed = texts;
            out.authorizationUnavailable = true;
            return out;
        }
    }

    // Whatever the exit status, the file system says what went. The item
    // itself is looked at: a dangling link rm could not remove is still there.
    for (size_t i = 0; i < texts.size(); ++i) {
        if (refused[i] || existsItself(Locations::withoutTrailingSlash(texts[i]))) out.failed.push_back(texts[i]);
        else out.removed.push_back(texts[i]);
    }
    return out;
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

}  // namespace Admin
