// Version comparison, with two versions cut from the input at the first NUL:
// a version equals itself and itself padded with ".0", and swapping the two
// sides reverses the answer.
#include "fuzz_support.h"
#include "modules/system/updater.h"

namespace {

using Order = Updater::Order;

Order reversed(Order o) {
    return o == Order::ascending ? Order::descending : o == Order::descending ? Order::ascending : Order::same;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text = FuzzSupport::text(data, size);
    const size_t cut = text.find('\0');
    const std::string_view a = text.substr(0, cut);
    const std::string_view b = cut == std::string_view::npos ? std::string_view() : text.substr(cut + 1);

    FUZZ_CHECK(Updater::compareVersions(a, a) == Order::same);
    FUZZ_CHECK(Updater::compareVersions(a, std::string(a) + ".0") == Order::same);
    const Order ab = Updater::compareVersions(a, b);
    FUZZ_CHECK(Updater::compareVersions(b, a) == reversed(ab));
    return 0;
}
