// launchctl's two listings: the loaded labels and the disabled ones. A label
// is one trimmed line's worth of text, never the listing's heading.
#include "fuzz_support.h"
#include "modules/protection/login_items.h"

namespace {

bool isTrimmed(const std::string& label) {
    if (label.empty()) return true;
    auto blank = [](char c) { return c == ' ' || c == '\t'; };
    return !blank(label.front()) && !blank(label.back());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text = FuzzSupport::text(data, size);
    const auto lines = FuzzSupport::pieces(text, '\n');

    const auto loaded = LoginItems::parseLoadedLabels(text);
    FUZZ_CHECK(loaded.size() <= lines.size());
    for (const auto& label : loaded) {
        FUZZ_CHECK(!label.empty() && label != "Label");
        FUZZ_CHECK(label.find('\n') == std::string::npos && label.find('\t') == std::string::npos);
        FUZZ_CHECK(isTrimmed(label));
        FUZZ_CHECK(text.find(label) != std::string_view::npos);
    }

    const auto disabled = LoginItems::parseDisabledLabels(text);
    size_t disabledLines = 0;
    for (const auto& line : lines)
        if (line.find("=> disabled") != std::string::npos) ++disabledLines;
    FUZZ_CHECK(disabled.size() <= disabledLines);
    for (const auto& label : disabled) {
        FUZZ_CHECK(label.find('"') == std::string::npos && label.find('\n') == std::string::npos);
        FUZZ_CHECK(isTrimmed(label));
    }
    return 0;
}
