#include "cli/cli_text.h"
#include "platform/decimal.h"


namespace CLIText {

std::string number(int64_t value) { return Decimal::text(value); }

std::string twoDigits(int64_t value) {
    std::string s = number(value);
    return s.size() < 2 ? "0" + s : s;
}

std::string plural(int64_t count, const std::string& word) { return word + (count == 1 ? "" : "s"); }

std::string padRight(std::string text, size_t width) {
    if (text.size() > width) text.resize(width);
    text.append(width - text.size(), ' ');
    return text;
}

}  // namespace CLIText
