#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "modules/system/web_link.h"

TEST(WebLinkTest, KeepsOnlyAbsoluteWebAddresses) {
    struct Case {
        const char* text;
        bool kept;
        const char* host;
        const char* lastComponent;
    } cases[] = {
        {"https://example.com/a/App%202.dmg", true, "example.com", "App 2.dmg"},
        {"http://example.com/notes/", true, "example.com", "notes"},
        {"HTTPS://Example.com:8443/feed.xml?x=1#top", true, "Example.com", "feed.xml"},
        {"https://[::1]:8443/x", true, "::1", "x"},
        {"https://example.com", true, "example.com", "/"},
        {"https://b\xc3\xbc" "cher.example/caf\xc3\xa9", true, "b\xc3\xbc" "cher.example", "caf\xc3\xa9"},
        {"javascript:alert(1)", false, "", ""},
        {"file:///etc/passwd", false, "", ""},
        {"ftp://example.com/a", false, "", ""},
        {"data:text/html,<b>x</b>", false, "", ""},
        {"//example.com/a", false, "", ""},
        {"/relative/path", false, "", ""},
        {"https:/example.com", false, "", ""},
        {"https:///path", false, "", ""},
        {"https://", false, "", ""},
        {" https://example.com/", false, "", ""},
        {"https://example.com/a b", false, "", ""},
        {"https://example.com/a\nb", false, "", ""},
        {"https://example.com/\"onload", false, "", ""},
        {"https://example.com/\xff", false, "", ""},
        {"", false, "", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        auto parsed = WebLink::parse(c.text);
        EXPECT_EQ(parsed.has_value(), c.kept);
        if (parsed) {
            EXPECT_EQ(*parsed, c.text);
        }
        EXPECT_EQ(WebLink::host(c.text), c.host);
        EXPECT_EQ(WebLink::lastPathComponent(c.text), c.lastComponent);
    }
}
