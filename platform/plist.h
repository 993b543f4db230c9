#pragma once
// Property lists, XML or binary, read into a plain value tree and written back
// as XML. Backed by libplist.
#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/file_text.h"

namespace Plist {

struct Value {
    enum class Type { none, boolean, integer, real, string, data, date, array, dict };

    Type type = Type::none;
    bool boolean = false;
    int64_t integer = 0;
    double real = 0;        // also the date, as seconds since 2001-01-01 00:00 UTC
    std::string text;       // string contents, or the bytes of data
    std::vector<Value> array;
    std::map<std::string, Value> dict;

    static Value makeString(std::string s);
    static Value makeBool(bool b);
    static Value makeInteger(int64_t i);
    static Value makeArray(std::vector<Value> items);
    static Value makeDict(std::map<std::string, Value> entries = {});

    bool isDict() const { return type == Type::dict; }
    bool isArray() const { return type == Type::array; }
    bool isString() const { return type == Type::string; }

    // The value under a key of a dictionary; nothing for other types or a missing key.
    const Value* get(std::string_view key) const;
    // Typed lookups of a dictionary key; nothing when missing or of another type.
    std::optional<std::string> string(std::string_view key) const;
    std::optional<bool> boolean_(std::string_view key) const;
    std::optional<int64_t> integer_(std::string_view key) const;
    // An array of strings under a key (non-string elements skipped).
    std::vector<std::string> strings(std::string_view key) const;
};

// Parses XML or binary property-list bytes; nothing when they are not one.
std::optional<Value> parse(std::string_view bytes);

// Reads and parses a file (at most maxBytes) through the one file reader;
// nothing on any failure. The program's own files are never read through a link.
std::optional<Value> readFile(const std::filesystem::path& path, size_t maxBytes = FileText::kDefaultMaxBytes,
                              FileText::Owner owner = FileText::Owner::other);

// The XML form of a value.
std::string toXml(const Value& value);

}  // namespace Plist
