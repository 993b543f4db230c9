#include "engine/byte_format.h"
#include "platform/decimal.h"

#include <array>
#include <charconv>
#include <cmath>
#include <string_view>

namespace ByteFormat {
namespace {

std::string fixed(double value, int decimals) {
    char buf[64];
    auto r = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed, decimals);
    return std::string(buf, r.ptr);
}

// Drops zeros after the decimal point, and the point itself when nothing follows.
std::string trimZeros(std::string s) {
    if (s.find('.') == std::string::npos) return s;
    while (!s.empty() && s.back() == '0') s.pop_back();
    if (!s.empty() && s.back() == '.') s.pop_back();
    return s;
}

}  // namespace

std::string string(int64_t bytes) {
    if (bytes < 1) return "0 KB";
    if (bytes < 1000) return Decimal::text(bytes) + (bytes == 1 ? " byte" : " bytes");
    struct Unit {
        std::string_view name;
        int decimals;
    };
    static constexpr std::array<Unit, 5> units = {{{"KB", 0}, {"MB", 1}, {"GB", 2}, {"TB", 2}, {"PB", 2}}};
    double value = double(bytes) / 1000.0;
    size_t u = 0;
    while (u + 1 < units.size() && value >= 1000.0) {
        value /= 1000.0;
        ++u;
    }
    // Rounding may carry the figure to the next unit (999,999 bytes is 1 MB).
    double scale = std::pow(10.0, units[u].decimals);
    double rounded = std::round(value * scale) / scale;
    if (rounded >= 1000.0 && u + 1 < units.size()) {
        value /= 1000.0;
        ++u;
        scale = std::pow(10.0, units[u].decimals);
        rounded = std::round(value * scale) / scale;
    }
    return trimZeros(fixed(rounded, units[u].decimals)) + " " + std::string(units[u].name);
}

std::string compact(int64_t bytes) {
    double v = double(bytes);
    struct Unit {
        const char* letter;
        double factor;
    };
    static constexpr std::array<Unit, 4> units = {{{"T", 1099511627776.0},
                                                   {"G", 1073741824.0},
                                                   {"M", 1048576.0},
                                                   {"K", 1024.0}}};
    for (const auto& unit : units) {
        if (unit.factor <= v) {
            double q = v / unit.factor;
            return fixed(q, q >= 10.0 ? 0 : 1) + unit.letter;
        }
    }
    return Decimal::text(bytes) + "B";
}

}  // namespace ByteFormat
