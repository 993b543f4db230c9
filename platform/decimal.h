#pragma once
// Whole numbers as decimal text, the same under every locale.
#include <charconv>
#include <concepts>
#include <string>

namespace Decimal {

template <std::integral T>
std::string text(T value) {
    char buf[24];
    auto r = std::to_chars(buf, buf + sizeof buf, value);
    return std::string(buf, r.ptr);
}

}  // namespace Decimal
