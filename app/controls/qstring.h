#pragma once
// The engine's texts are UTF-8 in standard strings; the window's are QStrings.
#include <QString>
#include <string_view>

inline QString qs(std::string_view text) { return QString::fromUtf8(text.data(), qsizetype(text.size())); }
