#pragma once
// Universal (fat) executables for tests: a real header followed by the slices
// themselves, each at its aligned offset, as a linker lays them out.
#include <cstdint>
#include <string>
#include <vector>

namespace testing_support {

constexpr uint32_t kCpuX86_64 = 0x01000007;
constexpr uint32_t kCpuArm64 = 0x0100000C;

struct SliceSpec {
    uint32_t cpuType;
    uint32_t cpuSubtype;
    uint32_t alignment;
    std::string bytes;
};

// The whole file in the 32-bit (CAFEBABE) or 64-bit (CAFEBABF) header form,
// each slice placed at the next multiple of 2^alignment after what precedes it.
std::string universalBinary(const std::vector<SliceSpec>& slices, bool form64 = false);

// length bytes of a pattern that differs with the seed.
std::string filledBytes(size_t length, char seed);

}  // namespace testing_support
