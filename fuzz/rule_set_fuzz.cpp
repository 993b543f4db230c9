// The adware rule file: decoded all or nothing, and what decodes writes back
// to a file that decodes to the same rules.
#include "fuzz_support.h"
#include "modules/protection/malware_rules.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text = FuzzSupport::text(data, size);
    const MalwareRules::Decoded decoded = MalwareRules::decode(text);
    FUZZ_CHECK(decoded.ruleSet.has_value() == decoded.error.empty());
    if (!decoded.ruleSet) return 0;
    const MalwareRuleSet& set = *decoded.ruleSet;

    for (const MalwareRule& rule : set.rules) {
        FUZZ_CHECK(MalwareRules::kindFromRawValue(MalwareRules::rawValue(rule.kind)) == rule.kind);
        FUZZ_CHECK(MalwareRules::severityFromRawValue(MalwareRules::rawValue(rule.severity)) == rule.severity);
        FUZZ_CHECK(!rule.explanation().empty());
        // A pattern matches its own text ("*" and "?" meet themselves as
        // ordinary characters), and a lone "*" matches any text without one.
        FUZZ_CHECK(MalwareRules::glob(rule.match, rule.match));
        if (rule.match.find('*') == std::string::npos) FUZZ_CHECK(MalwareRules::glob("*", rule.match));
        MalwareRules::glob(rule.match, rule.id);
    }

    const std::string encoded = MalwareRules::encode(set);
    const MalwareRules::Decoded again = MalwareRules::decode(encoded);
    FUZZ_CHECK(again.ruleSet.has_value());
    FUZZ_CHECK(*again.ruleSet == set);
    FUZZ_CHECK(MalwareRules::encode(*again.ruleSet) == encoded);
    return 0;
}
