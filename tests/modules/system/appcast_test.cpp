#include <gtest/gtest.h>
#include <unicode/locid.h>
#include <unicode/timezone.h>

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <thread>

#include "modules/system/appcast.h"
#include "support/compiled_locale.h"
#include "support/test_env.h"

namespace {

using namespace std::chrono;

std::string feed(const std::string& items) {
    return "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
           "<rss version=\"2.0\" xmlns:sparkle=\"http://www.andymatuschak.org/xml-namespaces/sparkle\">\n"
           "<channel><title>Example</title><link>https://example.com/</link>\n" +
           items + "\n</channel></rss>\n";
}

// The document cut off just after its last complete item.
std::string brokenOff(const std::string& document) { return document.substr(0, document.find("</channel>")); }

Clock::TimePoint utc(int y, unsigned m, unsigned d, int hh, int mm, int ss) {
    return sys_days{year{y} / month{m} / day{d}} + hours{hh} + minutes{mm} + seconds{ss};
}

struct ParseCase {
    const char* name;
    std::string body;
    bool includePrereleases;
    std::optional<std::string> version;  // nothing: no entry at all
    std::optional<std::string> download = std::nullopt;
    std::optional<std::string> notes = std::nullopt;
};

}  // namespace

class AppcastTest : public TestEnv {};

TEST_F(AppcastTest, PicksTheEntryAsTheFeedDescribesIt) {
    const ParseCase cases[] = {
        {"enclosure attributes",
         feed(R"(<item><title>Version 2.1</title>
                 <enclosure url="https://example.com/App-2.1.zip" sparkle:shortVersionString="2.1" sparkle:version="210" length="5"/>
                 </item>)"),
         false, "2.1", "https://example.com/App-2.1.zip"},
        {"element names in any case",
         feed(R"(<ITEM><Sparkle:ShortVersionString> 3.0 </Sparkle:ShortVersionString>
                 <Enclosure url="https://example.com/a.zip"/></ITEM>)"),
         false, "3.0", "https://example.com/a.zip"},
        {"attribute names only as written",
         feed(R"(<item><enclosure url="https://example.com/a.zip" sparkle:shortversionstring="9.9" sparkle:version="1.4"/></item>)"),
         false, "1.4", "https://example.com/a.zip"},
        {"plain version attribute",
         feed(R"(<item><enclosure url="https://example.com/a.zip" version="1.5"/></item>)"), false, "1.5",
         "https://example.com/a.zip"},
        {"text in CDATA sections is not read",
         feed(R"(<item><sparkle:shortVersionString><![CDATA[9.0]]></sparkle:shortVersionString>
                 <enclosure url="https://example.com/a.zip" sparkle:version="2.0"/></item>)"),
         false, "2.0", "https://example.com/a.zip"},
        {"CDATA inside text drops only its own part",
         feed(R"(<item><sparkle:shortVersionString>4.<![CDATA[9]]>1</sparkle:shortVersionString></item>)"), false,
         "4.1"},
        {"a version given only in CDATA leaves the item unusable",
         feed(R"(<item><sparkle:version><![CDATA[5.0]]></sparkle:version><enclosure url="https://example.com/a.zip"/></item>)"),
         false, std::nullopt},
        {"two enclosures: first valid address, last version",
         feed(R"(<item><enclosure url="not an address" sparkle:version="1.0"/>
                 <enclosure url="https://example.com/second.zip" sparkle:version="1.1"/>
                 <enclosure url="https://example.com/third.zip"/></item>)"),
         false, "1.1", "https://example.com/second.zip"},
        {"short version wins over the build number, either order",
         feed(R"(<item><sparkle:shortVersionString>2.0</sparkle:shortVersionString><sparkle:version>200</sparkle:version></item>)"),
         false, "2.0"},
        {"build number first, short version second",
         feed(R"(<item><sparkle:version>200</sparkle:version><sparkle:shortVersionString>2.0</sparkle:shortVersionString></item>)"),
         false, "2.0"},
        {"a later enclosure version replaces both",
         feed(R"(<item><sparkle:version>200</sparkle:version><sparkle:shortVersionString>2.0</sparkle:shortVersionString>
                 <enclosure url="https://example.com/a.zip" sparkle:version="200"/></item>)"),
         false, "200", "https://example.com/a.zip"},
        {"an empty short version ends the attribute search",
         feed(R"(<item><sparkle:version>1.0</sparkle:version>
                 <enclosure url="https://example.com/a.zip" sparkle:shortVersionString="" sparkle:version="5.0"/></item>)"),
         false, "1.0", "https://example.com/a.zip"},
        {"release notes from the last link href, not link text",
         feed(R"(<item><sparkle:version>1.0</sparkle:version><link>https://example.com/text-only</link>
                 <link href="https://example.com/notes-1"/><link href="https://example.com/notes-2"/></item>)"),
         false, "1.0", std::nullopt, "https://example.com/notes-2"},
        {"links that are not web addresses are dropped",
         feed(R"(<item><sparkle:version>1.0</sparkle:version>
                 <enclosure url="file:///Applications/Evil.app"/><link href="javascript:void"/></item>)"),
         false, "1.0"},
        {"a later web link is still taken after a dropped one",
         feed(R"(<item><sparkle:version>1.0</sparkle:version><enclosure url="ftp://example.com/a.zip"/>
                 <enclosure url="http://example.com/b.zip"/><link href="https://example.com/n"/><link href="data:text/html,x"/></item>)"),
         false, "1.0", "http://example.com/b.zip", "https://example.com/n"},
        {"highest version wins",
         feed(R"(<item><sparkle:version>1.9</sparkle:version></item><item><sparkle:version>1.10</sparkle:version></item>
                 <item><sparkle:version>1.2</sparkle:version></item>)"),
         false, "1.10"},
        {"equal versions: the earlier item",
         feed(R"(<item><enclosure url="https://example.com/first.zip" sparkle:version="2.0"/></item>
                 <item><enclosure url="https://example.com/second.zip" sparkle:version="2.0.0"/></item>)"),
         false, "2.0", "https://example.com/first.zip"},
        {"item without a version is never chosen",
         feed(R"(<item><enclosure url="https://example.com/a.zip"/></item><item><sparkle:version>0.5</sparkle:version></item>)"),
         false, "0.5"},
        {"enclosures and links outside items change nothing",
         feed(R"(<enclosure url="https://example.com/x.zip" sparkle:version="9"/><link href="https://example.com/y"/>
                 <item><sparkle:version>1.0</sparkle:version></item>)"),
         false, "1.0"},
        {"an item left open is dropped by the next",
         feed(R"(<item><sparkle:version>7.0</sparkle:version><item><sparkle:version>1.0</sparkle:version></item></item>)"),
         false, "1.0"},
        {"pre-release newest, excluded",
         feed(R"(<item><sparkle:version>2.0-beta1</sparkle:version></item><item><sparkle:version>1.9</sparkle:version></item>)"),
         false, "1.9"},
        {"pre-release without a separator, excluded",
         feed(R"(<item><enclosure url="https://example.com/App-1.6.7beta1.zip" sparkle:version="1.6.7beta1"/></item>
                 <item><enclosure url="https://example.com/App-1.6.6.zip" sparkle:version="1.6.6"/></item>)"),
         false, "1.6.6", "https://example.com/App-1.6.6.zip"},
        {"pre-release without a separator, included",
         feed(R"(<item><enclosure url="https://example.com/App-1.6.7beta1.zip" sparkle:version="1.6.7beta1"/></item>
                 <item><enclosure url="https://example.com/App-1.6.6.zip" sparkle:version="1.6.6"/></item>)"),
         true, "1.6.7beta1", "https://example.com/App-1.6.7beta1.zip"},
        {"pre-release newest, included",
         feed(R"(<item><sparkle:version>2.0-beta1</sparkle:version></item><item><sparkle:version>1.9</sparkle:version></item>)"),
         true, "2.0-beta1"},
        {"beta channel is a pre-release",
         feed(R"(<item><sparkle:version>3.0</sparkle:version><sparkle:channel>Beta</sparkle:channel></item>
                 <item><sparkle:version>2.0</sparkle:version><channel>nightly</channel></item>
                 <item><sparkle:version>1.0</sparkle:version><sparkle:channel> Stable </sparkle:channel></item>)"),
         false, "1.0"},
        {"a title calling itself a beta is not read",
         feed(R"(<item><title>Version 3.0 Beta</title><description>beta-1 preview</description>
                 <sparkle:version>3.0</sparkle:version></item>)"),
         false, "3.0"},
        {"an empty channel element is no channel",
         feed(R"(<item><sparkle:version>3.0</sparkle:version><sparkle:channel>  </sparkle:channel></item>)"), false,
         "3.0"},
        {"pre-release by file name",
         feed(R"(<item><enclosure url="https://example.com/dl/Preview.dmg" sparkle:version="3.0"/></item>
                 <item><enclosure url="https://example.com/dl/App%2D2.0.dmg" sparkle:version="2.0"/></item>)"),
         false, "2.0", "https://example.com/dl/App%2D2.0.dmg"},
        {"every item a pre-release", feed(R"(<item><sparkle:version>1.0-rc1</sparkle:version></item>)"), false,
         std::nullopt},
        {"no items", feed(""), false, std::nullopt},
        {"not XML at all", "{\"version\": \"2.0\"}", false, std::nullopt},
        {"empty body", "", false, std::nullopt},
        {"broken off after complete items",
         brokenOff(feed(R"(<item><sparkle:version>1.0</sparkle:version></item><item><sparkle:version>2.0</sparkle:version></item>)")),
         false, std::nullopt},
        {"text after the document",
         feed(R"(<item><sparkle:version>1.0</sparkle:version></item>)") + "<rss/>", false, std::nullopt},
        {"invalid UTF-8", feed("<item><sparkle:version>1.0\xff\xfe</sparkle:version></item>"), false, std::nullopt},
        {"an undeclared entity", feed("<item><sparkle:version>&bogus;</sparkle:version></item>"), false,
         std::nullopt},
        {"entities in text and attributes are decoded",
         feed(R"(<item><sparkle:version>1.0&#x2e;1</sparkle:version><enclosure url="https://example.com/a?x=1&amp;y=2"/></item>)"),
         false, "1.0.1", "https://example.com/a?x=1&y=2"},
    };
    for (const ParseCase& c : cases) {
        SCOPED_TRACE(c.name);
        auto entry = Appcast::parse(c.body, c.includePrereleases);
        ASSERT_EQ(entry.has_value(), c.version.has_value());
        if (!entry) continue;
        EXPECT_EQ(entry->version, *c.version);
        EXPECT_EQ(entry->downloadURL, c.download);
        EXPECT_EQ(entry->releaseNotesURL, c.notes);
    }
}

TEST_F(AppcastTest, ReadsTheThreeDateFormsWhateverTheLocale) {
    const Clock::TimePoint january9 = utc(2013, 1, 9, 11, 0, 0);
    const Clock::TimePoint november5 = utc(2014, 11, 5, 10, 56, 0);
    struct Case {
        const char* text;
        std::optional<Clock::TimePoint> expected;
    } cases[] = {
        // Each form with a two-digit, a one-digit and a space-padded day.
        {"Wed, 09 Jan 2013 11:00:00 +0000", january9},
        {"Wed, 9 Jan 2013 11:00:00 +0000", january9},
        {"Wed,  9 Jan 2013 11:00:00 +0000", january9},
        {"Wed, 05 Nov 2014 11:56:00 +0100", november5},
        {"Wed, 5 Nov 2014 11:56:00 +0100", november5},
        {"Wed,  5 Nov 2014 11:56:00 +0100", november5},
        {"Wed, 09 Jan 2013 12:30:00 +0130", january9},
        {"Wed, 09 Jan 2013 11:00:00 GMT", january9},
        {"Wed, 9 Jan 2013 11:00:00 GMT", january9},
        {"Wed,  9 Jan 2013 11:00:00 GMT", january9},
        {"Wed, 09 Jan 2013 03:00:00 PST", january9},
        {"Wed, 5 Nov 2014 04:56:00 CST", november5},
        {"2013-01-09T11:00:00+0000", january9},
        {"2013-01-9T11:00:00+0000", january9},
        {"2013-01-09T06:00:00-0500", january9},
        {"2014-11-5T11:56:00+0100", november5},
        // Not dates: another language, a missing weekday, zone or seconds, text after the date.
        {"Mittwoch, 09 Januar 2013 11:00:00 +0000", std::nullopt},
        {"09 Jan 2013 11:00:00 +0000", std::nullopt},
        {"9 Jan 2013 11:00:00 +0000", std::nullopt},
        {"Wed, 9 Jan 2013 11:00:00", std::nullopt},
        {"Wed, 9 Jan 2013 11:00 +0000", std::nullopt},
        {"Wed, 09 Jan 2013 11:00:00 +0000 trailing", std::nullopt},
        {"Wed, 32 Jan 2013 11:00:00 +0000", std::nullopt},
        {"yesterday", std::nullopt},
        // A two-digit year is year 13, which no feed means; beyond what the clock can hold.
        {"Wed, 9 Jan 13 11:00:00 +0000", std::nullopt},
        {"Sat, 31 Dec 2402 11:00:00 +0000", std::nullopt},
        {"1500-01-09T11:00:00+0000", std::nullopt},
        {"", std::nullopt},
    };
    const icu::Locale originalLocale = icu::Locale::getDefault();
    std::unique_ptr<icu::TimeZone> originalZone(icu::TimeZone::createDefault());
    const struct {
        const char* locale;
        const char* zone;
    } settings[] = {{"de_DE", "America/Los_Angeles"}, {"ja_JP", "Asia/Tokyo"}};
    for (const auto& setting : settings) {
        // The C library and the Unicode library both follow the user: a
        // locale with other day and month names, and a zone far from GMT.
        testing_support::CompiledLocale cLocale(tmp() / "locales", setting.locale);
        ASSERT_TRUE(cLocale.active()) << cLocale.failure();
        UErrorCode status = U_ZERO_ERROR;
        icu::Locale::setDefault(icu::Locale(setting.locale), status);
        icu::TimeZone::adoptDefault(icu::TimeZone::createTimeZone(setting.zone));
        // Each thread builds its own formatters, so a fresh one shows what a
        // user with these settings gets.
        std::thread([&] {
            for (const Case& c : cases) {
                SCOPED_TRACE(std::string(setting.locale) + ": " + c.text);
                EXPECT_EQ(Appcast::parseDate(c.text), c.expected);
            }
        }).join();
    }
    UErrorCode status = U_ZERO_ERROR;
    icu::Locale::setDefault(originalLocale, status);
    icu::TimeZone::setDefault(*originalZone);
}

TEST_F(AppcastTest, TheEntryCarriesItsDateWhenItParses) {
    auto dated = Appcast::parse(
        feed("<item><sparkle:version>2.0</sparkle:version><pubDate> Wed, 09 Jan 2013 11:00:00 +0000 </pubDate></item>"),
        false);
    ASSERT_TRUE(dated);
    EXPECT_EQ(dated->published, utc(2013, 1, 9, 11, 0, 0));

    // A feed as release tools write it: the newest item's day has one digit.
    auto newest = Appcast::parse(feed(R"(
        <item><title>Version 1.4.2</title><pubDate>Wed, 5 Nov 2014 11:56:00 +0100</pubDate>
          <enclosure url="https://example.com/App-1.4.2.zip" sparkle:version="1.4.2" length="3" type="application/octet-stream"/></item>
        <item><title>Version 1.4.1</title><pubDate>Mon, 13 Oct 2014 09:12:00 +0200</pubDate>
          <enclosure url="https://example.com/App-1.4.1.zip" sparkle:version="1.4.1" length="3" type="application/octet-stream"/></item>)"),
                                 false);
    ASSERT_TRUE(newest);
    EXPECT_EQ(newest->version, "1.4.2");
    EXPECT_EQ(newest->published, utc(2014, 11, 5, 10, 56, 0));

    auto undated =
        Appcast::parse(feed("<item><sparkle:version>2.0</sparkle:version><pubDate>soon</pubDate></item>"), false);
    ASSERT_TRUE(undated);
    EXPECT_EQ(undated->version, "2.0");
    EXPECT_FALSE(undated->published);
}

TEST_F(AppcastTest, PrereleasePattern) {
    struct Case {
        const char* text;
        bool prerelease;
    } cases[] = {
        // After a separator or at the start.
        {"1.0-rc1", true},     {"2.0b.beta2", true},  {"3.0_Preview", true},   {"Preview.dmg", true},
        {"2.0-BETA", true},    {"1.0.alpha", true},   {"4.0-nightly-20240101", true},
        {"rc2", true},         {"1.0-beta10.3", true},
        // Right after a digit, as many projects write it.
        {"1.6.7beta1", true},  {"1.0rc1", true},      {"2.0alpha", true},      {"3.1RC2.1", true},
        {"App-2.4beta3.dmg", true},                   {"5.0preview", true},    {"20240101nightly", true},
        // No pre-release word standing on its own.
        {"alphabet", false},   {"2.0-rcx", false},    {"2.0-betamax", false},  {"2.0betamax", false},
        {"1.0b2", false},      {"Resources.zip", false}, {"release", false},  {"1.0", false},
        {"", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(Appcast::looksLikePrerelease(c.text), c.prerelease);
    }
}

TEST_F(AppcastTest, HostileDocumentsGiveNothingAndStaySmall) {
    // Nesting far deeper than any feed.
    std::string deep;
    for (int i = 0; i < 200000; ++i) deep += "<a>";
    EXPECT_FALSE(Appcast::parse(feed("<item><sparkle:version>1.0</sparkle:version></item>" + deep), false));

    // Entities that expand exponentially.
    std::string laughs = "<?xml version=\"1.0\"?><!DOCTYPE rss [<!ENTITY l0 \"lollollollollollollollollol\">";
    for (int i = 1; i <= 12; ++i)
        laughs += "<!ENTITY l" + std::to_string(i) + " \"" + std::string("&l") + std::to_string(i - 1) + ";" +
                  std::string("&l") + std::to_string(i - 1) + ";&l" + std::to_string(i - 1) + ";&l" +
                  std::to_string(i - 1) + ";&l" + std::to_string(i - 1) + ";&l" + std::to_string(i - 1) +
                  ";&l" + std::to_string(i - 1) + ";&l" + std::to_string(i - 1) + ";\">";
    laughs += "]><rss><channel><item><sparkle:version>&l12;</sparkle:version></item></channel></rss>";
    EXPECT_FALSE(Appcast::parse(laughs, false));

    // An external entity is never fetched or read.
    std::string external = "<?xml version=\"1.0\"?><!DOCTYPE rss [<!ENTITY x SYSTEM \"file:///etc/hostname\">]>"
                           "<rss><channel><item><sparkle:version>1.0&x;</sparkle:version></item></channel></rss>";
    auto entry = Appcast::parse(external, false);
    if (entry) {
        EXPECT_EQ(entry->version, "1.0");
    }

    // Many items with long text still parse.
    std::string many;
    for (int i = 0; i < 20000; ++i)
        many += "<item><title>" + std::string(100, 'x') + "</title><sparkle:version>1." + std::to_string(i) +
                "</sparkle:version></item>";
    auto last = Appcast::parse(feed(many), false);
    ASSERT_TRUE(last);
    EXPECT_EQ(last->version, "1.19999");
}

TEST_F(AppcastTest, ReadsFeedsInOtherEncodings) {
    std::string latin = "<?xml version=\"1.0\" encoding=\"windows-1252\"?><rss><channel><item>"
                        "<title>Caf\xe9 \x80</title><sparkle:version>2.\x31</sparkle:version></item></channel></rss>";
    auto entry = Appcast::parse(latin, false);
    ASSERT_TRUE(entry);
    EXPECT_EQ(entry->version, "2.1");

    std::string utf16 = "\xff\xfe";  // little-endian byte order mark
    for (char c : std::string("<rss><channel><item><sparkle:version>3.2</sparkle:version></item></channel></rss>")) {
        utf16 += c;
        utf16 += '\0';
    }
    entry = Appcast::parse(utf16, false);
    ASSERT_TRUE(entry);
    EXPECT_EQ(entry->version, "3.2");

    EXPECT_FALSE(Appcast::parse("<?xml version=\"1.0\" encoding=\"x-no-such-encoding\"?><rss/>", false));
}
