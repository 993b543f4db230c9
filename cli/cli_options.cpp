#include "cli/cli_options.h"

#include <charconv>
#include <cstdint>

namespace {

// The strict decimal reading of --hour: optional sign, digits, nothing else.
std::optional<int64_t> readInteger(const std::string& text) {
    if (text.empty()) return std::nullopt;
    const char* begin = text.data();
    const char* end = begin + text.size();
    bool negative = false;
    if (*begin == '+' || *begin == '-') {
        negative = *begin == '-';
        ++begin;
    }
    if (begin == end) return std::nullopt;
    for (const char* p = begin; p != end; ++p)
        if (*p < '0' || *p > '9') return std::nullopt;
    // Read the digits as unsigned so that the most negative value still fits.
    uint64_t magnitude = 0;
    auto r = std::from_chars(begin, end, magnitude);
    if (r.ec != std::errc() || r.ptr != end) return std::nullopt;
    constexpr uint64_t limit = uint64_t(INT64_MAX);
    if (negative) {
        if (magnitude > limit + 1) return std::nullopt;
        return magnitude == limit + 1 ? INT64_MIN : -int64_t(magnitude);
    }
    if (magnitude > limit) return std::nullopt;
    return int64_t(magnitude);
}

bool isTrimmable(char c) { return c == ' ' || c == '\t'; }

}  // namespace

CLIOptions::ModuleList CLIOptions::parseModules(std::string_view list) {
    ModuleList out;
    size_t i = 0;
    while (i <= list.size()) {
        size_t j = list.find(',', i);
        if (j == std::string_view::npos) j = list.size();
        std::string_view piece = list.substr(i, j - i);
        i = j + 1;
        while (!piece.empty() && isTrimmable(piece.front())) piece.remove_prefix(1);
        while (!piece.empty() && isTrimmable(piece.back())) piece.remove_suffix(1);
        if (piece.empty()) continue;
        if (auto m = Modules::fromCliArgument(piece)) out.modules.push_back(*m);
        else out.invalid.emplace_back(piece);
    }
    return out;
}

CLIOptions CLIOptions::parse(const std::vector<std::string>& args) {
    CLIOptions o;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        const bool hasNext = i + 1 < args.size();
        if (a == "--json") o.json = true;
        else if (a == "--quiet" || a == "-q") o.quiet = true;
        else if (a == "--apply" || a == "--yes" || a == "-y") o.apply = true;
        else if (a == "--dry-run") o.apply = false;
        else if (a == "--include-review") o.includeReview = true;
        else if (a == "--allow-admin") o.allowAdmin = true;
        else if (a == "--deep") o.deep = true;
        else if (a == "--install") o.install = true;
        else if (a == "--module") {
            if (hasNext) o.guiModule = args[++i];
            else o.missingValues.push_back(a);
        } else if (a == "--help" || a == "-h") {
            o.helpRequested = true;
        } else if (a == "--modules") {
            if (hasNext) {
                auto parsed = parseModules(args[++i]);
                o.modules = std::move(parsed.modules);
                o.invalidModuleNames = std::move(parsed.invalid);
            } else {
                o.missingValues.push_back(a);
            }
        } else if (a == "--hour") {
            if (hasNext) {
                if (auto h = readInteger(args[i + 1])) {
                    o.hour = *h < 0 ? 0 : (*h > 23 ? 23 : *h);
                    ++i;
                }
            } else {
                o.missingValues.push_back(a);
            }
        } else if (a.rfind("-", 0) == 0) {
            // A flag that means nothing here, with one dash or two, is reported:
            // dropping it would run the command as though it had not been typed.
            o.unknownFlags.push_back(a);
        } else if (!o.command) {
            o.command = a;
        } else {
            o.positional.push_back(a);
        }
    }
    return o;
}
