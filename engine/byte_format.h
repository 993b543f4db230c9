#pragma once
// The one way sizes are written for people.
#include <cstdint>
#include <string>

namespace ByteFormat {

// "0 KB" below one byte; otherwise a file-style decimal size: "532 bytes",
// "12 KB", "1.5 MB", "2.34 GB". Independent of the locale.
std::string string(int64_t bytes);

// Short text for tight places with 1024-based units: "1023B", "1.5K", "12G".
std::string compact(int64_t bytes);

}  // namespace ByteFormat
