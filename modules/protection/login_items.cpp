#include "modules/protection/login_items.h"

#include <algorithm>
#include <map>
#include <set>
#include <utility>

#include "engine/admin.h"
#include "engine/fs.h"
#include "engine/removal_guard.h"
#include "engine/scan_support.h"
#include "platform/locations.h"
#include "platform/plist.h"
#include "platform/unicode.h"
#include "platform/user.h"
#include "platform/walker.h"
#include "platform/decimal.h"

using Path = std::filesystem::path;

std::string_view LoginEntry::statusLabel() const {
    if (isDisabled) return "disabled";
    if (scope == Scope::loginItem) return "enabled";
    if (isLoaded) return "loaded";
    return "idle";
}

std::string_view LoginEntry::rawValue(Scope scope) {
    switch (scope) {
        case Scope::loginItem: return "Login Item";
        case Scope::userAgent: return "User Launch Agent";
        case Scope::systemAgent: return "System Launch Agent";
        case Scope::systemDaemon: return "System Launch Daemon";
    }
    return {};
}

std::optional<LoginEntry::Scope> LoginEntry::scopeFromRawValue(std::string_view raw) {
    for (auto scope : {Scope::loginItem, Scope::userAgent, Scope::systemAgent, Scope::systemDaemon})
        if (raw == rawValue(scope)) return scope;
    return std::nullopt;
}

bool LoginEntry::needsAdmin(Scope scope) { return scope == Scope::systemAgent || scope == Scope::systemDaemon; }

namespace LoginItems {
namespace {

constexpr std::string_view kLaunchctl = "/bin/launchctl";

bool cancelled(const ScanTokenRef& token) { return token && token->isCancelled(); }

// Tabs and space separators at both ends; line breaks stay.
std::string trim(std::string_view text) { return Unicode::trimmedSpaces(text); }

std::vector<std::string_view> lines(std::string_view text, bool keepEmpty) {
    std::vector<std::string_view> out;
    size_t start = 0;
    while (start <= text.size()) {
        size_t lf = text.find('\n', start);
        if (lf == std::string_view::npos) lf = text.size();
        auto line = text.substr(start, lf - start);
        if (keepEmpty || !line.empty()) out.push_back(line);
        start = lf + 1;
    }
    return out;
}

// Names in the order a person expects, letter case ignored; equal names keep their order.
void sortByName(std::vector<LoginEntry>& entries) {
    std::stable_sort(entries.begin(), entries.end(),
                     [](const LoginEntry& a, const LoginEntry& b) { return Unicode::lessIgnoringCase(a.name, b.name); });
}

bool programExistsAt(const std::optional<std::string>& program) {
    return !program || ScanSupport::programExists(*program);
}

std::string extensionOf(const std::string& name) {
    std::string ext = Path(name).extension().string();
    return ext.size() > 1 ? ext.substr(1) : std::string();
}

struct AgentLocation {
    Path folder;
    LoginEntry::Scope scope;
};

std::vector<AgentLocation> agentLocations() {
    return {
        {Locations::home() / "Library" / "LaunchAgents", LoginEntry::Scope::userAgent},
        {Locations::system("/Library/LaunchAgents"), LoginEntry::Scope::systemAgent},
        {Locations::system("/Library/LaunchDaemons"), LoginEntry::Scope::systemDaemon},
    };
}

std::set<std::string> loadedLabels() {
    auto result = Admin::run(Admin::tool(kLaunchctl) + " list", true);
    if (!result.ok) return {};
    return parseLoadedLabels(result.output);
}

std::string userDomain() { return "gui/" + Decimal::text(User::uid()); }

std::set<std::string> disabledLabels() {
    auto result = Admin::run(Admin::tool(kLaunchctl) + " print-disabled " + Admin::quote(userDomain()), true);
    if (!result.ok) return {};
    return parseDisabledLabels(result.output);
}

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// The path of a file URL, percent escapes decoded; nothing when the text is
// not a well-formed file URL. A path may hold any byte but NUL, a line feed
// too (written "%0A" in the URL): it is kept exactly, so the program is looked
// for where it really is; whoever shows it escapes what cannot be shown.
std::optional<std::string> fileURLPath(std::string_view url) {
    constexpr std::string_view scheme = "file://";
    if (url.substr(0, scheme.size()) != scheme) return std::nullopt;
    std::string_view rest = url.substr(scheme.size());
    size_t slash = rest.find('/');
    if (slash == std::string_view::npos) return std::nullopt;
    rest = rest.substr(slash);
    rest = rest.substr(0, rest.find_first_of("?#"));
    std::string path;
    for (size_t i = 0; i < rest.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(rest[i]);
        if (c <= 0x20 || c >= 0x7F) return std::nullopt;  // not allowed unescaped in a URL
        if (c != '%') {
            path += char(c);
            continue;
        }
        if (i + 2 >= rest.size()) return std::nullopt;
        int hi = hexValue(rest[i + 1]), lo = hexValue(rest[i + 2]);
        if (hi < 0 || lo < 0) return std::nullopt;
        char decoded = char(hi * 16 + lo);
        if (decoded == '\0') return std::nullopt;
        path += decoded;
        i += 2;
    }
    if (!Unicode::isValidUtf8(path)) return std::nullopt;
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    return path;
}

using Record = std::map<std::string, std::string>;

std::optional<LoginEntry> entryOf(const Record& record) {
    auto field = [&](const char* key) -> std::optional<std::string> {
        auto it = record.find(key);
        if (it == record.end()) return std::nullopt;
        return it->second;
    };
    std::string type = field("Type").value_or("");
    if (type.find("app (0x2)") == std::string::npos && type.find("login item (0x4)") == std::string::npos)
        return std::nullopt;
    LoginEntry entry;
    entry.name = field("Name").value_or("Unknown");
    if (auto exe = field("Executable Path")) entry.program = exe;
    else if (auto url = field("URL")) entry.program = fileURLPath(*url);
    std::string disposition = field("Disposition").value_or("");
    entry.id = "loginItem:" + field("UUID").value_or(entry.name);
    entry.scope = LoginEntry::Scope::loginItem;
    entry.programExists = programExistsAt(entry.program);
    entry.isLoaded = disposition.find("enabled") != std::string::npos;
    entry.isDisabled = disposition.find("disabled") != std::string::npos;
    return entry;
}

// launchd is told about a service by its label; a label that is blank or
// holds a NUL would name the whole domain (or another service) instead.
bool isActionableLabel(const std::string& label) {
    return !trim(label).empty() && label.find('\0') == std::string::npos;
}

const char* const kNoLabel = "No label to act on";

}  // namespace

std::set<std::string> parseLoadedLabels(std::string_view text) {
    std::set<std::string> labels;
    for (auto line : lines(text, false)) {
        size_t tab = line.rfind('\t');
        std::string label = trim(tab == std::string_view::npos ? line : line.substr(tab + 1));
        if (!label.empty() && label != "Label") labels.insert(std::move(label));
    }
    return labels;
}

std::set<std::string> parseDisabledLabels(std::string_view text) {
    std::set<std::string> labels;
    for (auto line : lines(text, false)) {
        if (line.find("=> disabled") == std::string_view::npos) continue;
        std::string_view first;
        size_t start = 0;
        while (start <= line.size()) {
            size_t arrow = line.find("=>", start);
            if (arrow == std::string_view::npos) arrow = line.size();
            if (arrow > start) {
                first = line.substr(start, arrow - start);
                break;
            }
            start = arrow + 2;
        }
        std::string unquoted;
        for (char c : first)
            if (c != '"') unquoted += c;
        labels.insert(trim(unquoted));
    }
    return labels;
}

std::vector<LoginEntry> launchdEntries() {
    const auto loaded = loadedLabels();
    const auto disabled = disabledLabels();
    std::vector<LoginEntry> out;
    for (const auto& location : agentLocations()) {
        bool ok = false;
        auto names = Walker::list(location.folder, &ok);
        if (!ok) continue;
        for (const auto& name : names) {
            if (extensionOf(name) != "plist") continue;
            const Path file = location.folder / name;
            // Measured before it is read: what is judged is that file or a later one.
            auto measured = measureObject(file);
            auto plist = Plist::readFile(file);
            if (!plist || !plist->isDict()) continue;
            LoginEntry entry;
            entry.name = plist->string("Label").value_or(Path(name).stem().string());
            entry.id = std::string(LoginEntry::rawValue(location.scope)) + ":" + entry.name;
            entry.scope = location.scope;
            entry.plistURL = file;
            entry.plistMeasured = measured;
            entry.program = ScanSupport::launchProgram(*plist);
            entry.programExists = programExistsAt(entry.program);
            entry.isLoaded = loaded.count(entry.name) > 0;
            entry.isDisabled = disabled.count(entry.name) > 0;
            out.push_back(std::move(entry));
        }
    }
    sortByName(out);
    return out;
}

std::vector<LoginEntry> parseBTM(std::string_view text, uint32_t uid) {
    const std::string sectionStart = "Records for UID ";
    const std::string marker = sectionStart + Decimal::text(uid) + " :";
    bool inSection = false, sectionSeen = false;
    std::optional<Record> open;
    std::vector<Record> records;
    for (auto raw : lines(text, true)) {
        std::string line = trim(raw);
        if (line.rfind(sectionStart, 0) == 0) {
            if (sectionSeen) break;
            inSection = sectionSeen = line.rfind(marker, 0) == 0;
            continue;
        }
        if (!inSection) continue;
        if (!line.empty() && line.front() == '#' && line.back() == ':') {
            if (open) records.push_back(std::move(*open));
            open = Record{};
            continue;
        }
        if (!open) continue;
        size_t colon = line.find(':');
        if (colon == std::string::npos) continue;
        (*open)[trim(std::string_view(line).substr(0, colon))] = trim(std::string_view(line).substr(colon + 1));
    }
    if (open) records.push_back(std::move(*open));

    std::vector<LoginEntry> out;
    for (const auto& record : records)
        if (auto entry = entryOf(record)) out.push_back(std::move(*entry));
    sortByName(out);
    return out;
}

std::vector<LoginEntry> entries(const ScanTokenRef& token) {
    if (cancelled(token)) return {};
    auto all = launchdEntries();
    if (cancelled(token)) return all;
    auto btm = Admin::run(Admin::tool("/usr/bin/sfltool") + " dumpbtm", false);
    if (!btm.ok) return all;
    for (auto& entry : parseBTM(btm.output, uint32_t(User::uid()))) all.push_back(std::move(entry));
    return all;
}

ScanReport scan(const ScanTokenRef& token, const std::vector<LoginEntry>& entries) {
    ScanReport report;
    report.scannedAt = Clock::now();
    report.duration = 0;
    std::vector<ScanItem> items;
    for (const auto& entry : entries) {
        if (cancelled(token)) break;
        if (entry.programExists || !entry.program || !entry.plistURL) continue;
        items.push_back(ScanSupport::reviewItem(
            *entry.plistURL, entry.name, std::string(LoginEntry::rawValue(entry.scope)) + " \u00B7 Program is missing"));
    }
    if (!items.empty()) {
        ScanCategory category;
        category.id = "broken-login-items";
        category.title = "Broken Login Items";
        category.detail = "Startup entries whose program no longer exists.";
        category.items = std::move(items);
        report.categories.push_back(std::move(category));
    }
    return report;
}

ActionOutcome setEnabled(const LoginEntry& entry, bool enabled) {
    if (entry.scope == LoginEntry::Scope::loginItem)
        return ActionOutcome::failure(entry.name +
                                      " is managed by macOS. Change it in System Settings \u2192 General \u2192 Login Items.");
    if (!entry.plistURL) return ActionOutcome::failure("No plist to act on");
    if (!isActionableLabel(entry.name)) return ActionOutcome::failure(kNoLabel);

    const std::string domain = entry.scope == LoginEntry::Scope::systemDaemon ? "system" : userDomain();
    const std::string target = Admin::quote(domain + "/" + entry.name);
    const std::string launchctl = Admin::tool(kLaunchctl);
    if (enabled) {
        Admin::run(launchctl + " enable " + target, true);
        const std::string bootstrap =
            launchctl + " bootstrap " + Admin::quote(domain) + " " + Admin::quote(entry.plistURL->string());
        auto result = LoginEntry::needsAdmin(entry.scope) ? Admin::runAsRoot(bootstrap, std::nullopt)
                                                          : Admin::run(bootstrap, true);
        if (result.ok) return ActionOutcome::success("Loaded " + entry.name);
        return ActionOutcome::failure(result.output);
    }
    Admin::run(launchctl + " bootout " + target, true);
    auto result = Admin::run(launchctl + " disable " + target, true);
    if (result.ok) return ActionOutcome::success("Unloaded and disabled " + entry.name);
    return ActionOutcome::failure(result.output);
}

ActionOutcome remove(const LoginEntry& entry) {
    if (!entry.plistURL) return ActionOutcome::failure("Modern login items are removed through System Settings");
    if (!isActionableLabel(entry.name)) return ActionOutcome::failure(kNoLabel);
    const Path plist = *entry.plistURL;
    // Checked before anything runs: a refused removal leaves the entry as it was.
    switch (RemovalGuard::check(plist)) {
        case RemovalGuard::Verdict::allowed: break;
        case RemovalGuard::Verdict::ignored: return ActionOutcome::failure("On the ignore list");
        case RemovalGuard::Verdict::protected_: return ActionOutcome::failure("Protected item");
        case RemovalGuard::Verdict::invalid: return ActionOutcome::failure("Could not remove " + plist.string());
        case RemovalGuard::Verdict::ignoreListUnreadable:
            return ActionOutcome::failure(RemovalGuard::text(RemovalGuard::Verdict::ignoreListUnreadable));
    }

    // The job is switched off only when its file is still the one listed;
    // whatever took its place is another job's.
    if (!entry.plistMeasured || measureObject(plist) != entry.plistMeasured)
        return ActionOutcome::failure(entry.plistMeasured ? std::string(FS::kChangedText) : std::string(FS::kNotMeasuredText));

    setEnabled(entry, false);  // a job that cannot be switched off is still removed
    if (LoginEntry::needsAdmin(entry.scope)) {
        auto batch = Admin::removeAsRoot({{plist, entry.plistMeasured}});
        if (!batch.removed.empty()) return ActionOutcome::success("Removed " + entry.name);
        if (batch.cancelled) return ActionOutcome::failure("Authorization cancelled");
        return ActionOutcome::failure("Could not remove " + plist.string());
    }
    ScanItem item;
    item.url = plist;
    item.name = entry.name;
    item.size = 0;
    item.safety = Safety::review;
    item.isSelected = false;
    item.measured = entry.plistMeasured;
    auto outcome = FS::remove({item}, true);
    if (outcome.failures.empty()) return ActionOutcome::success("Moved " + entry.name + " to the Trash");
    return ActionOutcome::failure("Could not remove " + plist.string());
}

}  // namespace LoginItems
