#include "engine/fat_binary.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <initializer_list>
#include <vector>

#include "support/test_env.h"

using namespace testing_support;
using Bytes = std::vector<uint8_t>;

namespace {

void put32(Bytes& b, uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8) b.push_back(uint8_t(v >> shift));
}
void put64(Bytes& b, uint64_t v) {
    put32(b, uint32_t(v >> 32));
    put32(b, uint32_t(v));
}

struct Entry {
    uint32_t cpuType, cpuSubtype;
    uint64_t offset, size;
    uint32_t alignment;
};

// A header as a linker writes it: magic, count, then the entries.
Bytes header(bool is64, std::initializer_list<Entry> entries, std::optional<uint32_t> count = std::nullopt) {
    Bytes b = {0xCA, 0xFE, 0xBA, uint8_t(is64 ? 0xBF : 0xBE)};
    put32(b, count.value_or(uint32_t(entries.size())));
    for (const Entry& e : entries) {
        put32(b, e.cpuType);
        put32(b, e.cpuSubtype);
        if (is64) {
            put64(b, e.offset);
            put64(b, e.size);
            put32(b, e.alignment);
            put32(b, 0);
        } else {
            put32(b, uint32_t(e.offset));
            put32(b, uint32_t(e.size));
            put32(b, e.alignment);
        }
    }
    return b;
}

std::optional<FatBinary> parse(const Bytes& b) { return FatBinary::parse(b); }

const Entry kX86 = {0x01000007, 3, 0x4000, 0x10000, 14};
const Entry kArm = {0x0100000C, 0, 0x14000, 0x20000, 14};

}  // namespace

TEST(FatBinary, RejectsWhatIsNotAWholeUniversalHeader) {
    Bytes thin = {0xCF, 0xFA, 0xED, 0xFE, 0x0C, 0x00, 0x00, 0x01, 0, 0, 0, 0};
    Bytes swapped = header(false, {kX86});
    std::swap(swapped[0], swapped[3]);
    std::swap(swapped[1], swapped[2]);
    Bytes cutTable = header(false, {kX86, kArm});
    cutTable.resize(28);  // the second entry is missing
    Bytes cut64 = header(true, {kX86});
    cut64.pop_back();
    Bytes count31Short = header(false, {kX86}, 31);
    Bytes overlong = {0xCA, 0xFE, 0xBA, 0xBE, 0x00, 0x00, 0x00, 0x34};
    overlong.resize(8 + 52 * 32, 0);  // even a complete table does not make 52 acceptable

    struct Case {
        const char* what;
        Bytes bytes;
    } cases[] = {
        {"empty", {}},
        {"seven bytes", {0xCA, 0xFE, 0xBA, 0xBE, 0, 0, 0}},
        {"thin 64-bit Mach-O", thin},
        {"byte-swapped fat magic", swapped},
        {"count 0", header(false, {}, 0)},
        {"count 32", header(false, {}, 32)},
        {"count 52", overlong},
        {"count 0xFFFFFFFF", header(true, {kX86}, 0xFFFFFFFF)},
        {"32-bit table cut after one entry", cutTable},
        {"64-bit table one byte short", cut64},
        {"count 31 with one entry", count31Short},
    };
    for (const auto& c : cases) EXPECT_FALSE(parse(c.bytes)) << c.what;
}

TEST(FatBinary, ReadsBothFormsFieldForField) {
    auto fat = parse(header(false, {kX86, kArm}));
    ASSERT_TRUE(fat);
    ASSERT_EQ(fat->architectures.size(), 2u);
    EXPECT_EQ(fat->architectures[0], (FatBinary::Slice{"x86_64", 0x01000007, 3, 0x4000, 0x10000, 14}));
    EXPECT_EQ(fat->architectures[1], (FatBinary::Slice{"arm64", 0x0100000C, 0, 0x14000, 0x20000, 14}));

    auto fat64 = parse(header(true, {{0x0100000C, 0x80000002, 0x4000, 0x1234567, 14}, kX86}));
    ASSERT_TRUE(fat64);
    ASSERT_EQ(fat64->architectures.size(), 2u);
    EXPECT_EQ(fat64->architectures[0], (FatBinary::Slice{"arm64e", 0x0100000C, 0x80000002, 0x4000, 0x1234567, 14}));
    EXPECT_EQ(fat64->architectures[1].name, "x86_64");
    EXPECT_EQ(fat64->architectures[1].offset, 0x4000u);

    // Bytes past the table (the slices themselves) do not matter.
    Bytes withBody = header(false, {kArm});
    withBody.resize(4096, 0xAB);
    ASSERT_TRUE(parse(withBody));
    EXPECT_EQ(parse(withBody)->architectures.size(), 1u);
}

TEST(FatBinary, ThirtyOneEntriesIsTheMostAccepted) {
    Bytes b = {0xCA, 0xFE, 0xBA, 0xBF};
    put32(b, 31);
    for (uint32_t i = 0; i < 31; ++i) {
        put32(b, 0x01000007);
        put32(b, i);
        put64(b, 0x1000 * (i + 1));
        put64(b, 0x100);
        put32(b, 12);
        put32(b, 0);
    }
    ASSERT_EQ(b.size(), FatBinary::kMaxHeaderBytes);
    auto fat = parse(b);
    ASSERT_TRUE(fat);
    ASSERT_EQ(fat->architectures.size(), 31u);
    EXPECT_EQ(fat->architectures[30].cpuSubtype, 30u);
    EXPECT_EQ(fat->architectures[30].offset, 0x1F000u);
}

TEST(FatBinary, SlicesThatDoNotFitTheRecordRejectTheHeader) {
    EXPECT_FALSE(parse(header(true, {{0x0100000C, 0, 0x100000000ull, 0x100, 14}})));
    EXPECT_FALSE(parse(header(true, {{0x0100000C, 0, 0x4000, 0x8000000000000000ull, 14}})));
    auto edge = parse(header(true, {{0x0100000C, 0, 0xFFFFFFFFull, 0x7FFFFFFFFFFFFFFFull, 14}}));
    ASSERT_TRUE(edge);
    EXPECT_EQ(edge->architectures[0].offset, 0xFFFFFFFFu);
    EXPECT_EQ(edge->architectures[0].size, INT64_MAX);
    // In the 32-bit form a size with the top bit set is still a positive size.
    auto big32 = parse(header(false, {{0x0100000C, 0, 0x4000, 0xFFFFFFFFull, 14}}));
    ASSERT_TRUE(big32);
    EXPECT_EQ(big32->architectures[0].size, 0xFFFFFFFFll);
}

TEST(FatBinary, ArchitectureNames) {
    struct Case {
        uint32_t type, subtype;
        const char* name;
    } cases[] = {
        {0x01000007, 3, "x86_64"},      {0x0100000C, 0, "arm64"},       {0x0100000C, 2, "arm64e"},
        {0x0100000C, 0x80000002, "arm64e"}, {0x0100000C, 0x01000002, "arm64e"}, {0x0100000C, 1, "arm64"},
        {7, 3, "x86"},                  {12, 9, "arm"},                 {18, 0, "0x00000012"},
        {0x0200000C, 0, "0x0200000C"},  {0xDEADBEEF, 0, "0xDEADBEEF"},
    };
    for (const auto& c : cases) EXPECT_EQ(FatBinary::architectureName(c.type, c.subtype), c.name) << c.name;
}

class FatBinaryFile : public TestEnv {};

TEST_F(FatBinaryFile, ReadsTheHeaderOfAFileAndNothingFromOtherThings) {
    Bytes b = header(false, {kX86, kArm});
    b.resize(64 * 1024, 0);
    writeFile(tmp() / "Tool", std::string(b.begin(), b.end()));
    auto fat = FatBinary::read(tmp() / "Tool");
    ASSERT_TRUE(fat);
    EXPECT_EQ(fat->architectures.size(), 2u);
    EXPECT_EQ(fat, parse(b));

    writeFile(tmp() / "short", std::string("\xCA\xFE\xBA\xBE\x00\x00\x00\x02", 8));
    makeFolders(tmp() / "folder");
    ASSERT_EQ(::mkfifo((tmp() / "pipe").c_str(), 0644), 0);
    EXPECT_FALSE(FatBinary::read(tmp() / "short"));
    EXPECT_FALSE(FatBinary::read(tmp() / "missing"));
    EXPECT_FALSE(FatBinary::read(tmp() / "folder"));
    EXPECT_FALSE(FatBinary::read(tmp() / "pipe"));  // returns at once instead of waiting for a writer
}
