#include "engine/protection.h"

#include <algorithm>
#include <string>
#include <vector>

#include "platform/decimal.h"
#include "platform/locations.h"
#include "platform/unicode.h"
#include "platform/user.h"

namespace Protection {

const std::array<std::string_view, 12> protectedPathPrefixes = {
    "/System",          "/bin",          "/sbin",           "/usr/bin",
    "/usr/sbin",        "/usr/lib",      "/usr/share",      "/Library/Apple",
    "/Library/Extensions", "/Library/Frameworks", "/private/var/db", "/private/var/vm",
};

namespace {
const std::array<std::string_view, 5> protectedUserFolders = {"Shared", "Guest", "root", "daemon", "nobody"};

std::string lastComponent(const std::string& p) {
    size_t end = p.size();
    while (end > 1 && p[end - 1] == '/') --end;
    size_t slash = p.rfind('/', end - 1);
    if (slash == std::string::npos) return p.substr(0, end);
    return p.substr(slash + 1, end - slash - 1);
}

std::string trimmedPath(const std::filesystem::path& path) {
    std::string p = path.native();
    while (p.size() > 1 && p.back() == '/') p.pop_back();
    return p;
}

// Called for every item a scan finds, so ASCII paths (nearly all) are compared
// as bytes, which is what the Unicode rules give for them.
bool underPrefixes(const std::string& p) {
    const bool ascii = Unicode::isAscii(p);
    for (auto prefix : protectedPathPrefixes) {
        if (ascii) {
            if (p.compare(0, prefix.size(), prefix) == 0 && (p.size() == prefix.size() || p[prefix.size()] == '/'))
                return true;
            continue;
        }
        if (Unicode::equal(p, prefix)) return true;
        std::string withSlash = std::string(prefix) + "/";
        if (Unicode::hasPrefix(p, withSlash)) return true;
    }
    return false;
}

bool inProtectedUserFolder(std::string_view p) {
    if (!Unicode::hasPrefix(p, "/Users/")) return false;
    // The second non-empty piece between slashes: the folder directly under /Users.
    std::string_view second;
    int piece = 0;
    size_t i = 0;
    while (i < p.size() && piece < 2) {
        size_t j = std::min(p.find('/', i), p.size());
        if (j > i && ++piece == 2) second = p.substr(i, j - i);
        i = j + 1;
    }
    for (auto folder : protectedUserFolders)
        if (Unicode::equal(second, folder)) return true;
    return false;
}

bool isTrashesName(std::string_view piece) {
    // Volumes compare names without regard to case, as a rule.
    return piece.size() == 8 && Unicode::lower(piece) == ".trashes";
}

// Whether a piece names a user's folder of a volume's .Trashes: decimal digits.
bool isUidName(std::string_view piece) {
    return !piece.empty() && std::all_of(piece.begin(), piece.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// A folder of .Trashes named by another user's uid, or anything inside it: the
// volume keeps one such folder per user, and only the user's own is theirs.
bool underAnotherUsersTrash(std::string_view p) {
    const std::string mine = Decimal::text(User::uid());
    std::string_view previous;
    size_t i = 0;
    while (i < p.size()) {
        size_t j = std::min(p.find('/', i), p.size());
        const std::string_view piece = p.substr(i, j - i);
        if (!piece.empty()) {
            if (isTrashesName(previous) && isUidName(piece) && piece != mine) return true;
            previous = piece;
        }
        i = j + 1;
    }
    return false;
}

// The path as the system sees it, and the literal path too: a test root moves
// system folders, and a real system path must stay protected either way.
std::vector<std::string> views(const std::filesystem::path& path) {
    std::string literal = trimmedPath(path);
    std::string seen = Locations::systemView(literal);
    if (seen == literal) return {literal};
    return {seen, literal};
}

}  // namespace

const std::array<std::string_view, 55> protectedNameFragments = {
    "wireguard",  "tailscale",  "mullvad",       "nordvpn",    "proton",       "expressvpn",  "surfshark",
    "windscribe", "openvpn",    "clash",         "sing-box",   "v2ray",        "shadowsocks", "quantumult",
    "surge",      "loon",       "hiddify",       "nekoray",    "amnezia",      "v2box",       "clash-verge",
    "clashverge", "stash",      "1dot1dot1dot1", "1password",  "keepass",      "bitwarden",   "lastpass",
    "enpass",     "macpass",    "inputmethod",   "input method", "rime",       "squirrel",    "sogou",
    "ime",        "dropbox",    "onedrive",      "googledrive", "google drive", "box.desktop", "backblaze",
    "arqbackup",  "carbon copy cloner", "intego", "avast",     "bitdefender",  "kaspersky",   "malwarebytes",
    "sophos",     "littlesnitch", "little snitch", "lulu",     "blockblock",   "ransomwhere",
};

const std::array<std::string_view, 51> protectedBundleIDPrefixes = {
    "com.1password.",         "com.agilebits.",          "com.bitwarden.",         "com.dashlane.",
    "in.sinew.Enpass",        "me.macpass.",             "com.lastpass.",          "com.keepassxc.",
    "com.wireguard.",         "org.wireguard.",          "com.tailscale.",         "io.tailscale.",
    "net.mullvad.",           "com.nordvpn.",            "com.protonvpn.",         "com.expressvpn.",
    "com.surfshark.",         "com.windscribe.",         "com.privateinternetaccess.", "com.cisco.anyconnect",
    "com.cisco.secureclient", "org.openvpn.",            "com.cloudflare.1dot1dot1dot1", "com.zerotier.",
    "com.sogou.",             "com.baidu.inputmethod",   "com.tencent.inputmethod", "com.google.inputmethod",
    "im.rime.",               "com.rime.",               "com.dropbox.",           "com.getdropbox.",
    "com.microsoft.OneDrive", "com.google.drivefs",      "com.box.",               "ch.protonmail.drive",
    "com.intego.",            "com.avast.",              "com.bitdefender.",       "com.kaspersky.",
    "com.malwarebytes.",      "com.sophos.",             "com.eset.",              "com.little-snitch.",
    "com.objective-see.lulu", "com.obdev.littlesnitch",  "com.backblaze.",         "com.arqbackup.",
    "com.bombich.ccc",        "com.apple.accessibility", "com.logitech.",
};

bool isUnderProtectedLocation(const std::filesystem::path& path) {
    for (const auto& p : views(path))
        if (underPrefixes(p) || inProtectedUserFolder(p) || underAnotherUsersTrash(p)) return true;
    return false;
}

bool isInAnotherUsersTrash(const std::filesystem::path& path) { return underAnotherUsersTrash(trimmedPath(path)); }

bool holdsProtectedLocation(const std::filesystem::path& path) {
    for (const auto& p : views(path)) {
        if (p.empty() || p.front() != '/') continue;
        const std::string folder = p == "/" ? p : p + "/";
        if (Unicode::equal(p, "/Users")) return true;
        // A volume's .Trashes holds every user's trash folder.
        if (isTrashesName(lastComponent(p))) return true;
        for (auto prefix : protectedPathPrefixes)
            if (prefix.size() > folder.size() && Unicode::hasPrefix(prefix, folder)) return true;
    }
    return false;
}

bool isPathProtected(const std::filesystem::path& path) {
    if (isUnderProtectedLocation(path)) return true;
    return matchesProtectedName(lastComponent(trimmedPath(path)));
}

bool matchesProtectedName(std::string_view name) {
    if (name.empty()) return false;
    std::string lowered = Unicode::lower(name);
    // The fragments are ASCII: in an ASCII name a byte search finds them.
    const bool ascii = Unicode::isAscii(lowered);
    for (auto fragment : protectedNameFragments)
        if (ascii ? lowered.find(fragment) != std::string::npos : Unicode::contains(lowered, fragment)) return true;
    return false;
}

bool hasProtectedBundleIDPrefix(std::string_view bundleID) {
    for (auto prefix : protectedBundleIDPrefixes)
        if (Unicode::hasPrefix(bundleID, prefix)) return true;
    return false;
}

}  // namespace Protection
