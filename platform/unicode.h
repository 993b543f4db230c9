#pragma once
// Text rules shared by the whole system: two strings are equal when they are
// the same text up to canonical equivalence, prefix and substring tests work on
// whole characters, and lower-casing is Unicode's.
#include <string>
#include <string_view>
#include <vector>

namespace Unicode {

// Canonically composed form (NFC). Invalid UTF-8 is returned unchanged.
std::string nfc(std::string_view text);
// Full Unicode lower-casing (root locale) of the composed form.
std::string lower(std::string_view text);
// Whether every byte is ASCII: such text has one form only and one byte per
// character, so the rules below come down to comparing bytes.
bool isAscii(std::string_view text);
// Whether the text is well-formed UTF-8.
bool isValidUtf8(std::string_view text);
// Invalid sequences replaced by U+FFFD.
std::string sanitizeUtf8(std::string_view text);

// Equality up to canonical equivalence.
bool equal(std::string_view a, std::string_view b);
// Whether text begins with prefix, on whole characters (grapheme clusters).
bool hasPrefix(std::string_view text, std::string_view prefix);
// Whether text ends with suffix, on whole characters.
bool hasSuffix(std::string_view text, std::string_view suffix);
// The text split into its characters (extended grapheme clusters), each in
// composed form. Invalid UTF-8 is split into single bytes.
std::vector<std::string> characters(std::string_view text);

// The text without white space and line breaks (Unicode White_Space) at
// either end.
std::string trimmed(std::string_view text);
// The text without tabs and space separators (Unicode Zs) at either end; line
// breaks stay.
std::string trimmedSpaces(std::string_view text);

// Whether needle occurs in text, starting and ending on character boundaries.
// Both are compared in composed form; an empty needle is found.
bool contains(std::string_view text, std::string_view needle);

// Whether a goes before b in the order a person expects for names: Unicode
// collation of the root locale, letter case ignored (accents are not).
bool lessIgnoringCase(std::string_view a, std::string_view b);

// The number of characters (grapheme clusters) of the composed text.
size_t characterCount(std::string_view text);
// The first count characters of the composed text (all of it when shorter).
std::string prefixCharacters(std::string_view text, size_t count);

// The text with every control character (bytes 0x00 to 0x1F and 0x7F) written
// as a percent escape ("%0A"), for showing on one line a name or path that
// holds one; everything else unchanged.
std::string escapedControls(std::string_view text);

}  // namespace Unicode
