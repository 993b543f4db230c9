#include <gtest/gtest.h>

#include <cstdint>

#include "platform/nesting.h"
#include "platform/plist.h"
#include "support/binary_plist.h"
#include "support/deep_documents.h"

using namespace testing_support;

namespace {

size_t arrayDepth(const Plist::Value& v) {
    size_t depth = 0;
    const Plist::Value* at = &v;
    while (at->isArray()) {
        ++depth;
        if (at->array.empty()) break;
        at = &at->array.front();
    }
    return depth;
}

void appendBigEndian(std::string& out, uint64_t value, size_t width) {
    for (size_t k = width; k-- > 0;) out += char((value >> (8 * k)) & 0xFF);
}

// A binary list of arrays given as the references each holds (one-byte
// offsets and references), the first object at the top.
std::string binaryOf(const std::vector<std::vector<uint8_t>>& refs) {
    std::string out = "bplist00";
    std::string table;
    for (const auto& r : refs) {
        table += char(out.size());
        out += char(0xA0 | r.size());
        for (auto ref : r) out += char(ref);
    }
    const uint64_t tableAt = out.size();
    out += table + std::string(6, '\0');
    out += char(1);
    out += char(1);
    appendBigEndian(out, refs.size(), 8);
    appendBigEndian(out, 0, 8);
    appendBigEndian(out, tableAt, 8);
    return out;
}

}  // namespace

// Up to the cap a list reads as it is; one level past it, or a hostile
// three hundred thousand, it is unreadable before the library sees it.
TEST(Nesting, PropertyListsUpToTheCapReadAndDeeperOnesAreUnreadable) {
    const size_t cap = Nesting::kMaxDepth;
    struct Case {
        const char* name;
        std::string bytes;
        bool reads;
    } cases[] = {
        {"xml arrays at the cap", deepXmlArrays(cap), true},
        {"xml dictionaries at the cap", deepXmlDicts(cap), true},
        {"binary arrays at the cap", deepBinaryArrays(cap), true},
        {"xml arrays past the cap", deepXmlArrays(cap + 2), false},
        {"xml dictionaries past the cap", deepXmlDicts(cap + 1), false},
        {"binary arrays past the cap", deepBinaryArrays(cap + 1), false},
        {"xml arrays 300,000 deep", deepXmlArrays(300'000), false},
        {"binary arrays 300,000 deep", deepBinaryArrays(300'000), false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(Nesting::plistWithin(c.bytes), c.reads);
        auto parsed = Plist::parse(c.bytes);
        EXPECT_EQ(parsed.has_value(), c.reads);
        if (parsed && std::string(c.name).find("arrays") != std::string::npos) {
            EXPECT_EQ(arrayDepth(*parsed), cap);
        }
    }
}

// What a parser would nest, and only that, counts: tags inside comments and
// CDATA do not hide a level, a closing tag that matches nothing is no
// property list, and self-closing elements and attribute text are no level.
TEST(Nesting, XmlCountsWhatAParserWouldNest) {
    std::string hidden;
    for (int k = 0; k < 300; ++k) hidden += "<array><!-- </array> --><![CDATA[</array>]]>";
    EXPECT_FALSE(Nesting::plistWithin("<plist>" + hidden));
    std::string mismatched;
    for (int k = 0; k < 300; ++k) mismatched += "<array></dict>";
    EXPECT_FALSE(Nesting::plistWithin("<plist>" + mismatched));
    std::string flat = "<plist version=\"1.0\"><array>";
    for (int k = 0; k < 5000; ++k) flat += "<true/><string a=\">\">x</string><array/>";
    EXPECT_TRUE(Nesting::plistWithin(flat + "</array></plist>"));
    EXPECT_TRUE(Nesting::plistWithin("not a property list at all"));
}

// Binary lists are measured by their references: shared objects count once
// for depth, a cycle or a blow-up of shared objects is unreadable, and so is
// a reference or a trailer that points outside the file.
TEST(Nesting, BinaryListsAreMeasuredByTheirReferences) {
    EXPECT_TRUE(Nesting::plistWithin(binaryOf({{1, 1, 2}, {2}, {}})));
    EXPECT_FALSE(Nesting::plistWithin(binaryOf({{1}, {0}})));      // a cycle
    EXPECT_FALSE(Nesting::plistWithin(binaryOf({{0}})));           // holds itself
    EXPECT_FALSE(Nesting::plistWithin(binaryOf({{1}, {9}})));      // no object 9
    // Forty levels of two references to the next: a trillion values once expanded.
    std::vector<std::vector<uint8_t>> doubling;
    for (uint8_t k = 0; k < 40; ++k) doubling.push_back({uint8_t(k + 1), uint8_t(k + 1)});
    doubling.push_back({});
    EXPECT_FALSE(Nesting::plistWithin(binaryOf(doubling)));
    std::string cut = deepBinaryArrays(10);
    EXPECT_FALSE(Nesting::plistWithin(cut.substr(0, cut.size() - 1)));

    // What the library writes reads back.
    Plist::Value real = Plist::Value::makeDict(
        {{"Label", Plist::Value::makeString("com.example.agent")},
         {"ProgramArguments", Plist::Value::makeArray({Plist::Value::makeString("/bin/true")})},
         {"Nested", Plist::Value::makeArray({Plist::Value::makeDict({{"k", Plist::Value::makeInteger(1)}})})}});
    EXPECT_TRUE(Nesting::plistWithin(binaryPlist(real)));
    EXPECT_TRUE(Nesting::plistWithin(Plist::toXml(real)));
    EXPECT_TRUE(Plist::parse(binaryPlist(real)).has_value());
}

TEST(Nesting, JsonCountsBracketsOutsideStringsAndComments) {
    const size_t cap = Nesting::kMaxDepth;
    EXPECT_TRUE(Nesting::jsonWithin(std::string(cap, '[') + std::string(cap, ']')));
    EXPECT_FALSE(Nesting::jsonWithin(std::string(cap + 1, '[') + std::string(cap + 1, ']')));
    EXPECT_FALSE(Nesting::jsonWithin(deepJson(300'000)));
    const std::string brackets(1000, '[');
    EXPECT_TRUE(Nesting::jsonWithin("{\"a\": \"" + brackets + "\", \"b\": \"\\\"" + brackets + "\"}"));
    EXPECT_TRUE(Nesting::jsonWithin("{// " + brackets + "\n\"a\": /* " + brackets + " */ 1}"));
    EXPECT_FALSE(Nesting::jsonWithin("{\"a\": \"x\\\\\", \"b\": " + brackets + "}"));  // the string ends at the quote
}
