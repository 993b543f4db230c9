#include "engine/fat_binary.h"

#include <fcntl.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <limits>

#include "platform/file_text.h"

namespace {

constexpr size_t kHeaderBytes = 8;
constexpr uint32_t kMaxEntries = 31;
constexpr size_t kEntryBytes32 = 20;
constexpr size_t kEntryBytes64 = 32;

constexpr uint32_t kCpuX86 = 7;
constexpr uint32_t kCpuArm = 12;
constexpr uint32_t kCpuArch64 = 0x01000000;
constexpr uint32_t kCpuX86_64 = kCpuX86 | kCpuArch64;
constexpr uint32_t kCpuArm64 = kCpuArm | kCpuArch64;
constexpr uint32_t kSubtypeArm64e = 2;
constexpr uint32_t kSubtypeMask = 0x00FFFFFF;

uint32_t be32(const uint8_t* p) {
    return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | uint32_t(p[3]);
}

uint64_t be64(const uint8_t* p) { return (uint64_t(be32(p)) << 32) | be32(p + 4); }

// Reads until want bytes have arrived, the file ends or reading fails. Returns
// the number of bytes read, or -1 on failure.
ssize_t readFully(int fd, uint8_t* into, size_t want) {
    size_t got = 0;
    while (got < want) {
        ssize_t n = ::read(fd, into + got, want - got);
        if (n < 0) {
            if (errno == EINTR) continue;
            return -1;
        }
        if (n == 0) break;
        got += size_t(n);
    }
    return ssize_t(got);
}

// Whether the header starts with one of the two fat magics (byte-swapped forms
// are not accepted), and which form it is.
bool fatMagic(const uint8_t* p, bool& is64) {
    if (p[0] != 0xCA || p[1] != 0xFE || p[2] != 0xBA) return false;
    if (p[3] != 0xBE && p[3] != 0xBF) return false;
    is64 = p[3] == 0xBF;
    return true;
}

// The entry count and entry length of a valid header; nothing otherwise.
std::optional<std::pair<uint32_t, size_t>> headerShape(const uint8_t* header) {
    bool is64 = false;
    if (!fatMagic(header, is64)) return std::nullopt;
    uint32_t count = be32(header + 4);
    if (count < 1 || count > kMaxEntries) return std::nullopt;
    return std::make_pair(count, is64 ? kEntryBytes64 : kEntryBytes32);
}

}  // namespace

std::string FatBinary::architectureName(uint32_t cpuType, uint32_t cpuSubtype) {
    switch (cpuType) {
        case kCpuX86_64: return "x86_64";
        case kCpuArm64: return (cpuSubtype & kSubtypeMask) == kSubtypeArm64e ? "arm64e" : "arm64";
        case kCpuX86: return "x86";
        case kCpuArm: return "arm";
        default: break;
    }
    static constexpr char digits[] = "0123456789ABCDEF";
    std::string out = "0x";
    for (int shift = 28; shift >= 0; shift -= 4) out += digits[(cpuType >> shift) & 0xF];
    return out;
}

std::optional<FatBinary> FatBinary::parse(std::span<const uint8_t> bytes) {
    if (bytes.size() < kHeaderBytes) return std::nullopt;
    auto shape = headerShape(bytes.data());
    if (!shape) return std::nullopt;
    auto [count, entryBytes] = *shape;
    if (bytes.size() - kHeaderBytes < size_t(count) * entryBytes) return std::nullopt;

    const bool is64 = entryBytes == kEntryBytes64;
    FatBinary fat;
    fat.architectures.reserve(count);
    for (uint32_t i = 0; i < count; ++i) {
        const uint8_t* e = bytes.data() + kHeaderBytes + size_t(i) * entryBytes;
        Slice s;
        s.cpuType = be32(e);
        s.cpuSubtype = be32(e + 4);
        if (is64) {
            uint64_t offset = be64(e + 8);
            uint64_t size = be64(e + 16);
            // A slice that cannot be described faithfully would send the
            // thinning to the wrong bytes: the header is not taken at all.
            if (offset > std::numeric_limits<uint32_t>::max()) return std::nullopt;
            if (size > uint64_t(std::numeric_limits<int64_t>::max())) return std::nullopt;
            s.offset = uint32_t(offset);
            s.size = int64_t(size);
            s.alignment = be32(e + 24);
        } else {
            s.offset = be32(e + 8);
            s.size = int64_t(be32(e + 12));
            s.alignment = be32(e + 16);
        }
        s.name = architectureName(s.cpuType, s.cpuSubtype);
        fat.architectures.push_back(std::move(s));
    }
    return fat;
}

std::optional<FatBinary> FatBinary::read(const std::filesystem::path& path) {
    // Through the one reader's open: a pipe or a terminal where an executable
    // is expected is never read, so it cannot hang the scan.
    FileHandle fd = FileText::openRegular(path);
    if (!fd.valid()) return std::nullopt;
    std::array<uint8_t, kMaxHeaderBytes> buffer{};
    std::optional<FatBinary> result;
    ssize_t got = readFully(fd.get(), buffer.data(), kHeaderBytes);
    if (got == ssize_t(kHeaderBytes)) {
        if (auto shape = headerShape(buffer.data())) {
            size_t table = size_t(shape->first) * shape->second;
            ssize_t more = readFully(fd.get(), buffer.data() + kHeaderBytes, table);
            if (more == ssize_t(table))
                result = parse(std::span<const uint8_t>(buffer.data(), kHeaderBytes + table));
        }
    }
    return result;
}
