#pragma once
// What starts when the user logs in or the machine starts: launchd property
// lists in the user's and the system's agent and daemon folders, with their
// loaded and disabled states, and the login items of the background-task
// database. Entries can be switched on and off or removed.
#include <cstdint>
#include <filesystem>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "engine/scan_model.h"

struct LoginEntry {
    enum class Scope { loginItem, userAgent, systemAgent, systemDaemon };

    // launchd entry: scope raw value, ":" and the label; login item:
    // "loginItem:" and the record's UUID (its name when it has none).
    std::string id;
    std::string name;  // the label, or the login item's name
    Scope scope = Scope::userAgent;
    std::optional<std::filesystem::path> plistURL;  // absent for login items
    // The property list the listing read: removing the entry takes only that file.
    std::optional<MeasuredObject> plistMeasured;
    std::optional<std::string> program;             // what the entry starts, when known
    bool programExists = true;                      // true when there is no program
    bool isLoaded = false;
    bool isDisabled = false;

    // "disabled", "enabled" (login items), "loaded" or "idle".
    std::string_view statusLabel() const;

    static std::string_view rawValue(Scope scope);  // "Login Item", "User Launch Agent", ...
    static std::optional<Scope> scopeFromRawValue(std::string_view raw);
    static bool needsAdmin(Scope scope);

    bool operator==(const LoginEntry& other) const { return id == other.id; }
};

namespace LoginItems {

// The result of switching or removing an entry: one message for the user.
struct ActionOutcome {
    enum class Kind { success, failure };
    Kind kind = Kind::failure;
    std::string message;

    bool isSuccess() const { return kind == Kind::success; }
    static ActionOutcome success(std::string message) { return {Kind::success, std::move(message)}; }
    static ActionOutcome failure(std::string message) { return {Kind::failure, std::move(message)}; }
    bool operator==(const ActionOutcome&) const = default;
};

// Every startup entry: launchd entries first, then login items (each run
// sorted by name). A cancelled token gives what was gathered so far; a null
// token is never cancelled.
std::vector<LoginEntry> entries(const ScanTokenRef& token);

// The entries of the three launchd folders, sorted by name.
std::vector<LoginEntry> launchdEntries();

// The labels "launchctl list" prints (the last tab-separated column, the
// heading left out).
std::set<std::string> parseLoadedLabels(std::string_view text);
// The labels "launchctl print-disabled" marks "=> disabled", quotes removed.
std::set<std::string> parseDisabledLabels(std::string_view text);

// The login items of one user in the text "sfltool dumpbtm" prints, sorted by name.
std::vector<LoginEntry> parseBTM(std::string_view text, uint32_t uid);

// The report of entries whose program no longer exists.
ScanReport scan(const ScanTokenRef& token, const std::vector<LoginEntry>& entries);

// Switches a launchd entry on (enable, then bootstrap) or off (bootout, then disable).
ActionOutcome setEnabled(const LoginEntry& entry, bool enabled);

// Switches a launchd entry off and removes its property list: to the Trash for
// a user agent, in one privileged batch for a system agent or daemon. A
// property list on the ignore list or in a protected system location is
// never removed.
ActionOutcome remove(const LoginEntry& entry);

}  // namespace LoginItems
