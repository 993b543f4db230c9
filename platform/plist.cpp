#include "platform/plist.h"

#include <plist/plist.h>

#include "platform/file_text.h"
#include "platform/nesting.h"

#include <cstdlib>
#include <cstring>
#include <limits>

namespace Plist {
namespace {

Value convert(plist_t node, int depth) {
    Value v;
    if (!node || depth > 256) return v;
    switch (plist_get_node_type(node)) {
        case PLIST_BOOLEAN: {
            uint8_t b = 0;
            plist_get_bool_val(node, &b);
            v.type = Value::Type::boolean;
            v.boolean = b != 0;
            break;
        }
        case PLIST_UINT: {
            uint64_t u = 0;
            plist_get_uint_val(node, &u);
            v.type = Value::Type::integer;
            v.integer = static_cast<int64_t>(u);  // negative integers arrive in two's complement
            break;
        }
        case PLIST_REAL: {
            double d = 0;
            plist_get_real_val(node, &d);
            v.type = Value::Type::real;
            v.real = d;
            break;
        }
        case PLIST_STRING: {
            // Read in place: the copying getter aborts the process on a string
            // holding a NUL byte, which any file may contain. Such a string
            // reads up to the NUL, as every C caller of the library sees it.
            uint64_t length = 0;
            const char* s = plist_get_string_ptr(node, &length);
            v.type = Value::Type::string;
            if (s) v.text.assign(s, ::strnlen(s, size_t(length)));
            break;
        }
        case PLIST_KEY: {
            char* s = nullptr;
            plist_get_key_val(node, &s);
            v.type = Value::Type::string;
            if (s) {
                v.text = s;
                free(s);
            }
            break;
        }
        case PLIST_DATA: {
            char* d = nullptr;
            uint64_t len = 0;
            plist_get_data_val(node, &d, &len);
            v.type = Value::Type::data;
            if (d) {
                v.text.assign(d, size_t(len));
                free(d);
            }
            break;
        }
        case PLIST_DATE: {
            int32_t sec = 0, usec = 0;
            plist_get_date_val(node, &sec, &usec);
            v.type = Value::Type::date;
            v.real = double(sec) + double(usec) / 1e6;
            break;
        }
        case PLIST_UID: {
            // An archive's object reference: written in XML as a dictionary of
            // the one key "CF$UID", which is also how it reads back.
            uint64_t u = 0;
            plist_get_uid_val(node, &u);
            v = Value::makeDict({{"CF$UID", Value::makeInteger(static_cast<int64_t>(u))}});
            break;
        }
        case PLIST_ARRAY: {
            v.type = Value::Type::array;
            uint32_t n = plist_array_get_size(node);
            v.array.reserve(n);
            // An element of a kind the system does not read (a binary list's
            // null) is left out, so what is read is what is written back.
            for (uint32_t i = 0; i < n; ++i) {
                Value item = convert(plist_array_get_item(node, i), depth + 1);
                if (item.type != Value::Type::none) v.array.push_back(std::move(item));
            }
            break;
        }
        case PLIST_DICT: {
            v.type = Value::Type::dict;
            plist_dict_iter it = nullptr;
            plist_dict_new_iter(node, &it);
            if (!it) break;
            for (;;) {
                char* key = nullptr;
                plist_t item = nullptr;
                plist_dict_next_item(node, it, &key, &item);
                if (!item) {
                    if (key) free(key);
                    break;
                }
                if (key) {
                    Value entry = convert(item, depth + 1);
                    if (entry.type != Value::Type::none) v.dict.emplace(key, std::move(entry));
                    free(key);
                }
            }
            free(it);
            break;
        }
        default:
            break;
    }
    return v;
}

plist_t build(const Value& v) {
    switch (v.type) {
        case Value::Type::boolean: return plist_new_bool(v.boolean ? 1 : 0);
        case Value::Type::integer: return plist_new_uint(static_cast<uint64_t>(v.integer));
        case Value::Type::real: return plist_new_real(v.real);
        case Value::Type::string: return plist_new_string(v.text.c_str());
        case Value::Type::data: return plist_new_data(v.text.data(), v.text.size());
        case Value::Type::date: {
            int32_t sec = int32_t(v.real);
            return plist_new_date(sec, int32_t((v.real - sec) * 1e6));
        }
        case Value::Type::array: {
            plist_t a = plist_new_array();
            for (const auto& item : v.array) plist_array_append_item(a, build(item));
            return a;
        }
        case Value::Type::dict: {
            plist_t d = plist_new_dict();
            for (const auto& [key, item] : v.dict) plist_dict_set_item(d, key.c_str(), build(item));
            return d;
        }
        case Value::Type::none: break;
    }
    return plist_new_string("");
}

}  // namespace

Value Value::makeString(std::string s) {
    Value v;
    v.type = Type::string;
    v.text = std::move(s);
    return v;
}

Value Value::makeBool(bool b) {
    Value v;
    v.type = Type::boolean;
    v.boolean = b;
    return v;
}

Value Value::makeInteger(int64_t i) {
    Value v;
    v.type = Type::integer;
    v.integer = i;
    return v;
}

Value Value::makeArray(std::vector<Value> items) {
    Value v;
    v.type = Type::array;
    v.array = std::move(items);
    return v;
}

Value Value::makeDict(std::map<std::string, Value> entries) {
    Value v;
    v.type = Type::dict;
    v.dict = std::move(entries);
    return v;
}

const Value* Value::get(std::string_view key) const {
    if (type != Type::dict) return nullptr;
    auto it = dict.find(std::string(key));
    return it == dict.end() ? nullptr : &it->second;
}

std::optional<std::string> Value::string(std::string_view key) const {
    const Value* v = get(key);
    if (!v || v->type != Type::string) return std::nullopt;
    return v->text;
}

std::optional<bool> Value::boolean_(std::string_view key) const {
    const Value* v = get(key);
    if (!v || v->type != Type::boolean) return std::nullopt;
    return v->boolean;
}

std::optional<int64_t> Value::integer_(std::string_view key) const {
    const Value* v = get(key);
    if (!v || v->type != Type::integer) return std::nullopt;
    return v->integer;
}

std::vector<std::string> Value::strings(std::string_view key) const {
    std::vector<std::string> out;
    const Value* v = get(key);
    if (!v || v->type != Type::array) return out;
    for (const auto& item : v->array)
        if (item.type == Type::string) out.push_back(item.text);
    return out;
}

std::optional<Value> parse(std::string_view bytes) {
    if (bytes.empty() || bytes.size() > std::numeric_limits<uint32_t>::max()) return std::nullopt;
    // The library recurses per level, parsing and freeing: a list nested
    // deeper than any real one never reaches it.
    if (!Nesting::plistWithin(bytes)) return std::nullopt;
    plist_t root = nullptr;
    plist_from_memory(bytes.data(), uint32_t(bytes.size()), &root);
    if (!root) return std::nullopt;
    Value v = convert(root, 0);
    plist_free(root);
    if (v.type == Value::Type::none) return std::nullopt;
    return v;
}

std::optional<Value> readFile(const std::filesystem::path& path, size_t maxBytes, FileText::Owner owner) {
    auto bytes = owner == FileText::Owner::own ? FileText::readOwn(path, maxBytes) : FileText::read(path, maxBytes);
    if (!bytes) return std::nullopt;
    return parse(*bytes);
}

std::string toXml(const Value& value) {
    plist_t node = build(value);
    char* xml = nullptr;
    uint32_t len = 0;
    plist_to_xml(node, &xml, &len);
    std::string out = xml ? std::string(xml, len) : std::string();
    if (xml) plist_to_xml_free(xml);
    plist_free(node);
    return out;
}

}  // namespace Plist
