// The ignore file, however it was edited: its entries are trimmed lines that
// are not comments (LF, CR LF and CR alone end a line), the file the system
// writes back reads as the same list, every absolute entry really is ignored
// once the file says so, and an entry that names no absolute path stops
// removal.
#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "engine/ignores.h"
#include "fuzz_support.h"
#include "platform/locations.h"

namespace {

std::filesystem::path scratchHome;

void writeIgnoreFile(std::string_view text) {
    std::filesystem::create_directories(Ignores::fileURL().parent_path());
    std::ofstream out(Ignores::fileURL(), std::ios::binary | std::ios::trunc);
    out.write(text.data(), std::streamsize(text.size()));
}

bool blank(char c) { return c == ' ' || c == '\t'; }

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // The list lives under HOME: a scratch one, never the user's.
    char templ[] = "/tmp/vessiltane-fuzz-ignores-XXXXXX";
    FUZZ_CHECK(::mkdtemp(templ) != nullptr);
    scratchHome = templ;
    ::setenv("HOME", templ, 1);
    std::atexit([] {
        std::error_code ec;
        std::filesystem::remove_all(scratchHome, ec);
    });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text = FuzzSupport::text(data, size);
    std::vector<std::string> entries = Ignores::parse(text);

    size_t lines = 1 + size_t(std::count(text.begin(), text.end(), '\n')) +
                   size_t(std::count(text.begin(), text.end(), '\r'));
    FUZZ_CHECK(entries.size() <= lines);
    for (const auto& e : entries) {
        FUZZ_CHECK(!e.empty() && e.front() != '#');
        FUZZ_CHECK(e.find('\n') == std::string::npos && e.find('\r') == std::string::npos);
        FUZZ_CHECK(!blank(e.front()) && !blank(e.back()));
    }

    // What the system writes reads back as the same entries (in its sorted order).
    const std::vector<std::string>& kept = entries;
    std::vector<std::string> reread = Ignores::parse(Ignores::render(kept));
    std::vector<std::string> sorted = kept;
    std::sort(sorted.begin(), sorted.end());
    std::sort(reread.begin(), reread.end());
    FUZZ_CHECK(reread == sorted);

    // The list as the file gives it, and the paths it names are ignored.
    writeIgnoreFile(text);
    Ignores::resetCache();
    const auto listed = Ignores::paths();
    // Every line counts, UTF-8 or not: one odd line never voids the others;
    // but one that names no absolute path stops removal.
    bool allAbsolute = true;
    for (const auto& e : entries) {
        const std::string expanded = e.front() == '/' ? e : Locations::expandTilde(e);
        if (expanded.empty() || expanded.front() != '/') allAbsolute = false;
    }
    FUZZ_CHECK(Ignores::unreadable().has_value() == !allAbsolute);
    FUZZ_CHECK(listed == entries);
    for (const auto& e : listed) {
        if (e.front() != '/' || e.find('\0') != std::string::npos) continue;
        FUZZ_CHECK(Ignores::isIgnored(e));
        FUZZ_CHECK(Ignores::isIgnored(e + "/inside"));
    }
    return 0;
}
