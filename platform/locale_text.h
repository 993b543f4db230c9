#pragma once
// Numbers and dates written the way the user's locale writes them, for text
// the window shows (the command line's output stays the same under every
// locale; see PlainText).
#include <cstdint>
#include <optional>
#include <string>

namespace LocaleText {

// The locale the user formats numbers and dates with, as an identifier such
// as "de_DE": on macOS the system's current locale; elsewhere LC_ALL, then
// LC_NUMERIC, then LANG, codeset and modifier dropped. Empty for the POSIX
// locale or none at all. Tests may replace the answer.
std::string user();
void setForTesting(std::optional<std::string> locale);

// A whole number with the locale's digit grouping: "1,234,567" (en_US),
// "1.234.567" (de_DE), "1 234 567" with narrow no-break spaces (fr_FR). An
// empty or POSIX locale groups as English does.
std::string grouped(int64_t value, const std::string& locale);

// A day in the locale's abbreviated date style: "Dec 11, 2026" (en_US),
// "11. Dez. 2026" (de_DE), "11 déc. 2026" (fr_FR). Month 1 to 12.
std::string abbreviatedDate(int year, int month, int day, const std::string& locale);

}  // namespace LocaleText
