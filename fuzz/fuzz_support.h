#pragma once
// What the fuzz targets share: a check that stops the run with the broken
// invariant's text (assert() vanishes from optimised builds), and the input
// seen as text or cut into pieces.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#define FUZZ_CHECK(condition)                                                                    \
    do {                                                                                         \
        if (!(condition)) {                                                                      \
            std::fprintf(stderr, "%s:%d: invariant broken: %s\n", __FILE__, __LINE__, #condition); \
            std::abort();                                                                        \
        }                                                                                        \
    } while (0)

namespace FuzzSupport {

inline std::string_view text(const uint8_t* data, size_t size) {
    return {reinterpret_cast<const char*>(data), size};
}

// The text cut at every separator; n separators give n + 1 pieces.
inline std::vector<std::string> pieces(std::string_view text, char separator) {
    std::vector<std::string> out;
    size_t start = 0;
    while (true) {
        size_t end = text.find(separator, start);
        if (end == std::string_view::npos) {
            out.emplace_back(text.substr(start));
            return out;
        }
        out.emplace_back(text.substr(start, end - start));
        start = end + 1;
    }
}

// A scratch folder of the target's own under /tmp, made on the first call
// and removed when the run ends.
inline const std::filesystem::path& scratchFolder(std::string_view name) {
    static std::filesystem::path folder;
    if (folder.empty()) {
        std::string templ = "/tmp/vessiltane-fuzz-" + std::string(name) + "-XXXXXX";
        FUZZ_CHECK(::mkdtemp(templ.data()) != nullptr);
        folder = templ;
        std::atexit([] {
            std::error_code ec;
            std::filesystem::remove_all(folder, ec);
        });
    }
    return folder;
}

}  // namespace FuzzSupport
