#pragma once
// Whole numbers as decimal text, the same under every locale.
#include <charconv>
#include <concepts>
#include <optional>
#include <string>
#include <string_view>

namespace Decimal {

template <std::integral T>
std::string text(T value) {
    char buf[24];
    auto r = std::to_chars(buf, buf + sizeof buf, value);
    return std::string(buf, r.ptr);
}

// The whole text read as a decimal number: nothing when it is empty, holds
// anything else, or does not fit in T. No sign is taken for unsigned T.
template <std::integral T>
std::optional<T> parse(std::string_view text) {
    T value{};
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return value;
}

}  // namespace Decimal
