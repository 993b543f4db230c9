#include <gtest/gtest.h>

#include "platform/plist.h"
#include "support/test_env.h"

TEST(PropertyLists, XmlAndBinaryReadAlike) {
    auto dict = Plist::Value::makeDict({
        {"CFBundleIdentifier", Plist::Value::makeString("com.example.Tool")},
        {"RunAtLoad", Plist::Value::makeBool(true)},
        {"Count", Plist::Value::makeInteger(-3)},
        {"ProgramArguments", Plist::Value::makeArray({Plist::Value::makeString("/bin/echo"),
                                                      Plist::Value::makeInteger(1),
                                                      Plist::Value::makeString("hi")})},
    });
    std::string xml = Plist::toXml(dict);
    ASSERT_NE(xml.find("<key>CFBundleIdentifier</key>"), std::string::npos);
    auto back = Plist::parse(xml);
    ASSERT_TRUE(back && back->isDict());
    EXPECT_EQ(back->string("CFBundleIdentifier"), "com.example.Tool");
    EXPECT_EQ(back->boolean_("RunAtLoad"), true);
    EXPECT_EQ(back->integer_("Count"), -3);
    EXPECT_EQ(back->strings("ProgramArguments"), (std::vector<std::string>{"/bin/echo", "hi"}));
    EXPECT_EQ(back->string("RunAtLoad"), std::nullopt);

    // A minimal binary property list: { "A" = "b" }.
    std::string bytes = "bplist00";
    bytes += std::string("\xD1\x01\x02", 3);  // dictionary of one entry: key object 1, value object 2
    bytes += std::string("\x51" "A", 2);        // object 1: ASCII string "A"
    bytes += std::string("\x51" "b", 2);        // object 2: ASCII string "b"
    bytes += std::string("\x08\x0B\x0D", 3);    // offset table, at byte 15
    std::string trailer(32, '\0');
    trailer[6] = 1;   // offset size
    trailer[7] = 1;   // object reference size
    trailer[15] = 3;  // object count
    trailer[31] = 15; // offset table position (top object 0)
    bytes += trailer;
    auto bin = Plist::parse(bytes);
    ASSERT_TRUE(bin && bin->isDict());
    EXPECT_EQ(bin->string("A"), "b");

    EXPECT_FALSE(Plist::parse("not a plist").has_value());
    EXPECT_FALSE(Plist::parse("").has_value());
}

TEST(PropertyLists, AStringHoldingANulByteReadsUpToIt) {
    // Any bundle may carry such a file; the library's copying getter aborts on it.
    std::string xml = "<?xml version=\"1.0\"?><plist version=\"1.0\"><dict>"
                      "<key>CFBundleIdentifier</key><string>com.example";
    xml += '\0';
    xml += ".hidden</string><key>CFBundleName</key><string>Tool</string></dict></plist>";
    auto fromXml = Plist::parse(xml);
    ASSERT_TRUE(fromXml && fromXml->isDict());
    EXPECT_EQ(fromXml->string("CFBundleIdentifier"), "com.example");
    EXPECT_EQ(fromXml->string("CFBundleName"), "Tool");

    // The same in binary form: { "A" = "b\0c" }.
    std::string bytes = "bplist00";
    bytes += std::string("\xD1\x01\x02", 3);
    bytes += std::string("\x51" "A", 2);
    bytes += std::string("\x53" "b\0c", 4);
    bytes += std::string("\x08\x0B\x0D", 3);
    std::string trailer(32, '\0');
    trailer[6] = 1;
    trailer[7] = 1;
    trailer[15] = 3;
    trailer[31] = 17;
    bytes += trailer;
    auto fromBinary = Plist::parse(bytes);
    ASSERT_TRUE(fromBinary && fromBinary->isDict());
    EXPECT_EQ(fromBinary->string("A"), "b");
}

TEST(PropertyLists, AnArchivesObjectReferenceReadsAndWritesBackAsItself) {
    // The fuzzer's finding: { "a" = UID(0x030410) } in binary form. It used
    // to read as a value of no kind and come back from XML as an empty string.
    const std::string bytes = std::string("bplist00\xD1\x01\x02\x51" "a\x82\x03\x04\x10\x01\x51" "b\x08\x0B\x0D\x10\x12", 26) +
                              std::string("\0\0\0\0\0\0\x01\x01\0\0\0\0\0\0\0\x05\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\x14", 32);
    const auto value = Plist::parse(bytes);
    ASSERT_TRUE(value && value->isDict());
    const Plist::Value* reference = value->get("a");
    ASSERT_TRUE(reference && reference->isDict());
    EXPECT_EQ(reference->integer_("CF$UID"), 0x030410);
    const std::string xml = Plist::toXml(*value);
    EXPECT_NE(xml.find("<key>CF$UID</key>"), std::string::npos);
    const auto again = Plist::parse(xml);
    ASSERT_TRUE(again && again->get("a"));
    EXPECT_EQ(again->get("a")->integer_("CF$UID"), 0x030410);
    EXPECT_EQ(Plist::toXml(*again), xml);
}
