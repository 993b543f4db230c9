#include "platform/workspace.h"

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <map>
#include <mutex>

#ifdef __APPLE__
#include <libproc.h>
#include <sys/proc_info.h>
#endif
#ifdef __linux__
#include <sys/syscall.h>
#endif

#include "platform/clock.h"
#include "platform/file_text.h"
#include "platform/plist.h"
#include "platform/shared_library.h"
#include "platform/user.h"

namespace Workspace {
namespace {

std::mutex overrideLock;
std::shared_ptr<Backend> overrideBackend;

// The innermost folder named *.app above the executable, if any.
std::optional<std::filesystem::path> bundleOf(const std::filesystem::path& executable) {
    std::filesystem::path folder = executable.parent_path();
    while (!folder.empty() && folder != folder.root_path()) {
        if (folder.extension() == ".app" && folder.filename() != ".app") return folder;
        folder = folder.parent_path();
    }
    return std::nullopt;
}

struct BundleFacts {
    std::optional<std::string> identifier;
    std::optional<std::string> name;
    ActivationPolicy policy = ActivationPolicy::regular;
};

std::optional<Plist::Value> infoPlist(const std::filesystem::path& bundle) {
    auto plist = Plist::readFile(bundle / "Contents" / "Info.plist", 1024 * 1024);
    if (!plist || !plist->isDict()) return std::nullopt;
    return plist;
}

// A flag of Info.plist as the system reads it: a boolean, a number other than
// 0, or the text "YES", "true" or "1".
bool flagSet(const Plist::Value& plist, std::string_view key) {
    const Plist::Value* v = plist.get(key);
    if (!v) return false;
    switch (v->type) {
        case Plist::Value::Type::boolean: return v->boolean;
        case Plist::Value::Type::integer: return v->integer != 0;
        case Plist::Value::Type::string:
            return v->text == "1" || v->text == "YES" || v->text == "yes" || v->text == "true" || v->text == "TRUE";
        default: return false;
    }
}

bool insideAnotherBundle(const std::filesystem::path& bundle) { return bundleOf(bundle).has_value(); }

ActivationPolicy policyOf(const std::filesystem::path& bundle, const std::optional<Plist::Value>& plist) {
    if (insideAnotherBundle(bundle)) return ActivationPolicy::prohibited;
    if (!plist) return ActivationPolicy::regular;
    if (flagSet(*plist, "LSBackgroundOnly")) return ActivationPolicy::prohibited;
    if (flagSet(*plist, "LSUIElement")) return ActivationPolicy::accessory;
    return ActivationPolicy::regular;
}

BundleFacts readBundle(const std::filesystem::path& bundle) {
    BundleFacts facts;
    auto plist = infoPlist(bundle);
    if (plist) {
        facts.identifier = plist->string("CFBundleIdentifier");
        facts.name = plist->string("CFBundleName");
    }
    if (!facts.name || facts.name->empty()) facts.name = bundle.stem().string();
    facts.policy = policyOf(bundle, plist);
    return facts;
}

// Fills in what the bundle tells about an application, reading each bundle once per listing.
void describeBundle(RunningApplication& app, std::map<std::string, BundleFacts>& cache) {
    if (!app.executableURL) return;
    auto bundle = bundleOf(*app.executableURL);
    if (!bundle) return;
    auto [it, fresh] = cache.try_emplace(bundle->string());
    if (fresh) it->second = readBundle(*bundle);
    app.bundleURL = *bundle;
    app.bundleIdentifier = it->second.identifier;
    app.localizedName = it->second.name;
    app.activationPolicy = it->second.policy;
}

// A process this one must never signal: the system's first process and itself.
bool isUntouchable(int32_t pid) { return pid <= 1 || pid == int32_t(::getpid()); }

#if defined(__linux__)

struct ProcState {
    char state = '?';
    uint64_t startTime = 0;
};

// The state and start time from /proc/<pid>/stat. The command name sits in
// parentheses and may itself hold parentheses and blanks, so fields are
// counted from the last ")".
std::optional<ProcState> readStat(int32_t pid) {
    auto text = FileText::read("/proc/" + std::to_string(pid) + "/stat", 64 * 1024);
    if (!text) return std::nullopt;
    size_t close = text->rfind(')');
    if (close == std::string::npos) return std::nullopt;
    std::vector<std::string_view> fields;
    std::string_view rest = std::string_view(*text).substr(close + 1);
    size_t i = 0;
    while (i < rest.size()) {
        while (i < rest.size() && rest[i] == ' ') ++i;
        size_t j = rest.find(' ', i);
        if (j == std::string_view::npos) j = rest.size();
        if (j > i) fields.push_back(rest.substr(i, j - i));
        i = j;
    }
    // After the name: state (field 3 of the file) ... starttime (field 22).
    if (fields.size() < 20 || fields[0].empty()) return std::nullopt;
    ProcState s;
    s.state = fields[0][0];
    auto f = fields[19];
    if (std::from_chars(f.data(), f.data() + f.size(), s.startTime).ec != std::errc()) return std::nullopt;
    return s;
}

std::optional<uid_t> readRealUid(int32_t pid) {
    auto text = FileText::read("/proc/" + std::to_string(pid) + "/status", 64 * 1024);
    if (!text) return std::nullopt;
    size_t at = text->find("\nUid:");
    if (at == std::string::npos) return std::nullopt;
    size_t i = at + 5;
    while (i < text->size() && ((*text)[i] == '\t' || (*text)[i] == ' ')) ++i;
    unsigned long long uid = 0;
    auto r = std::from_chars(text->data() + i, text->data() + text->size(), uid);
    if (r.ec != std::errc()) return std::nullopt;
    return uid_t(uid);
}

std::optional<std::filesystem::path> readExecutable(int32_t pid) {
    std::string link = "/proc/" + std::to_string(pid) + "/exe";
    std::string target(4096, '\0');
    ssize_t n = ::readlink(link.c_str(), target.data(), target.size());
    if (n <= 0 || size_t(n) >= target.size()) return std::nullopt;
    target.resize(size_t(n));
    // An executable replaced or moved away while running keeps its old path.
    constexpr std::string_view deleted = " (deleted)";
    if (target.size() > deleted.size() && target.compare(target.size() - deleted.size(), deleted.size(), deleted) == 0)
        target.resize(target.size() - deleted.size());
    if (target.empty() || target.front() != '/') return std::nullopt;
    return std::filesystem::path(target);
}

bool stillSameProcess(const RunningApplication& app) {
    auto s = readStat(app.processIdentifier);
    return s && s->startTime == app.startTime && s->state != 'Z' && s->state != 'X';
}

bool sendSignal(const RunningApplication& app, int signal) {
    if (isUntouchable(app.processIdentifier)) return false;
#if defined(SYS_pidfd_open) && defined(SYS_pidfd_send_signal)
    // A process handle pins the process: once it is open and the start time
    // still matches, the signal cannot reach a process that reused the id.
    int fd = int(::syscall(SYS_pidfd_open, app.processIdentifier, 0));
    if (fd >= 0) {
        bool ok = stillSameProcess(app) &&
                  ::syscall(SYS_pidfd_send_signal, fd, signal, nullptr, 0) == 0;
        ::close(fd);
        return ok;
    }
    if (errno != ENOSYS) return false;
#endif
    return stillSameProcess(app) && ::kill(app.processIdentifier, signal) == 0;
}

std::vector<RunningApplication> listProcesses() {
    std::vector<RunningApplication> apps;
    std::map<std::string, BundleFacts> bundles;
    const uid_t me = User::uid();
    std::error_code ec;
    std::vector<int32_t> pids;
    for (std::filesystem::directory_iterator it("/proc", ec), end; !ec && it != end; it.increment(ec)) {
        std::string name = it->path().filename().string();
        int32_t pid = 0;
        auto r = std::from_chars(name.data(), name.data() + name.size(), pid);
        if (r.ec == std::errc() && r.ptr == name.data() + name.size() && pid > 0) pids.push_back(pid);
    }
    std::sort(pids.begin(), pids.end());
    for (int32_t pid : pids) {
        auto uid = readRealUid(pid);
        if (!uid || *uid != me) continue;
        auto exe = readExecutable(pid);
        if (!exe) continue;  // kernel threads, or processes this one may not inspect
        // The running applications are application bundles, as the system
        // lists them on macOS: a compiler or a shell of the user is none.
        RunningApplication app;
        app.executableURL = *exe;
        describeBundle(app, bundles);
        if (!app.bundleURL) continue;
        auto stat = readStat(pid);
        if (!stat || stat->state == 'Z' || stat->state == 'X') continue;
        app.processIdentifier = pid;
        app.startTime = stat->startTime;
        apps.push_back(std::move(app));
    }
    return apps;
}

#elif defined(__APPLE__)

std::optional<proc_bsdinfo> bsdInfo(int32_t pid) {
    proc_bsdinfo info{};
    if (proc_pidinfo(pid, PROC_PIDTBSDINFO, 0, &info, PROC_PIDTBSDINFO_SIZE) != PROC_PIDTBSDINFO_SIZE)
        return std::nullopt;
    return info;
}

uint64_t startOf(const proc_bsdinfo& info) {
    return uint64_t(info.pbi_start_tvsec) * 1000000u + uint64_t(info.pbi_start_tvusec);
}

bool stillSameProcess(const RunningApplication& app) {
    auto info = bsdInfo(app.processIdentifier);
    return info && startOf(*info) == app.startTime && info->pbi_status != SZOMB;
}

bool sendSignal(const RunningApplication& app, int signal) {
    if (isUntouchable(app.processIdentifier)) return false;
    return stillSameProcess(app) && ::kill(app.processIdentifier, signal) == 0;
}

// Asks the application to quit the way the Dock does: the running
// application's terminate, which sends it the quit Apple Event, so it may
// offer to save first. AppKit is loaded the first time, so commands that never
// quit anything start without it; the Objective-C runtime is reached through
// it by name.
bool requestQuit(const RunningApplication& app) {
    if (isUntouchable(app.processIdentifier) || !stillSameProcess(app)) return false;
    static void* const appKit = SharedLibrary::open("/System/Library/Frameworks/AppKit.framework/AppKit");
    using GetClass = void* (*)(const char*);
    using Selector = void* (*)(const char*);
    using PoolPush = void* (*)();
    using PoolPop = void (*)(void*);
    static const auto getClass = reinterpret_cast<GetClass>(SharedLibrary::symbol(appKit, "objc_getClass"));
    static const auto selector = reinterpret_cast<Selector>(SharedLibrary::symbol(appKit, "sel_registerName"));
    static void* const send = SharedLibrary::symbol(appKit, "objc_msgSend");
    static const auto push = reinterpret_cast<PoolPush>(SharedLibrary::symbol(appKit, "objc_autoreleasePoolPush"));
    static const auto pop = reinterpret_cast<PoolPop>(SharedLibrary::symbol(appKit, "objc_autoreleasePoolPop"));
    if (!getClass || !selector || !send || !push || !pop) return false;
    void* const runningApplication = getClass("NSRunningApplication");
    if (!runningApplication) return false;
    void* pool = push();
    using LookUp = void* (*)(void*, void*, pid_t);
    using Terminate = unsigned char (*)(void*, void*);
    void* target = reinterpret_cast<LookUp>(send)(runningApplication,
                                                  selector("runningApplicationWithProcessIdentifier:"),
                                                  pid_t(app.processIdentifier));
    const bool asked = target && reinterpret_cast<Terminate>(send)(target, selector("terminate")) != 0;
    pop(pool);
    return asked;
}

std::vector<RunningApplication> listProcesses() {
    std::vector<RunningApplication> apps;
    std::map<std::string, BundleFacts> bundles;
    int count = proc_listallpids(nullptr, 0);
    if (count <= 0) return apps;
    std::vector<pid_t> pids(size_t(count) + 64);
    count = proc_listallpids(pids.data(), int(pids.size() * sizeof(pid_t)));
    if (count <= 0) return apps;
    pids.resize(size_t(count));
    std::sort(pids.begin(), pids.end());
    const uid_t me = User::uid();
    for (pid_t pid : pids) {
        auto info = bsdInfo(pid);
        if (!info || info->pbi_ruid != me || info->pbi_status == SZOMB) continue;
        char path[PROC_PIDPATHINFO_MAXSIZE];
        if (proc_pidpath(pid, path, sizeof(path)) <= 0) continue;
        RunningApplication app;
        app.processIdentifier = int32_t(pid);
        app.executableURL = std::filesystem::path(path);
        app.startTime = startOf(*info);
        app.localizedName = std::string(info->pbi_name[0] ? info->pbi_name : info->pbi_comm);
        // Only what runs from a bundle shows itself as an application, in the
        // way its Info.plist asks.
        app.activationPolicy = ActivationPolicy::prohibited;
        describeBundle(app, bundles);
        apps.push_back(std::move(app));
    }
    return apps;
}

#else

std::vector<RunningApplication> listProcesses() { return {}; }
bool stillSameProcess(const RunningApplication&) { return false; }
bool sendSignal(const RunningApplication&, int) { return false; }

#endif

#ifndef __APPLE__
// Without the system's quit event, the polite request is the signal every
// program can catch.
bool requestQuit(const RunningApplication& app) { return sendSignal(app, SIGTERM); }
#endif

class SystemBackend final : public Backend {
public:
    std::vector<RunningApplication> runningApplications() override { return listProcesses(); }
    bool terminate(const RunningApplication& app) override { return requestQuit(app); }
    bool forceTerminate(const RunningApplication& app) override { return sendSignal(app, SIGKILL); }
    bool isTerminated(const RunningApplication& app) override { return !stillSameProcess(app); }
};

std::shared_ptr<Backend> backend() {
    std::lock_guard guard(overrideLock);
    if (overrideBackend) return overrideBackend;
    static const std::shared_ptr<Backend> system = std::make_shared<SystemBackend>();
    return system;
}

}  // namespace

ActivationPolicy activationPolicy(const std::filesystem::path& bundle) { return policyOf(bundle, infoPlist(bundle)); }

std::vector<RunningApplication> runningApplications() { return backend()->runningApplications(); }

std::vector<RunningApplication> runningApplications(std::string_view bundleIdentifier) {
    std::vector<RunningApplication> matching;
    if (bundleIdentifier.empty()) return matching;
    for (auto& app : runningApplications())
        if (app.bundleIdentifier && *app.bundleIdentifier == bundleIdentifier) matching.push_back(std::move(app));
    return matching;
}

std::optional<RunningApplication> application(int32_t processIdentifier) {
    for (auto& app : runningApplications())
        if (app.processIdentifier == processIdentifier) return std::move(app);
    return std::nullopt;
}

bool terminate(const RunningApplication& app) { return backend()->terminate(app); }
bool forceTerminate(const RunningApplication& app) { return backend()->forceTerminate(app); }
bool isTerminated(const RunningApplication& app) { return backend()->isTerminated(app); }

std::vector<RunningApplication> waitForExit(const std::vector<RunningApplication>& apps,
                                            std::chrono::milliseconds timeout,
                                            std::chrono::milliseconds pollInterval) {
    auto b = backend();
    const auto deadline = Clock::now() + timeout;
    std::vector<RunningApplication> running = apps;
    while (Clock::now() < deadline) {
        std::vector<RunningApplication> still;
        for (const auto& app : running)
            if (!b->isTerminated(app)) still.push_back(app);
        running = std::move(still);
        if (running.empty()) return running;
        Clock::sleep(pollInterval);
    }
    std::vector<RunningApplication> still;
    for (const auto& app : running)
        if (!b->isTerminated(app)) still.push_back(app);
    return still;
}

void setForTesting(std::shared_ptr<Backend> b) {
    std::lock_guard guard(overrideLock);
    overrideBackend = std::move(b);
}

}  // namespace Workspace
