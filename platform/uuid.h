#pragma once
// Random (version 4) UUIDs, the identity of scan items and installed applications.
#include <array>
#include <cstdint>
#include <functional>
#include <string>

struct Uuid {
    std::array<uint8_t, 16> bytes{};

    static Uuid random();
    // Upper-case canonical text, 8-4-4-4-12.
    std::string string() const;

    bool operator==(const Uuid&) const = default;
    auto operator<=>(const Uuid&) const = default;
};

template <>
struct std::hash<Uuid> {
    size_t operator()(const Uuid& u) const noexcept {
        uint64_t a = 0, b = 0;
        for (int i = 0; i < 8; ++i) a = (a << 8) | u.bytes[size_t(i)];
        for (int i = 8; i < 16; ++i) b = (b << 8) | u.bytes[size_t(i)];
        return size_t(a ^ (b * 0x9E3779B97F4A7C15ull));
    }
};
