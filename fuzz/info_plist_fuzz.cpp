// Property lists from bundles and launchd jobs, XML or binary: the value tree
// survives being written back as XML, and the readers that pick fields out of
// Info.plist and job files take only what the fields hold.
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "engine/scan_support.h"
#include "fuzz_support.h"
#include "modules/system/schedule.h"
#include "modules/system/updater.h"
#include "modules/system/web_link.h"
#include "platform/plist.h"

namespace {

std::filesystem::path scratch;

bool sameReal(double a, double b) {
    if (std::isnan(a) || std::isnan(b)) return std::isnan(a) && std::isnan(b);
    if (a == b) return true;
    return std::fabs(a - b) <= 1e-9 * std::max(std::fabs(a), std::fabs(b));
}

bool same(const Plist::Value& a, const Plist::Value& b) {
    using T = Plist::Value::Type;
    if (a.type != b.type) return false;
    switch (a.type) {
        case T::none: return true;
        case T::boolean: return a.boolean == b.boolean;
        case T::integer: return a.integer == b.integer;
        case T::real: return sameReal(a.real, b.real);
        case T::date: return std::fabs(a.real - b.real) < 1.0;
        case T::string:
        case T::data: return a.text == b.text;
        case T::array:
            if (a.array.size() != b.array.size()) return false;
            for (size_t i = 0; i < a.array.size(); ++i)
                if (!same(a.array[i], b.array[i])) return false;
            return true;
        case T::dict:
            if (a.dict.size() != b.dict.size()) return false;
            for (auto ia = a.dict.begin(), ib = b.dict.begin(); ia != a.dict.end(); ++ia, ++ib)
                if (ia->first != ib->first || !same(ia->second, ib->second)) return false;
            return true;
    }
    return false;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    char templ[] = "/tmp/vessiltane-fuzz-plist-XXXXXX";
    FUZZ_CHECK(::mkdtemp(templ) != nullptr);
    scratch = templ;
    std::filesystem::create_directories(scratch / "Feed.app/Contents");
    std::atexit([] {
        std::error_code ec;
        std::filesystem::remove_all(scratch, ec);
    });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view bytes = FuzzSupport::text(data, size);
    const auto value = Plist::parse(bytes);

    if (value) {
        const std::string xml = Plist::toXml(*value);
        const auto again = Plist::parse(xml);
        FUZZ_CHECK(again.has_value());
        FUZZ_CHECK(same(*value, *again));

        if (auto program = ScanSupport::launchProgram(*value)) {
            const auto* arguments = value->get("ProgramArguments");
            FUZZ_CHECK(value->string("Program") == program ||
                       (arguments && arguments->isArray() && !arguments->array.empty() &&
                        arguments->array.front().text == *program));
        }
        for (const auto& name : Schedule::modules(*value)) FUZZ_CHECK(!name.empty() && name.find(',') == std::string::npos);
    }

    // The update feed an application names: only ever a well-formed https address.
    const std::filesystem::path bundle = scratch / "Feed.app";
    {
        std::ofstream out(bundle / "Contents/Info.plist", std::ios::binary | std::ios::trunc);
        out.write(bytes.data(), std::streamsize(bytes.size()));
    }
    if (auto feed = Updater::appcastURL(bundle)) {
        FUZZ_CHECK(value && value->isDict());
        FUZZ_CHECK(feed->rfind("https://", 0) == 0);
        FUZZ_CHECK(WebLink::parse(*feed) == feed);
        FUZZ_CHECK(!WebLink::host(*feed).empty());
    }
    return 0;
}
