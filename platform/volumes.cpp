#include "platform/volumes.h"

#include <sys/statvfs.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cstring>
#include <mutex>
#include <set>

#include "platform/file_facts.h"
#include "platform/file_text.h"

#ifdef __APPLE__
#include <CoreFoundation/CoreFoundation.h>
#include <sys/attr.h>
#include <sys/mount.h>
#include <sys/param.h>
#include <unistd.h>
#endif

namespace Volumes {
namespace {

std::mutex overrideLock;
std::optional<std::vector<std::filesystem::path>> overrideVolumes;

// Mount points escape space, tab, newline and backslash as three octal digits.
std::string unescape(std::string_view s) {
    auto oct = [](char c) { return c >= '0' && c <= '7'; };
    std::string out;
    out.reserve(s.size());
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '\\' && i + 3 < s.size() && oct(s[i + 1]) && oct(s[i + 2]) && oct(s[i + 3])) {
            int v = (s[i + 1] - '0') * 64 + (s[i + 2] - '0') * 8 + (s[i + 3] - '0');
            if (v <= 0xFF) {
                out += char(v);
                i += 3;
                continue;
            }
        }
        out += s[i];
    }
    return out;
}

std::vector<std::string_view> fields(std::string_view line) {
    std::vector<std::string_view> out;
    size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && line[i] == ' ') ++i;
        if (i >= line.size()) break;
        size_t j = line.find(' ', i);
        if (j == std::string_view::npos) j = line.size();
        out.push_back(line.substr(i, j - i));
        i = j;
    }
    return out;
}

bool hasOption(std::string_view options, std::string_view option) {
    size_t i = 0;
    while (i <= options.size()) {
        size_t j = options.find(',', i);
        if (j == std::string_view::npos) j = options.size();
        if (options.substr(i, j - i) == option) return true;
        i = j + 1;
    }
    return false;
}

constexpr std::array<std::string_view, 9> kNetworkTypes = {
    "nfs", "nfs4", "cifs", "smb3", "smbfs", "afpfs", "fuse.sshfs", "9p", "webdav",
};

constexpr std::array<std::string_view, 27> kPseudoTypes = {
    "proc",      "sysfs",    "cgroup",     "cgroup2",   "tmpfs",     "devtmpfs",  "overlay",
    "squashfs",  "devpts",   "mqueue",     "debugfs",   "tracefs",   "securityfs", "pstore",
    "bpf",       "autofs",   "hugetlbfs",  "configfs",  "fusectl",   "binfmt_misc", "rpc_pipefs",
    "nsfs",      "efivarfs", "ramfs",      "selinuxfs", "iso9660",   "fuse.portal",
};

template <size_t N>
bool among(const std::array<std::string_view, N>& list, std::string_view v) {
    return std::find(list.begin(), list.end(), v) != list.end();
}

}  // namespace

std::vector<MountEntry> parseMountInfo(std::string_view text) {
    std::vector<MountEntry> out;
    size_t i = 0;
    while (i < text.size()) {
        size_t j = text.find('\n', i);
        if (j == std::string_view::npos) j = text.size();
        std::string_view line = text.substr(i, j - i);
        i = j + 1;
        auto f = fields(line);
        // id parent major:minor root mountpoint options [optional...] - type source superoptions
        if (f.size() < 10) continue;
        size_t dash = 0;
        for (size_t k = 6; k < f.size(); ++k)
            if (f[k] == "-") {
                dash = k;
                break;
            }
        if (dash == 0 || dash + 2 >= f.size()) continue;
        MountEntry e;
        e.device = std::string(f[2]);
        e.root = unescape(f[3]);
        e.mountPoint = unescape(f[4]);
        e.type = std::string(f[dash + 1]);
        e.source = unescape(f[dash + 2]);
        e.readOnly = hasOption(f[5], "ro") || (dash + 3 < f.size() && hasOption(f[dash + 3], "ro"));
        if (e.mountPoint.empty() || e.mountPoint.front() != '/') continue;
        // An escaped NUL would cut the path short at the first system call: another folder.
        if (e.mountPoint.find('\0') != std::string::npos) continue;
        out.push_back(std::move(e));
    }
    return out;
}

std::vector<MountEntry> mountTable() {
#ifdef __APPLE__
    return {};
#else
    auto text = FileText::read("/proc/self/mountinfo", 4 * 1024 * 1024);
    if (!text) return {};
    return parseMountInfo(*text);
#endif
}

bool isVolume(const MountEntry& e) {
    if (e.readOnly || e.root != "/") return false;
    if (among(kPseudoTypes, e.type)) return false;
    if (among(kNetworkTypes, e.type)) return true;
    return e.source.rfind("/dev/", 0) == 0;
}

std::vector<std::filesystem::path> mounted() {
    {
        std::lock_guard guard(overrideLock);
        if (overrideVolumes) return *overrideVolumes;
    }
    std::vector<std::filesystem::path> out;
#ifdef __APPLE__
    struct statfs* mounts = nullptr;
    int n = getmntinfo(&mounts, MNT_NOWAIT);
    for (int k = 0; k < n; ++k) {
        if (mounts[k].f_flags & MNT_RDONLY) continue;
        if (mounts[k].f_flags & MNT_DONTBROWSE) continue;
        out.emplace_back(mounts[k].f_mntonname);
    }
#else
    std::set<std::string> devices;
    for (const auto& e : mountTable()) {
        if (!isVolume(e)) continue;
        auto facts = statFacts(e.mountPoint);
        if (!facts || !facts->isDirectory()) continue;
        if (!devices.insert(e.device).second) continue;
        out.emplace_back(e.mountPoint);
    }
#endif
    return out;
}

void setForTesting(std::optional<std::vector<std::filesystem::path>> volumes) {
    std::lock_guard guard(overrideLock);
    overrideVolumes = std::move(volumes);
}

#ifdef __APPLE__
namespace {

// The volume's capacity for important usage, which only the URL resource
// values know (it counts space the system can purge on demand).
std::optional<int64_t> importantUsageBytes(const std::filesystem::path& path) {
    const std::string& native = path.native();
    CFURLRef url = CFURLCreateFromFileSystemRepresentation(
        kCFAllocatorDefault, reinterpret_cast<const UInt8*>(native.data()), CFIndex(native.size()), false);
    if (!url) return std::nullopt;
    CFTypeRef value = nullptr;
    std::optional<int64_t> bytes;
    if (CFURLCopyResourcePropertyForKey(url, kCFURLVolumeAvailableCapacityForImportantUsageKey, &value, nullptr) &&
        value && CFGetTypeID(value) == CFNumberGetTypeID()) {
        int64_t number = 0;
        if (CFNumberGetValue(static_cast<CFNumberRef>(value), kCFNumberSInt64Type, &number) && number >= 0)
            bytes = number;
    }
    if (value) CFRelease(value);
    CFRelease(url);
    return bytes;
}

}  // namespace
#endif

std::optional<Capacity> capacity(const std::filesystem::path& path) {
    struct statvfs s{};
    if (::statvfs(path.c_str(), &s) != 0) return std::nullopt;
    Capacity c;
    c.total = int64_t(s.f_blocks) * int64_t(s.f_frsize);
    c.available = int64_t(s.f_bavail) * int64_t(s.f_frsize);
#ifdef __APPLE__
    c.availableForImportantUsage = importantUsageBytes(path);
#endif
    return c;
}

std::optional<std::string> labelOf(const std::filesystem::path& mountPoint, const std::vector<MountEntry>& table,
                                   const std::filesystem::path& labelsFolder) {
    std::optional<std::string> source;
    // The last mount on the folder is the one that shows there.
    for (const MountEntry& e : table)
        if (e.mountPoint == mountPoint.string()) source = e.source;
    if (!source || source->empty() || source->front() != '/') return std::nullopt;
    std::error_code ec;
    const std::filesystem::path device = std::filesystem::canonical(*source, ec);
    if (ec) return std::nullopt;
    for (const auto& entry : std::filesystem::directory_iterator(labelsFolder, ec)) {
        std::error_code linkError;
        if (!entry.is_symlink(linkError)) continue;
        std::filesystem::path target = std::filesystem::read_symlink(entry.path(), linkError);
        if (linkError) continue;
        if (target.is_relative()) target = labelsFolder / target;
        if (std::filesystem::weakly_canonical(target, linkError) != device || linkError) continue;
        // The folder writes a blank and other special bytes as \xNN.
        const std::string raw = entry.path().filename().string();
        std::string label;
        for (size_t i = 0; i < raw.size(); ++i) {
            if (raw[i] == '\\' && i + 3 < raw.size() && raw[i + 1] == 'x' && std::isxdigit((unsigned char)raw[i + 2]) &&
                std::isxdigit((unsigned char)raw[i + 3])) {
                label += char(std::stoi(raw.substr(i + 2, 2), nullptr, 16));
                i += 3;
            } else {
                label += raw[i];
            }
        }
        if (!label.empty()) return label;
    }
    return std::nullopt;
}

std::optional<std::string> name(const std::filesystem::path& mountPoint) {
#ifdef __APPLE__
    struct attrlist request{};
    request.bitmapcount = ATTR_BIT_MAP_COUNT;
    request.volattr = ATTR_VOL_INFO | ATTR_VOL_NAME;
    struct {
        uint32_t length;
        attrreference_t name;
        char text[MAXPATHLEN + 1];
    } __attribute__((aligned(4), packed)) answer{};
    if (::getattrlist(mountPoint.c_str(), &request, &answer, sizeof answer, 0) != 0) return std::nullopt;
    const char* start = reinterpret_cast<const char*>(&answer.name) + answer.name.attr_dataoffset;
    const char* end = reinterpret_cast<const char*>(&answer) + sizeof answer;
    if (start < answer.text || start >= end || answer.name.attr_length == 0) return std::nullopt;
    std::string text(start, strnlen(start, size_t(end - start)));
    if (text.empty()) return std::nullopt;
    return text;
#else
    return labelOf(mountPoint, mountTable(), "/dev/disk/by-label");
#endif
}

}  // namespace Volumes
