// The probes of single engine operations: the privileged batch, the adware
// scan and its name matcher, the thinning of one universal binary, the startup
// entries and the maintenance tasks.

#include <sys/stat.h>

#include <filesystem>
#include <string_view>
#include <system_error>

#include "diagnostics/diagnostics.h"
#include "engine/admin.h"
#include "engine/command_line.h"
#include "engine/fat_binary.h"
#include "modules/protection/login_items.h"
#include "modules/protection/malware_scan.h"
#include "modules/system/maintenance.h"
#include "modules/system/thinning.h"
#include "modules/system/updater.h"
#include "platform/atomic_file.h"
#include "platform/decimal.h"
#include "platform/plain_text.h"
#include "platform/temporary_folder.h"
#include "platform/unicode.h"
#include "platform/user.h"
#include "platform/uuid.h"

namespace fs = std::filesystem;

namespace Diagnostics {
namespace {

constexpr std::string_view kArrow = " \u2192 ";
constexpr std::string_view kDash = " \u2014 ";

bool existsItself(const fs::path& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

// ["a", "b"], the way a list of paths is shown.
std::string quotedList(const std::vector<std::string>& paths) {
    std::string text = "[";
    for (size_t i = 0; i < paths.size(); ++i) {
        if (i) text += ", ";
        text += '"';
        for (char c : paths[i]) {
            if (c == '"' || c == '\\') text += '\\';
            text += c;
        }
        text += '"';
    }
    return text + "]";
}

std::string sliceList(const FatBinary& fat) {
    std::string text;
    for (size_t i = 0; i < fat.architectures.size(); ++i) {
        if (i) text += ", ";
        text += fat.architectures[i].name + " (" + Decimal::text(fat.architectures[i].size) + ")";
    }
    return text;
}

std::string_view passWord(bool passed) { return passed ? "ok  " : "FAIL"; }

std::string_view orderWord(Updater::Order order) {
    switch (order) {
        case Updater::Order::descending: return "newer";
        case Updater::Order::ascending: return "older";
        case Updater::Order::same: return "same";
    }
    return "";
}

}  // namespace

bool handleElevationProbe(const Arguments& arguments, std::ostream& out, std::ostream&) {
    if (!CommandLine::contains(arguments, "--probe-elevation")) return false;
    // The scratch file lies in a folder of our own, so no other user can have
    // put something at its name for the root shell to remove.
    std::string why;
    auto folder = TemporaryFolder::make("vessiltane-elevation-", &why);
    if (!folder) {
        out << "could not make a scratch folder: " << why << '\n';
        return true;
    }
    const fs::path probe = folder->path() / "vessiltane-elevation-probe";
    AtomicFile::write(probe, "probe");  // a failed write shows as the batch's outcome

    Admin::PrivilegedRemoval r = Admin::removeAsRoot({{probe, measureObject(probe)}});
    out << "cancelled=" << (r.cancelled ? "true" : "false") << '\n';
    out << "removed=" << quotedList(r.removed) << '\n';
    out << "failed=" << quotedList(r.failed) << '\n';
    out << "still exists=" << (existsItself(probe) ? "true" : "false") << '\n';
    return true;
}

bool handleMalwareScan(const Arguments& arguments, std::ostream& out, std::ostream& err) {
    if (!CommandLine::contains(arguments, "--scan-malware")) return false;
    ScanToken token;
    ScanReport report = MalwareScan::scan(token, [&err](double, const std::string& message) {
        err << "  " << message << '\n' << std::flush;
    });
    if (report.categories.empty()) {
        out << "no matches\n";
        return true;
    }
    for (const auto& category : report.categories) {
        out << category.title << kDash << Decimal::text(category.items.size()) << " match(es)\n";
        for (size_t i = 0; i < category.items.size() && i < 10; ++i)
            out << "  " << category.items[i].name << "  [" << category.items[i].detail << "]\n";
    }
    return true;
}

bool handleDetectionProbe(const Arguments& arguments, std::ostream& out, std::ostream&) {
    if (!CommandLine::contains(arguments, "--probe-detection")) return false;
    struct Expected {
        std::string_view name;
        std::string_view family;
    };
    static constexpr Expected matches[] = {
        {"com.genieo.installer.plist", "Genieo"},
        {"com.vsearch.agent", "VSearch"},
        {"com.pirrit.ua.agent.plist", "Pirrit"},
        {"com.shlayer.downloader", "Shlayer"},
        {"MacKeeper Helper", "MacKeeper"},
        {"Advanced Mac Cleaner.app", "Advanced Mac Cleaner"},
        {"com.bundlore.helper", "Bundlore"},
        {"Search Marquis", "Search Marquis"},
        {"com.tektonit.AdvancedMacCleaner", "Advanced Mac Cleaner"},
    };
    static constexpr std::string_view nonMatches[] = {
        "com.apple.Safari",      "Google Chrome.app",  "Visual Studio Code.app",
        "com.jetbrains.intellij", "Slack.app",          "com.microsoft.VSCode",
        "Raycast.app",           "Keyboard Maestro.app", "com.apple.dt.Xcode",
    };
    struct Comparison {
        std::string_view first, second;
        Updater::Order expected;
    };
    static constexpr Comparison comparisons[] = {
        {"1.10", "1.9", Updater::Order::descending}, {"2.0.1", "2.0.2", Updater::Order::ascending},
        {"1.0", "1.0", Updater::Order::same},        {"10.0", "9.9", Updater::Order::descending},
        {"1.2.3", "1.2.10", Updater::Order::ascending},
    };

    int failures = 0;
    out << "detection rules" << kDash << "expected matches\n";
    for (const auto& row : matches) {
        auto family = MalwareScan::adwareFamily(Unicode::lower(row.name));
        bool passed = family && Unicode::lower(*family) == Unicode::lower(row.family);
        if (!passed) ++failures;
        out << "  " << passWord(passed) << ' ' << row.name << kArrow << family.value_or("no match") << " (expected "
            << row.family << ")\n";
    }
    out << "\ndetection rules" << kDash << "expected non-matches\n";
    for (std::string_view name : nonMatches) {
        auto family = MalwareScan::adwareFamily(Unicode::lower(name));
        if (family) ++failures;
        out << "  " << passWord(!family) << ' ' << name << kArrow << family.value_or("no match") << '\n';
    }
    out << "\nversion comparison\n";
    for (const auto& row : comparisons) {
        Updater::Order order = Updater::compareVersions(row.first, row.second);
        if (order != row.expected) ++failures;
        out << "  " << passWord(order == row.expected) << ' ' << row.first << " vs " << row.second << kArrow
            << orderWord(order) << '\n';
    }
    out << '\n';
    if (failures == 0) out << "all checks passed\n";
    else out << Decimal::text(failures) << " FAILURES\n";
    return true;
}

bool handleThinningProbe(const Arguments& arguments, std::ostream& out, std::ostream&) {
    auto value = CommandLine::value(arguments, "--probe-thinning");
    if (!value) return false;
    std::error_code ec;
    const fs::path file = fs::absolute(*value, ec);
    struct stat st {};
    if (ec || ::stat(file.c_str(), &st) != 0) {
        out << "no such file: " << (ec ? fs::path(*value) : file).native() << '\n';
        return true;
    }
    auto before = FatBinary::read(file);
    if (!before) {
        out << file.filename().native() << ": not a universal binary\n";
        return true;
    }
    out << "architectures before: " << sliceList(*before) << '\n';

    // The copy goes into a folder of our own that is removed, copy and all,
    // however the probe ends.
    std::string why;
    auto folder = TemporaryFolder::make("vessiltane-thinning-", &why);
    if (!folder) {
        out << "could not copy: " << why << '\n';
        return true;
    }
    const fs::path copy = folder->path() / ("thinning-probe-" + Uuid::random().string());
    if (!fs::copy_file(file, copy, ec)) {
        out << "could not copy: " << ec.message() << '\n';
        return true;
    }

    int64_t saved = 0;
    try {
        saved = Thinning::thinBinary(copy);
    } catch (const std::exception& error) {
        out << "FAIL: " << error.what() << '\n';
        return true;
    }
    auto after = FatBinary::read(copy);
    if (!after) {
        out << "FAIL: thinned copy is not readable as Mach-O\n";
        return true;
    }
    out << "architectures after:  " << sliceList(*after) << '\n';
    out << "bytes saved: " << Decimal::text(saved) << '\n';

    const std::string quoted = Admin::quote(copy.native());
    Admin::Result lipo = Admin::run(Admin::tool("/usr/bin/lipo") + " -archs " + quoted + " 2>/dev/null");
    out << "lipo -archs: " << Unicode::trimmed(lipo.output) << '\n';
    Admin::Result signature = Admin::run(Admin::tool("/usr/bin/codesign") + " --verify " + quoted + " 2>&1");
    if (signature.ok) out << "signature: valid\n";
    else out << "signature: invalid (" << Unicode::trimmed(signature.output) << ")\n";
    out << (after->architectures.size() == 1 ? "RESULT: ok" : "RESULT: FAIL") << '\n';
    return true;
}

bool handleListLoginItems(const Arguments& arguments, std::ostream& out, std::ostream&) {
    if (!CommandLine::contains(arguments, "--list-login-items")) return false;
    std::vector<LoginEntry> entries = LoginItems::launchdEntries();
    Admin::Result btm = Admin::run(Admin::tool("/usr/bin/sfltool") + " dumpbtm");
    if (btm.ok)
        for (auto& item : LoginItems::parseBTM(btm.output, User::uid())) entries.push_back(std::move(item));
    if (entries.empty()) {
        out << "no login items\n";
        return true;
    }
    for (const auto& entry : entries) {
        std::string state = entry.isDisabled ? "disabled" : entry.isLoaded ? "enabled" : "idle";
        std::string kind = entry.scope == LoginEntry::Scope::loginItem ? "macOS-managed" : "removable";
        out << "  " << PlainText::padRight(state, 9) << PlainText::padRight(kind, 15) << LoginEntry::rawValue(entry.scope)
            << ": " << entry.name << '\n';
    }
    return true;
}

bool handleListTasks(const Arguments& arguments, std::ostream& out, std::ostream&) {
    if (!CommandLine::contains(arguments, "--list-tasks")) return false;
    for (const auto& task : Maintenance::catalog()) {
        if (auto reason = task.unavailable()) out << "  UNAVAILABLE  " << task.title << kDash << *reason << '\n';
        else out << "  ok           " << task.title << '\n';
    }
    return true;
}

}  // namespace Diagnostics
