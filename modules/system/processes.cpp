#include "modules/system/processes.h"

#include <algorithm>
#include <charconv>
#include <chrono>
#include <limits>
#include <string_view>
#include <unordered_map>

#include "engine/admin.h"
#include "platform/decimal.h"
#include "platform/text_lines.h"
#include "platform/workspace.h"

namespace Processes {
namespace {

using namespace std::chrono_literals;

// ps prints its figures in the user's locale unless told otherwise, so a
// decimal comma would make every figure unreadable; C keeps them plain.
constexpr const char* kPsUsage = "LC_ALL=C /bin/ps -Ao pid,pcpu,rss,comm";
constexpr const char* kPsStates = "LC_ALL=C /bin/ps -Ao pid,state,pcpu,rss,comm";

constexpr auto kQuitTimeout = 3000ms;
constexpr auto kQuitPoll = 150ms;

// The columns of a ps line: runs of blanks separate them.
std::vector<std::string_view> columns(std::string_view line) { return TextLines::nonEmpty(line, ' '); }

// The data lines of ps output: the header goes, and so do empty lines.
std::vector<std::string_view> dataLines(std::string_view output) {
    auto lines = TextLines::nonEmpty(output);
    if (lines.size() < 2) return {};
    lines.erase(lines.begin());
    return lines;
}

// A decimal figure with either a point or a comma before its fraction, so a
// ps that still printed in a locale with decimal commas reads right.
std::optional<double> figure(std::string_view text) {
    std::string plain(text);
    if (plain.find('.') == std::string::npos) {
        if (size_t comma = plain.find(','); comma != std::string::npos && plain.find(',', comma + 1) == std::string::npos)
            plain[comma] = '.';
    }
    double value = 0;
    auto [end, ec] = std::from_chars(plain.data(), plain.data() + plain.size(), value);
    if (ec != std::errc() || end != plain.data() + plain.size() || plain.empty()) return std::nullopt;
    return value;
}

// Resident size in KiB as bytes; nothing when that would not fit.
std::optional<int64_t> kibibytes(std::string_view text) {
    auto kib = Decimal::parse<int64_t>(text);
    if (!kib || *kib > std::numeric_limits<int64_t>::max() / 1024 || *kib < std::numeric_limits<int64_t>::min() / 1024)
        return std::nullopt;
    return *kib * 1024;
}

std::string nameOf(const Workspace::RunningApplication& app) {
    return app.localizedName ? *app.localizedName : std::string("Unknown");
}

}  // namespace

std::vector<RunningApp> runningApps() {
    struct Known {
        std::string name;
        std::optional<std::string> bundleID;
        std::optional<std::string> path;
    };
    std::unordered_map<int32_t, Known> known;
    for (const auto& app : Workspace::runningApplications()) {
        if (app.activationPolicy == Workspace::ActivationPolicy::prohibited) continue;
        Known k{nameOf(app), app.bundleIdentifier, std::nullopt};
        if (app.bundleURL) k.path = app.bundleURL->native();
        known.insert_or_assign(app.processIdentifier, std::move(k));
    }

    const Admin::Result ps = Admin::run(kPsUsage, true);
    if (!ps.ok) return {};

    std::vector<RunningApp> apps;
    for (std::string_view line : dataLines(ps.output)) {
        const auto c = columns(line);
        if (c.size() < 4) continue;
        auto pid = Decimal::parse<int32_t>(c[0]);
        auto cpu = figure(c[1]);
        auto memory = kibibytes(c[2]);
        if (!pid || !cpu || !memory) continue;
        auto it = known.find(*pid);
        if (it == known.end()) continue;
        apps.push_back(RunningApp{*pid, it->second.name, it->second.bundleID, it->second.path, *cpu, *memory, false});
    }
    std::stable_sort(apps.begin(), apps.end(),
                     [](const RunningApp& a, const RunningApp& b) { return a.memoryBytes > b.memoryBytes; });
    return apps;
}

std::vector<RunningApp> hungProcesses() {
    const Admin::Result ps = Admin::run(kPsStates, true);
    if (!ps.ok) return {};

    std::unordered_map<int32_t, std::string> names;
    for (const auto& app : Workspace::runningApplications())
        if (app.activationPolicy == Workspace::ActivationPolicy::regular)
            names.insert_or_assign(app.processIdentifier, nameOf(app));

    std::vector<RunningApp> hung;
    for (std::string_view line : dataLines(ps.output)) {
        const auto c = columns(line);
        if (c.size() < 5) continue;
        auto pid = Decimal::parse<int32_t>(c[0]);
        if (!pid) continue;
        auto it = names.find(*pid);
        if (it == names.end()) continue;
        // U: waiting uninterruptibly; Z: ended but never reaped.
        const std::string_view state = c[1];
        if (state.find('U') == std::string_view::npos && state.find('Z') == std::string_view::npos) continue;
        hung.push_back(RunningApp{*pid, it->second, std::nullopt, std::nullopt, figure(c[2]).value_or(0),
                                  kibibytes(c[3]).value_or(0), true});
    }
    return hung;
}

bool quit(int32_t processID, bool force) {
    auto app = Workspace::application(processID);
    if (!app) return false;
    if (force) return Workspace::forceTerminate(*app);
    Workspace::terminate(*app);
    if (Workspace::waitForExit({*app}, kQuitTimeout, kQuitPoll).empty()) return true;
    return Workspace::forceTerminate(*app);
}

}  // namespace Processes
