#include "platform/plain_text.h"

#include "platform/decimal.h"

namespace PlainText {

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

namespace {

void octal(std::string& out, unsigned char byte) {
    out += '\\';
    out += char('0' + ((byte >> 6) & 7));
    out += char('0' + ((byte >> 3) & 7));
    out += char('0' + (byte & 7));
}

// The length of the well-formed UTF-8 sequence at i, or 0.
size_t sequenceLength(std::string_view s, size_t i) {
    const auto byte = [&](size_t k) { return static_cast<unsigned char>(s[k]); };
    const unsigned char lead = byte(i);
    size_t length = 0;
    unsigned char low = 0x80, high = 0xBF;  // the range of the second byte
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0) low = 0xA0;   // no overlong forms
        if (lead == 0xED) high = 0x9F;  // no surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0) low = 0x90;
        if (lead == 0xF4) high = 0x8F;  // nothing above U+10FFFF
    } else {
        return 0;
    }
    if (i + length > s.size()) return 0;
    if (byte(i + 1) < low || byte(i + 1) > high) return 0;
    for (size_t k = 2; k < length; ++k)
        if (byte(i + k) < 0x80 || byte(i + k) > 0xBF) return 0;
    return length;
}

}  // namespace

std::string shown(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size();) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (c >= 0x20 && c < 0x7F) {
            if (c == '\\') out += '\\';
            out += char(c);
            ++i;
            continue;
        }
        switch (c) {
            case '\a': out += "\\a"; ++i; continue;
            case '\b': out += "\\b"; ++i; continue;
            case '\t': out += "\\t"; ++i; continue;
            case '\n': out += "\\n"; ++i; continue;
            case '\v': out += "\\v"; ++i; continue;
            case '\f': out += "\\f"; ++i; continue;
            case '\r': out += "\\r"; ++i; continue;
            default: break;
        }
        if (c < 0x80) {  // the other C0 controls, ESC among them, and DEL
            octal(out, c);
            ++i;
            continue;
        }
        const size_t length = sequenceLength(text, i);
        // U+0080 to U+009F, the C1 controls, are C2 80 to C2 9F.
        const bool c1 = length == 2 && c == 0xC2 && static_cast<unsigned char>(text[i + 1]) <= 0x9F;
        if (length == 0 || c1) {
            const size_t n = length == 0 ? 1 : length;
            for (size_t k = 0; k < n; ++k) octal(out, static_cast<unsigned char>(text[i + k]));
            i += n;
            continue;
        }
        out.append(text.substr(i, length));
        i += length;
    }
    return out;
}

}  // namespace PlainText
