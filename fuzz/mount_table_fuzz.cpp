// The Linux mount table: one entry at most per line, every mount point an
// absolute path a system call can be given.
#include "fuzz_support.h"
#include "platform/volumes.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text = FuzzSupport::text(data, size);
    const auto entries = Volumes::parseMountInfo(text);
    FUZZ_CHECK(entries.size() <= FuzzSupport::pieces(text, '\n').size());
    for (const auto& e : entries) {
        FUZZ_CHECK(!e.mountPoint.empty() && e.mountPoint.front() == '/');
        // A path holding a NUL would reach the system cut short: another folder.
        FUZZ_CHECK(e.mountPoint.find('\0') == std::string::npos);
        FUZZ_CHECK(e.device.find_first_of(" \n") == std::string::npos);
        FUZZ_CHECK(e.type.find_first_of(" \n") == std::string::npos && !e.type.empty());
        if (Volumes::isVolume(e)) FUZZ_CHECK(!e.readOnly && e.root == "/");
    }
    FUZZ_CHECK(Volumes::parseMountInfo(text).size() == entries.size());
    return 0;
}
