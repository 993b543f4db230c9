#include "platform/text_lines.h"

namespace TextLines {

std::vector<std::string_view> nonEmpty(std::string_view text) {
    std::vector<std::string_view> lines;
    size_t i = 0;
    while (i < text.size()) {
        size_t j = text.find('\n', i);
        if (j == std::string_view::npos) j = text.size();
        if (j > i) lines.push_back(text.substr(i, j - i));
        i = j + 1;
    }
    return lines;
}

}  // namespace TextLines
