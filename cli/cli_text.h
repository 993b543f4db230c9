#pragma once
// The small text pieces the verbs' human output is made of, written the same
// way under every locale.
#include <cstdint>
#include <string>

namespace CLIText {

// A decimal integer: "1234", "-5".
std::string number(int64_t value);
// At least two digits, zero-padded: "03", "23".
std::string twoDigits(int64_t value);
// The word, with an "s" unless the count is 1.
std::string plural(int64_t count, const std::string& word);
// Cut to width, or padded on the right with spaces to width.
std::string padRight(std::string text, size_t width);

}  // namespace CLIText
