#include "modules/system/privacy_extras.h"

#include <algorithm>
#include <string_view>
#include <system_error>

#include "engine/admin.h"
#include "engine/fs.h"
#include "platform/locations.h"
#include "platform/text_lines.h"
#include "platform/unicode.h"

namespace fs = std::filesystem;

namespace PrivacyExtras {
namespace {

constexpr std::string_view kServicePrefix = "kTCCService";

}  // namespace

const std::map<std::string, std::string>& serviceNames() {
    static const std::map<std::string, std::string> names = {
        {"kTCCServiceAccessibility", "Accessibility"},
        {"kTCCServiceAddressBook", "Contacts"},
        {"kTCCServiceAppleEvents", "Automation"},
        {"kTCCServiceBluetoothAlways", "Bluetooth"},
        {"kTCCServiceCalendar", "Calendars"},
        {"kTCCServiceCamera", "Camera"},
        {"kTCCServiceFocusStatus", "Focus"},
        {"kTCCServiceListenEvent", "Input Monitoring"},
        {"kTCCServiceMediaLibrary", "Media & Apple Music"},
        {"kTCCServiceMicrophone", "Microphone"},
        {"kTCCServicePhotos", "Photos"},
        {"kTCCServicePhotosAdd", "Photos (add only)"},
        {"kTCCServicePostEvent", "PostEvent"},
        {"kTCCServiceReminders", "Reminders"},
        {"kTCCServiceScreenCapture", "Screen Recording"},
        {"kTCCServiceSpeechRecognition", "Speech Recognition"},
        {"kTCCServiceSystemPolicyAllFiles", "Full Disk Access"},
        {"kTCCServiceSystemPolicyDesktopFolder", "Desktop Folder"},
        {"kTCCServiceSystemPolicyDocumentsFolder", "Documents Folder"},
        {"kTCCServiceSystemPolicyDownloadsFolder", "Downloads Folder"},
        {"kTCCServiceSystemPolicyNetworkVolumes", "Network Volumes"},
        {"kTCCServiceSystemPolicyRemovableVolumes", "Removable Volumes"},
        {"kTCCServiceUbiquity", "iCloud"},
        {"kTCCServiceUserTracking", "Tracking"},
    };
    return names;
}

std::string displayName(const std::string& service) {
    const auto& names = serviceNames();
    if (auto it = names.find(service); it != names.end()) return it->second;
    std::string label = service;
    for (size_t at; (at = label.find(kServicePrefix)) != std::string::npos;) label.erase(at, kServicePrefix.size());
    return label;
}

std::vector<PermissionGrant> permissions() {
    const fs::path db = Locations::home() / "Library" / "Application Support/com.apple.TCC/TCC.db";
    std::error_code ec;
    if (!fs::exists(db, ec)) return {};
    // Without Full Disk Access the folder cannot be listed; the tool would
    // only fail the same way.
    if (!FS::canList(db.parent_path())) return {};

    const std::string command = Admin::tool("/usr/bin/sqlite3") + " -separator '|' " + Admin::quote(db.native()) + " " +
                                Admin::quote("SELECT client, service, auth_value FROM access WHERE auth_value IN (1,2,3);");
    const Admin::Result result = Admin::run(command, true);
    if (!result.ok) return {};

    std::vector<PermissionGrant> grants;
    for (std::string_view line : TextLines::nonEmpty(result.output)) {
        const auto f = TextLines::fields(line, '|');
        if (f.size() < 3) continue;
        const std::string client(f[0]);
        // Bundle identifiers only: a client stored as a path is a tool, not an application.
        if (client.find('.') == std::string::npos || client.find('/') != std::string::npos) continue;
        PermissionGrant grant;
        grant.client = client;
        grant.service = std::string(f[1]);
        grant.id = grant.client + "|" + grant.service;
        grant.displayName = displayName(grant.service);
        grant.isGranted = f[2] != "0";
        grants.push_back(std::move(grant));
    }
    std::stable_sort(grants.begin(), grants.end(), [](const PermissionGrant& a, const PermissionGrant& b) {
        if (a.displayName != b.displayName) return a.displayName < b.displayName;
        return a.client < b.client;
    });
    return grants;
}

std::vector<std::string> preferredNetworks() {
    const Admin::Result result = Admin::run(Admin::tool("/usr/sbin/networksetup") + " -listpreferredwirelessnetworks en0", true);
    if (!result.ok) return {};
    const auto lines = TextLines::nonEmpty(result.output);
    if (lines.size() < 2) return {};
    std::vector<std::string> names;
    // The first line is the tool's heading ("Preferred networks on en0:").
    for (size_t i = 1; i < lines.size(); ++i)
        if (auto name = Unicode::trimmedSpaces(lines[i]); !name.empty()) names.push_back(std::move(name));
    return names;
}

bool revoke(const PermissionGrant& grant) {
    return Admin::run(Admin::tool("/usr/bin/tccutil") + " reset " + Admin::quote(grant.service) + " " +
                          Admin::quote(grant.client),
                      true)
        .ok;
}

}  // namespace PrivacyExtras
