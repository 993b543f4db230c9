#pragma once
// The header of a universal (fat) Mach-O executable: one complete executable per
// CPU architecture ("slice") behind a small big-endian table. Only the table is
// read, never the slices. Headers come from files anyone may have written, so a
// header that is short, out of range or not representable reads as "not a
// universal binary" instead of being trusted.
#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <vector>

struct FatBinary {
    struct Slice {
        std::string name;       // "x86_64", "arm64", "arm64e", "x86", "arm" or "0x%08X" of the CPU type
        uint32_t cpuType = 0;
        uint32_t cpuSubtype = 0;  // as stored, capability bits included
        uint32_t offset = 0;      // from the start of the file
        int64_t size = 0;
        uint32_t alignment = 0;   // the slice starts on a multiple of 2^alignment

        bool operator==(const Slice&) const = default;
    };

    std::vector<Slice> architectures;  // in the order of the header's entries

    bool operator==(const FatBinary&) const = default;

    // The most bytes read from a file: the 8-byte header and 31 entries of the
    // 64-bit form.
    static constexpr size_t kMaxHeaderBytes = 8 + 31 * 32;

    // The parsed header of the file, or nothing when it is not a readable
    // universal binary. Never writes, never blocks on a pipe or device. The
    // slices are as the header says: whoever reads one checks that it lies
    // inside the file.
    static std::optional<FatBinary> read(const std::filesystem::path& path);

    // The same, from the first bytes of a file (bytes past the header are ignored).
    static std::optional<FatBinary> parse(std::span<const uint8_t> bytes);

    // The architecture name of a CPU type and subtype.
    static std::string architectureName(uint32_t cpuType, uint32_t cpuSubtype);
};
