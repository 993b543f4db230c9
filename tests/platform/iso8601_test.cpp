#include "platform/iso8601.h"

#include <gtest/gtest.h>

using namespace std::chrono;

namespace {
Clock::TimePoint utc(int y, unsigned mo, unsigned d, int h, int mi, int s) {
    return Clock::TimePoint{sys_days{year{y} / mo / d} + hours{h} + minutes{mi} + seconds{s}};
}
}  // namespace

TEST(Iso8601, FormatsInUtcWithWholeSeconds) {
    EXPECT_EQ(Iso8601::format(utc(2026, 3, 1, 9, 30, 0)), "2026-03-01T09:30:00Z");
    EXPECT_EQ(Iso8601::format(utc(2026, 3, 1, 9, 30, 0) + milliseconds(999)), "2026-03-01T09:30:00Z");
    EXPECT_EQ(Iso8601::format(utc(1969, 12, 31, 23, 59, 59) + milliseconds(500)), "1969-12-31T23:59:59Z");
    EXPECT_EQ(Iso8601::format(utc(2024, 2, 29, 0, 0, 5)), "2024-02-29T00:00:05Z");
}

TEST(Iso8601, ParsesInternetDateTimesOnly) {
    struct Case {
        const char* text;
        std::optional<Clock::TimePoint> expected;
    } cases[] = {
        {"2026-03-01T09:30:00Z", utc(2026, 3, 1, 9, 30, 0)},
        {"2026-03-01T11:30:00+02:00", utc(2026, 3, 1, 9, 30, 0)},
        {"2026-03-01T04:00:00-0530", utc(2026, 3, 1, 9, 30, 0)},
        {"2024-02-29T00:00:00Z", utc(2024, 2, 29, 0, 0, 0)},
        {"2026-03-01T09:30:00.250Z", std::nullopt},
        {"2026-03-01T09:30:00", std::nullopt},
        {"2026-03-01 09:30:00Z", std::nullopt},
        {"2026-3-01T09:30:00Z", std::nullopt},
        {"2025-02-29T00:00:00Z", std::nullopt},
        {"2026-03-01T24:00:00Z", std::nullopt},
        {"2026-03-01T09:30:00Zjunk", std::nullopt},
        {"2026-03-01T09:30:00+2:00", std::nullopt},
        // The clock holds nanoseconds: instants centuries away do not fit it.
        {"2262-04-11T23:47:16Z", utc(2262, 4, 11, 23, 47, 16)},
        {"2262-04-11T23:47:17Z", std::nullopt},
        {"2402-12-31T23:59:59+02:00", std::nullopt},
        {"1677-09-21T00:12:44Z", utc(1677, 9, 21, 0, 12, 44)},
        {"1677-09-21T00:12:43Z", std::nullopt},
        {"1000-01-01T00:00:00Z", std::nullopt},
        {"", std::nullopt},
    };
    for (const auto& c : cases) EXPECT_EQ(Iso8601::parse(c.text), c.expected) << c.text;
}
