#pragma once
// Reading one update feed: an RSS document in the appcast format, whose items
// carry versions on their enclosures or in "sparkle:" elements. The parser
// picks the one entry the update check compares with the installed version:
// the highest version among the usable items, pre-releases left out unless
// asked for. A feed is outside input: anything malformed, truncated, too deep
// or in an unknown encoding simply gives no entry.
#include <optional>
#include <string>
#include <string_view>

#include "platform/clock.h"

namespace Appcast {

struct Entry {
    std::string version;  // never empty
    std::optional<std::string> downloadURL;      // absolute http(s) address
    std::optional<std::string> releaseNotesURL;  // absolute http(s) address
    std::optional<Clock::TimePoint> published;
};

// The best entry of the feed, or nothing.
std::optional<Entry> parse(std::string_view body, bool includePrereleases);

// A publication date in one of the forms feeds use, read with English month
// and day names whatever the user's locale: "Wed, 09 Jan 2013 11:00:00 +0000",
// "Wed, 09 Jan 2013 11:00:00 GMT" or "2013-01-09T11:00:00+0000". The day may
// have one digit or be padded with a space ("Wed,  5 Nov 2014 ..."); a date
// the clock cannot hold (a two-digit year, say) is no date.
std::optional<Clock::TimePoint> parseDate(std::string_view text);

// Whether a version or file name marks a pre-release: rc, alpha, beta,
// preview or nightly in any case, at the start, after "-", "_" or ".", or
// right after a digit ("1.6.7beta1"), optionally followed by digits, and then
// at the end or before "-", "_", "." or a digit.
bool looksLikePrerelease(std::string_view text);

}  // namespace Appcast
