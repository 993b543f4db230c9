#pragma once
// The seven colours of the window theme. The engine names them (each module
// has a tint); the window turns them into its own colour type.
#include <string_view>

namespace Theme {

struct Colour {
    std::string_view name;
    double red;
    double green;
    double blue;
    double opacity = 1.0;
    bool operator==(const Colour&) const = default;
};

inline constexpr Colour accent{"accent", 0.20, 0.51, 0.98};
inline constexpr Colour accentSoft{"accentSoft", 0.36, 0.65, 1.00};
inline constexpr Colour violet{"violet", 0.49, 0.36, 0.96};
inline constexpr Colour teal{"teal", 0.11, 0.72, 0.68};
inline constexpr Colour amber{"amber", 0.98, 0.65, 0.20};
inline constexpr Colour rose{"rose", 0.94, 0.32, 0.44};
inline constexpr Colour green{"green", 0.22, 0.76, 0.42};

}  // namespace Theme
