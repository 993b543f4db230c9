// The universal-binary header: every slice the parser reports comes from the
// table the header counts, read back field for field, and a file holding the
// same bytes reads the same.
#include <sys/mman.h>
#include <unistd.h>

#include <string>

#include "engine/fat_binary.h"
#include "fuzz_support.h"

namespace {

uint32_t be32(const uint8_t* p) {
    return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | uint32_t(p[3]);
}

uint64_t be64(const uint8_t* p) { return (uint64_t(be32(p)) << 32) | be32(p + 4); }

// The header read through a file, as the thinning and the detectors do.
std::optional<FatBinary> readThroughFile(const uint8_t* data, size_t size) {
    static int fd = ::memfd_create("fat-header", MFD_CLOEXEC);
    FUZZ_CHECK(fd >= 0);
    FUZZ_CHECK(::ftruncate(fd, 0) == 0);
    FUZZ_CHECK(size == 0 || ::pwrite(fd, data, size, 0) == ssize_t(size));
    return FatBinary::read("/proc/self/fd/" + std::to_string(fd));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const auto fat = FatBinary::parse({data, size});
    FUZZ_CHECK(readThroughFile(data, size) == fat);
    if (!fat) return 0;

    FUZZ_CHECK(size >= 8 && data[0] == 0xCA && data[1] == 0xFE && data[2] == 0xBA);
    FUZZ_CHECK(data[3] == 0xBE || data[3] == 0xBF);
    const bool is64 = data[3] == 0xBF;
    const uint32_t count = be32(data + 4);
    const size_t entryBytes = is64 ? 32 : 20;
    FUZZ_CHECK(count >= 1 && count <= 31);
    FUZZ_CHECK(fat->architectures.size() == count);
    const size_t tableEnd = 8 + count * entryBytes;
    FUZZ_CHECK(tableEnd <= size && tableEnd <= FatBinary::kMaxHeaderBytes);

    for (uint32_t i = 0; i < count; ++i) {
        const FatBinary::Slice& s = fat->architectures[i];
        const uint8_t* e = data + 8 + i * entryBytes;
        FUZZ_CHECK(s.cpuType == be32(e));
        FUZZ_CHECK(s.cpuSubtype == be32(e + 4));
        FUZZ_CHECK(s.name == FatBinary::architectureName(s.cpuType, s.cpuSubtype));
        FUZZ_CHECK(s.size >= 0);
        if (is64) {
            FUZZ_CHECK(s.offset == be64(e + 8));
            FUZZ_CHECK(uint64_t(s.size) == be64(e + 16));
            FUZZ_CHECK(s.alignment == be32(e + 24));
        } else {
            FUZZ_CHECK(s.offset == be32(e + 8));
            FUZZ_CHECK(uint64_t(s.size) == be32(e + 12));
            FUZZ_CHECK(s.alignment == be32(e + 16));
        }
    }
    // Bytes past the table are never read.
    FUZZ_CHECK(FatBinary::parse({data, tableEnd}) == fat);
    FUZZ_CHECK(!FatBinary::parse({data, tableEnd - 1}));
    return 0;
}
