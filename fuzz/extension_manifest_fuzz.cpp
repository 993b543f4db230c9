// Browser extension manifests and the message files their names point into.
// The input up to the first NUL is manifest.json, the rest the messages.json
// of the locale "en". A name that is no message key stays as written, a
// changed name came from a key, and what is shown is always UTF-8.
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "fuzz_support.h"
#include "modules/protection/chromium_manifest.h"
#include "platform/unicode.h"

namespace {

// A new file each time: truncating one in place makes ext4 write it through
// on close, which would slow every run down to the disk's pace.
void write(const std::filesystem::path& file, std::string_view bytes) {
    std::error_code ec;
    std::filesystem::remove(file, ec);
    std::ofstream out(file, std::ios::binary);
    out.write(bytes.data(), std::streamsize(bytes.size()));
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    std::filesystem::create_directories(FuzzSupport::scratchFolder("manifest") / "1.0_0" / "_locales" / "en");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view bytes = FuzzSupport::text(data, size);
    const size_t cut = bytes.find('\0');
    const std::string_view manifestText = bytes.substr(0, cut);
    const std::string_view messagesText = cut == std::string_view::npos ? std::string_view() : bytes.substr(cut + 1);

    const std::filesystem::path version = FuzzSupport::scratchFolder("manifest") / "1.0_0";
    write(version / "manifest.json", manifestText);
    write(version / "_locales" / "en" / "messages.json", messagesText);

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
