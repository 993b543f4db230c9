#include "modules/system/spotlight_search.h"

#include <charconv>

#include "engine/admin.h"
#include "engine/ignores.h"
#include "engine/protection.h"
#include "platform/locations.h"
#include "platform/text_lines.h"
#include "platform/unicode.h"

namespace SpotlightSearch {
namespace {

std::string clause(std::string_view attribute, std::string_view value, bool wildcard) {
    std::string text(attribute);
    text += wildcard ? " == \"*" : " == \"";
    text += value;
    text += wildcard ? "*\"cd" : "\"cd";
    return text;
}

std::string joined(const std::vector<std::string>& clauses) {
    if (clauses.size() == 1) return clauses.front();
    std::string text = "(";
    for (size_t i = 0; i < clauses.size(); ++i) {
        if (i) text += " || ";
        text += clauses[i];
    }
    return text + ")";
}

bool startsWith(std::string_view text, std::string_view prefix) { return text.substr(0, prefix.size()) == prefix; }

// Hits in the system's own folders, checked as the system sees the path and
// as written, so a test root cannot hide one.
bool inSystemFolder(const std::string& path) {
    for (const std::string& view : {path, Locations::systemView(path)})
        if (startsWith(view, "/System/") || startsWith(view, "/private/")) return true;
    return false;
}

bool isUsableHit(const std::string& path) {
    if (path.empty() || path.front() != '/') return false;
    if (std::filesystem::path(path).filename().empty()) return false;
    if (inSystemFolder(path)) return false;
    if (path.find(".app/") != std::string::npos) return false;  // anything inside an application bundle
    return !Protection::isPathProtected(path) && !Ignores::isIgnored(path);
}

}  // namespace

std::string_view rawValue(Sensitivity sensitivity) {
    switch (sensitivity) {
        case Sensitivity::strict: return "strict";
        case Sensitivity::enhanced: return "enhanced";
        case Sensitivity::deep: return "deep";
    }
    return "strict";
}

std::optional<Sensitivity> fromRawValue(std::string_view raw) {
    for (auto s : {Sensitivity::strict, Sensitivity::enhanced, Sensitivity::deep})
        if (rawValue(s) == raw) return s;
    return std::nullopt;
}

std::string cleaned(std::string_view text) {
    std::string out;
    for (char c : text)
        if (c != '"' && c != '\\' && c != '*' && c != '(' && c != ')') out += c;
    return Unicode::trimmed(out);
}

std::optional<std::string> predicate(std::string_view appName, std::string_view bundleID, Sensitivity sensitivity) {
    const std::string n = cleaned(appName), b = cleaned(bundleID);
    if (n.empty() && b.empty()) return std::nullopt;
    std::vector<std::string> values;
    for (const auto& v : {n, b})
        if (!v.empty()) values.push_back(v);

    std::vector<std::string> clauses;
    switch (sensitivity) {
        case Sensitivity::strict:
            for (const auto& v : values) clauses.push_back(clause("kMDItemDisplayName", v, false));
            break;
        case Sensitivity::enhanced:
            for (const auto& v : values) {
                clauses.push_back(clause("kMDItemDisplayName", v, true));
                clauses.push_back(clause("kMDItemPath", v, true));
            }
            break;
        case Sensitivity::deep:
            if (auto wide = predicate(n, b, Sensitivity::enhanced); wide && !wide->empty()) clauses.push_back(*wide);
            if (!n.empty()) {
                clauses.push_back(clause("kMDItemCreator", n, false));
                clauses.push_back(clause("kMDItemCopyright", n, true));
                clauses.push_back(clause("kMDItemComment", n, true));
            }
            if (!b.empty()) {
                clauses.push_back(clause("kMDItemCopyright", b, true));
                clauses.push_back(clause("kMDItemComment", b, true));
            }
            break;
    }
    return joined(clauses);
}

std::vector<std::filesystem::path> paths(std::string_view appName, std::string_view bundleID,
                                         Sensitivity sensitivity, int limit) {
    std::vector<std::filesystem::path> hits;
    if (appName.empty() && bundleID.empty()) return hits;
    auto query = predicate(appName, bundleID, sensitivity);
    if (!query) return hits;

    char digits[16];
    auto end = std::to_chars(digits, digits + sizeof digits, limit < 0 ? 0 : limit).ptr;
    const std::string command = Admin::tool("/usr/bin/mdfind") + " " + Admin::quote(*query) +
                                " 2>/dev/null | /usr/bin/head -n " + std::string(digits, end);
    const Admin::Result result = Admin::run(command, true);
    if (!result.ok) return hits;

    for (std::string_view line : TextLines::nonEmpty(result.output)) {
        // "." and ".." are resolved before any test, so a hit cannot climb
        // out of the place the tests look at.
        std::string path = Locations::standardize(line);
        if (isUsableHit(path)) hits.emplace_back(std::move(path));
    }
    return hits;
}

}  // namespace SpotlightSearch
