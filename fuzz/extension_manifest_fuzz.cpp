// Browser extension manifests and the message files their names point into.
// The input up to the first NUL is manifest.json, the rest the default
// locale's messages.json. A name that is no message key stays as written, a
// changed name came from a key, and what is shown is always UTF-8.
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "fuzz_support.h"
#include "modules/protection/chromium_manifest.h"
#include "platform/unicode.h"

namespace {

std::filesystem::path scratch;

void write(const std::filesystem::path& file, std::string_view bytes) {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), std::streamsize(bytes.size()));
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    char templ[] = "/tmp/vessiltane-fuzz-manifest-XXXXXX";
    FUZZ_CHECK(::mkdtemp(templ) != nullptr);
    scratch = templ;
    for (const char* locale : {"en", "en_US", "de"})
        std::filesystem::create_directories(scratch / "1.0_0" / "_locales" / locale);
    std::atexit([] {
        std::error_code ec;
        std::filesystem::remove_all(scratch, ec);
    });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view bytes = FuzzSupport::text(data, size);
    const size_t cut = bytes.find('\0');
    const std::string_view manifestText = bytes.substr(0, cut);
    const std::string_view messagesText = cut == std::string_view::npos ? std::string_view() : bytes.substr(cut + 1);

    const std::filesystem::path version = scratch / "1.0_0";
    write(version / "manifest.json", manifestText);
    for (const char* locale : {"en", "en_US", "de"}) write(version / "_locales" / locale / "messages.json", messagesText);

    const auto manifest = ChromiumManifest::read(version);
    if (!manifest) return 0;
    FUZZ_CHECK(manifest->is_object());
    const auto shown = ChromiumManifest::name(*manifest, version);
    const auto field = manifest->find("name");
    FUZZ_CHECK(shown.has_value() == (field != manifest->end() && field->is_string()));
    if (!shown) return 0;
    const std::string written = field->get<std::string>();
    FUZZ_CHECK(Unicode::isValidUtf8(*shown));
    if (*shown != written) FUZZ_CHECK(written.find("__MSG_") != std::string::npos);
    return 0;
}
