#pragma once
// Internet date-times (RFC 3339, ISO 8601) with whole seconds: the form of
// every timestamp the system writes into files of its own, independent of the
// C locale and the local time zone.
#include <optional>
#include <string>
#include <string_view>

#include "platform/clock.h"

namespace Iso8601 {

// "2026-03-01T09:30:00Z": UTC, any fraction of a second dropped. Nothing for
// an instant outside the years 0000 to 9999.
std::optional<std::string> format(Clock::TimePoint when);

// Reads "YYYY-MM-DDTHH:MM:SS" followed by a zone designator: "Z", "+hh:mm",
// "-hh:mm" or "+hhmm". A fraction of a second, a missing designator, a date
// that does not exist or anything left over gives nothing.
std::optional<Clock::TimePoint> parse(std::string_view text);

}  // namespace Iso8601
