// Update feeds. The first byte chooses whether pre-releases count; the rest
// is the feed. The entry chosen carries a version and only web addresses,
// and left-out pre-releases stay out.
#include "fuzz_support.h"
#include "modules/system/appcast.h"
#include "modules/system/web_link.h"

namespace {

void checkAddress(const std::optional<std::string>& address) {
    if (!address) return;
    FUZZ_CHECK(WebLink::parse(*address) == address);
    FUZZ_CHECK(!WebLink::host(*address).empty());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const bool includePrereleases = data[0] & 1;
    const std::string_view body = FuzzSupport::text(data + 1, size - 1);

    const auto entry = Appcast::parse(body, includePrereleases);
    if (entry) {
        FUZZ_CHECK(!entry->version.empty());
        if (!includePrereleases) FUZZ_CHECK(!Appcast::looksLikePrerelease(entry->version));
        checkAddress(entry->downloadURL);
        checkAddress(entry->releaseNotesURL);
        // Reading the same feed twice picks the same entry.
        const auto again = Appcast::parse(body, includePrereleases);
        FUZZ_CHECK(again && again->version == entry->version && again->downloadURL == entry->downloadURL &&
                   again->published == entry->published);
        // A stable entry is still there when pre-releases are let in.
        if (!includePrereleases) FUZZ_CHECK(Appcast::parse(body, true).has_value());
    }
    // Dates are read from the same outside text.
    Appcast::parseDate(body);
    Appcast::looksLikePrerelease(body);
    return 0;
}
