#include "platform/text_lines.h"

namespace TextLines {

std::vector<std::string_view> nonEmpty(std::string_view text, char separator) {
    std::vector<std::string_view> pieces;
    size_t i = 0;
    while (i < text.size()) {
        size_t j = text.find(separator, i);
        if (j == std::string_view::npos) j = text.size();
        if (j > i) pieces.push_back(text.substr(i, j - i));
        i = j + 1;
    }
    return pieces;
}

std::vector<std::string_view> fields(std::string_view text, char separator) {
    std::vector<std::string_view> pieces;
    size_t start = 0;
    for (size_t at; (at = text.find(separator, start)) != std::string_view::npos; start = at + 1)
        pieces.push_back(text.substr(start, at - start));
    pieces.push_back(text.substr(start));
    return pieces;
}

}  // namespace TextLines
