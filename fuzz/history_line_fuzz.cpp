// One line of the cleanup history: a line that reads as a record writes back
// as one line that reads as the same record.
#include "engine/clean_history.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const auto record = CleanHistory::decode(FuzzSupport::text(data, size));
    if (!record) return 0;

    const auto line = CleanHistory::encode(*record);
    FUZZ_CHECK(line.has_value());
    FUZZ_CHECK(line->find('\n') == std::string::npos && line->find('\r') == std::string::npos);
    const auto again = CleanHistory::decode(*line);
    FUZZ_CHECK(again.has_value());
    FUZZ_CHECK(*again == *record);
    FUZZ_CHECK(CleanHistory::encode(*again) == line);

    const auto object = CleanHistory::toJson(*record);
    FUZZ_CHECK(object.has_value());
    FUZZ_CHECK(CleanHistory::fromJson(nlohmann::json::parse(object->dump())) == record);
    return 0;
}
