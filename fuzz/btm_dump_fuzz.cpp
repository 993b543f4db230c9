// The background-task database dump: only login items of the asked user's
// section come out, named, sorted, and never with a property list to remove.
#include "fuzz_support.h"
#include "modules/protection/login_items.h"
#include "platform/unicode.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text = FuzzSupport::text(data, size);
    const auto entries = LoginItems::parseBTM(text, 501);

    size_t recordHeads = 0;
    for (const auto& line : FuzzSupport::pieces(text, '\n'))
        if (line.find('#') != std::string::npos) ++recordHeads;
    FUZZ_CHECK(entries.size() <= recordHeads);
    if (!entries.empty()) FUZZ_CHECK(text.find("Records for UID 501 :") != std::string_view::npos);

    for (size_t i = 0; i < entries.size(); ++i) {
        const LoginEntry& e = entries[i];
        FUZZ_CHECK(e.scope == LoginEntry::Scope::loginItem);
        FUZZ_CHECK(e.id.rfind("loginItem:", 0) == 0);
        FUZZ_CHECK(!e.plistURL);
        FUZZ_CHECK(e.name.find('\n') == std::string::npos);
        if (e.program) {
            // A program path is kept exactly. A line feed in it can only come
            // from a percent escape in a URL (a field's value ends at its
            // line), and shown escaped it is one line.
            if (e.program->find('\n') != std::string::npos)
                FUZZ_CHECK(text.find("%0a") != std::string_view::npos || text.find("%0A") != std::string_view::npos);
            FUZZ_CHECK(Unicode::escapedControls(*e.program).find('\n') == std::string::npos);
        }
        if (i > 0) FUZZ_CHECK(!Unicode::lessIgnoringCase(e.name, entries[i - 1].name));
    }
    // Another user's dump says nothing about this one.
    for (const auto& e : LoginItems::parseBTM(text, 502)) FUZZ_CHECK(e.scope == LoginEntry::Scope::loginItem);
    return 0;
}
