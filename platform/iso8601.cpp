#include "platform/iso8601.h"

#include <charconv>
#include <chrono>

namespace Iso8601 {
namespace {

void appendPadded(std::string& out, long long value, int width) {
    char buf[24];
    auto [end, ec] = std::to_chars(buf, buf + sizeof buf, value);
    (void)ec;
    for (int n = int(end - buf); n < width; ++n) out.push_back('0');
    out.append(buf, end);
}

// Reads exactly `width` ASCII digits at text[pos].
std::optional<int> digits(std::string_view text, size_t pos, size_t width) {
    if (pos + width > text.size()) return std::nullopt;
    int value = 0;
    for (size_t i = pos; i < pos + width; ++i) {
        char c = text[i];
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + (c - '0');
    }
    return value;
}

bool charAt(std::string_view text, size_t pos, char expected) { return pos < text.size() && text[pos] == expected; }

}  // namespace

std::optional<std::string> format(Clock::TimePoint when) {
    using namespace std::chrono;
    auto secs = floor<seconds>(when);
    auto day = floor<days>(secs);
    year_month_day ymd{day};
    int y = int(ymd.year());
    if (y < 0 || y > 9999) return std::nullopt;
    hh_mm_ss<seconds> tod{secs - day};
    std::string out;
    out.reserve(20);
    appendPadded(out, y, 4);
    out.push_back('-');
    appendPadded(out, unsigned(ymd.month()), 2);
    out.push_back('-');
    appendPadded(out, unsigned(ymd.day()), 2);
    out.push_back('T');
    appendPadded(out, tod.hours().count(), 2);
    out.push_back(':');
    appendPadded(out, tod.minutes().count(), 2);
    out.push_back(':');
    appendPadded(out, tod.seconds().count(), 2);
    out.push_back('Z');
    return out;
}

std::optional<Clock::TimePoint> parse(std::string_view text) {
    using namespace std::chrono;
    auto y = digits(text, 0, 4);
    auto mo = digits(text, 5, 2);
    auto d = digits(text, 8, 2);
    auto h = digits(text, 11, 2);
    auto mi = digits(text, 14, 2);
    auto s = digits(text, 17, 2);
    if (!y || !mo || !d || !h || !mi || !s) return std::nullopt;
    if (!charAt(text, 4, '-') || !charAt(text, 7, '-') || !(charAt(text, 10, 'T') || charAt(text, 10, 't')) ||
        !charAt(text, 13, ':') || !charAt(text, 16, ':'))
        return std::nullopt;
    year_month_day ymd{year{*y}, month{unsigned(*mo)}, day{unsigned(*d)}};
    if (!ymd.ok() || *h > 23 || *mi > 59 || *s > 59) return std::nullopt;

    std::string_view zone = text.substr(19);
    seconds offset{0};
    if (zone == "Z" || zone == "z") {
    } else if (zone.size() == 6 || zone.size() == 5) {
        if (zone[0] != '+' && zone[0] != '-') return std::nullopt;
        bool colon = zone.size() == 6;
        if (colon && zone[3] != ':') return std::nullopt;
        auto oh = digits(zone, 1, 2);
        auto om = digits(zone, colon ? 4 : 3, 2);
        if (!oh || !om || *oh > 23 || *om > 59) return std::nullopt;
        offset = hours{*oh} + minutes{*om};
        if (zone[0] == '-') offset = -offset;
    } else {
        return std::nullopt;
    }
    sys_seconds instant = sys_days{ymd} + hours{*h} + minutes{*mi} + seconds{*s} - offset;
    // The clock's resolution leaves it a few centuries either side of 1970:
    // an instant beyond them is not a time it can hold.
    if (instant < ceil<seconds>(Clock::TimePoint::min()) || instant > floor<seconds>(Clock::TimePoint::max()))
        return std::nullopt;
    return Clock::TimePoint{duration_cast<Clock::TimePoint::duration>(instant.time_since_epoch())};
}

}  // namespace Iso8601
