#pragma once
// The small text pieces of plain-text output (the command line's verbs, the
// engine probes' listings), written the same way under every locale.
#include <cstdint>
#include <string>
#include <string_view>

namespace PlainText {

// A decimal integer: "1234", "-5".
std::string number(int64_t value);
// At least two digits, zero-padded: "03", "23".
std::string twoDigits(int64_t value);
// The word, with an "s" unless the count is 1.
std::string plural(int64_t count, const std::string& word);
// Cut to width, or padded on the right with spaces to width.
std::string padRight(std::string text, size_t width);

// A path (or any text that holds one) as the terminal may show it: control
// characters C0, DEL and C1 written as C escapes ("\n", "\t", "\033",
// "\302\233"), bytes that are not UTF-8 as octal escapes, and the backslash
// doubled so no escape is ambiguous. A line feed in a name then never starts
// a line of its own, and an escape sequence never reaches the terminal.
// Everything else, spaces included, is left as it is.
std::string shown(std::string_view text);

}  // namespace PlainText
