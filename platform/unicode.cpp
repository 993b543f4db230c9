#include "platform/unicode.h"

#include <unicode/brkiter.h>
#include <unicode/coll.h>
#include <unicode/uchar.h>
#include <unicode/normalizer2.h>
#include <unicode/ucasemap.h>
#include <unicode/unistr.h>
#include <unicode/utf8.h>

#include <algorithm>
#include <memory>

namespace Unicode {

bool isAscii(std::string_view s) {
    for (unsigned char c : s)
        if (c >= 0x80) return false;
    return true;
}

namespace {

// Whether a byte offset of composed UTF-8 text lies on a grapheme cluster boundary.
bool isBoundary(const std::string& text, size_t offset) {
    if (offset == 0 || offset >= text.size()) return true;
    if (isAscii(std::string_view(text).substr(offset > 0 ? offset - 1 : 0, 2)) &&
        static_cast<unsigned char>(text[offset]) < 0x80 && text[offset - 1] != '\r')
        return true;
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::BreakIterator> it(icu::BreakIterator::createCharacterInstance(icu::Locale::getRoot(), status));
    if (U_FAILURE(status)) return true;
    icu::UnicodeString u = icu::UnicodeString::fromUTF8(icu::StringPiece(text.data(), int32_t(offset)));
    int32_t utf16Offset = u.length();
    icu::UnicodeString whole = icu::UnicodeString::fromUTF8(icu::StringPiece(text.data(), int32_t(text.size())));
    it->setText(whole);
    return it->isBoundary(utf16Offset);
}

}  // namespace

bool isValidUtf8(std::string_view text) {
    int32_t i = 0;
    const int32_t n = int32_t(text.size());
    const auto* s = reinterpret_cast<const uint8_t*>(text.data());
    while (i < n) {
        UChar32 c;
        U8_NEXT(s, i, n, c);
        if (c < 0) return false;
    }
    return true;
}

std::string sanitizeUtf8(std::string_view text) {
    if (isAscii(text)) return std::string(text);
    std::string out;
    out.reserve(text.size());
    int32_t i = 0;
    const int32_t n = int32_t(text.size());
    const auto* s = reinterpret_cast<const uint8_t*>(text.data());
    while (i < n) {
        int32_t start = i;
        UChar32 c;
        U8_NEXT(s, i, n, c);
        if (c < 0) out += "\xEF\xBF\xBD";
        else out.append(text.data() + start, size_t(i - start));
    }
    return out;
}

std::string nfc(std::string_view text) {
    if (isAscii(text) || !isValidUtf8(text)) return std::string(text);
    UErrorCode status = U_ZERO_ERROR;
    const icu::Normalizer2* norm = icu::Normalizer2::getNFCInstance(status);
    if (U_FAILURE(status)) return std::string(text);
    icu::UnicodeString u = icu::UnicodeString::fromUTF8(icu::StringPiece(text.data(), int32_t(text.size())));
    if (norm->isNormalized(u, status) && U_SUCCESS(status)) return std::string(text);
    status = U_ZERO_ERROR;
    icu::UnicodeString out = norm->normalize(u, status);
    if (U_FAILURE(status)) return std::string(text);
    std::string result;
    out.toUTF8String(result);
    return result;
}

std::string lower(std::string_view text) {
    if (isAscii(text)) {
        std::string out(text);
        for (auto& c : out)
            if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
        return out;
    }
    if (!isValidUtf8(text)) {
        std::string out(text);
        for (auto& c : out)
            if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
        return out;
    }
    std::string composed = nfc(text);
    icu::UnicodeString u = icu::UnicodeString::fromUTF8(icu::StringPiece(composed.data(), int32_t(composed.size())));
    u.toLower(icu::Locale::getRoot());
    std::string result;
    u.toUTF8String(result);
    return nfc(result);
}

bool equal(std::string_view a, std::string_view b) {
    if (a == b) return true;
    if (isAscii(a) && isAscii(b)) return false;
    return nfc(a) == nfc(b);
}

bool hasPrefix(std::string_view text, std::string_view prefix) {
    if (isAscii(text) && isAscii(prefix)) return text.substr(0, prefix.size()) == prefix;
    std::string t = nfc(text), p = nfc(prefix);
    if (t.compare(0, p.size(), p) != 0) return false;
    return isBoundary(t, p.size());
}

bool hasSuffix(std::string_view text, std::string_view suffix) {
    if (isAscii(text) && isAscii(suffix))
        return text.size() >= suffix.size() && text.substr(text.size() - suffix.size()) == suffix;
    std::string t = nfc(text), s = nfc(suffix);
    if (t.size() < s.size() || t.compare(t.size() - s.size(), s.size(), s) != 0) return false;
    return isBoundary(t, t.size() - s.size());
}

bool contains(std::string_view text, std::string_view needle) {
    if (needle.empty()) return true;
    if (isAscii(text) && isAscii(needle)) return text.find(needle) != std::string_view::npos;
    std::string t = nfc(text), n = nfc(needle);
    for (size_t at = t.find(n); at != std::string::npos; at = t.find(n, at + 1))
        if (isBoundary(t, at) && isBoundary(t, at + n.size())) return true;
    return false;
}

namespace {

// The byte length of the first count characters of composed text, and how many
// characters there were when the text is shorter.
size_t prefixLength(const std::string& text, size_t count, size_t* counted) {
    if (isAscii(text) || !isValidUtf8(text)) {
        // Invalid UTF-8 is cut on bytes rather than guessed at.
        size_t n = std::min(count, text.size());
        if (counted) *counted = n;
        return n;
    }
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::BreakIterator> it(icu::BreakIterator::createCharacterInstance(icu::Locale::getRoot(), status));
    icu::UnicodeString u = icu::UnicodeString::fromUTF8(icu::StringPiece(text.data(), int32_t(text.size())));
    if (U_FAILURE(status)) {
        if (counted) *counted = size_t(u.countChar32());
        return text.size();
    }
    it->setText(u);
    size_t seen = 0;
    int32_t end = 0;
    for (int32_t next = it->next(); next != icu::BreakIterator::DONE && seen < count; next = it->next()) {
        end = next;
        ++seen;
    }
    if (counted) *counted = seen;
    std::string out;
    u.tempSubString(0, end).toUTF8String(out);
    return out.size();
}

}  // namespace

size_t characterCount(std::string_view text) {
    std::string t = nfc(text);
    size_t counted = 0;
    prefixLength(t, t.size(), &counted);
    return counted;
}

std::string prefixCharacters(std::string_view text, size_t count) {
    std::string t = nfc(text);
    return t.substr(0, prefixLength(t, count, nullptr));
}

std::string escapedControls(std::string_view text) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F) {
            out += '%';
            out += kHex[byte >> 4];
            out += kHex[byte & 0xF];
        } else {
            out += c;
        }
    }
    return out;
}

namespace {

template <typename Drop>
std::string trimWhere(std::string_view text, Drop drop) {
    const auto* s = reinterpret_cast<const uint8_t*>(text.data());
    const int32_t n = int32_t(text.size());
    int32_t begin = 0;
    while (begin < n) {
        int32_t next = begin;
        UChar32 c;
        U8_NEXT(s, next, n, c);
        if (c < 0 || !drop(c)) break;
        begin = next;
    }
    int32_t end = n;
    while (end > begin) {
        int32_t previous = end;
        UChar32 c;
        U8_PREV(s, begin, previous, c);
        if (c < 0 || !drop(c)) break;
        end = previous;
    }
    return std::string(text.substr(size_t(begin), size_t(end - begin)));
}

}  // namespace

std::string trimmed(std::string_view text) {
    return trimWhere(text, [](UChar32 c) { return u_isUWhiteSpace(c) != 0; });
}

std::string trimmedSpaces(std::string_view text) {
    return trimWhere(text, [](UChar32 c) { return c == '\t' || u_charType(c) == U_SPACE_SEPARATOR; });
}

std::vector<std::string> characters(std::string_view text) {
    std::vector<std::string> out;
    if (!isValidUtf8(text) || (isAscii(text) && text.find("\r\n") == std::string_view::npos)) {
        out.reserve(text.size());
        for (char c : text) out.emplace_back(1, c);
        return out;
    }
    std::string composed = nfc(text);
    icu::UnicodeString whole = icu::UnicodeString::fromUTF8(icu::StringPiece(composed.data(), int32_t(composed.size())));
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::BreakIterator> it(icu::BreakIterator::createCharacterInstance(icu::Locale::getRoot(), status));
    if (U_FAILURE(status)) {
        // Without break rules, fall back to code points.
        for (int32_t i = 0; i < whole.length();) {
            int32_t next = whole.moveIndex32(i, 1);
            std::string piece;
            whole.tempSubStringBetween(i, next).toUTF8String(piece);
            out.push_back(std::move(piece));
            i = next;
        }
        return out;
    }
    it->setText(whole);
    int32_t start = it->first();
    for (int32_t end = it->next(); end != icu::BreakIterator::DONE; start = end, end = it->next()) {
        std::string piece;
        whole.tempSubStringBetween(start, end).toUTF8String(piece);
        out.push_back(std::move(piece));
    }
    return out;
}

bool lessIgnoringCase(std::string_view a, std::string_view b) {
    // One collator per thread: creating one is costly and a collator is not
    // safe to share between threads.
    thread_local std::unique_ptr<icu::Collator> collator = [] {
        UErrorCode status = U_ZERO_ERROR;
        std::unique_ptr<icu::Collator> c(icu::Collator::createInstance(icu::Locale::getRoot(), status));
        if (U_FAILURE(status)) return std::unique_ptr<icu::Collator>();
        c->setStrength(icu::Collator::SECONDARY);
        return c;
    }();
    if (!collator) return lower(a) < lower(b);
    UErrorCode status = U_ZERO_ERROR;
    auto order = collator->compareUTF8(icu::StringPiece(a.data(), int32_t(a.size())),
                                       icu::StringPiece(b.data(), int32_t(b.size())), status);
    if (U_FAILURE(status)) return lower(a) < lower(b);
    return order == UCOL_LESS;
}

}  // namespace Unicode
