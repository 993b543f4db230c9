// The command line's option parser, with arguments cut from the input at NUL
// bytes (an argument can never hold one). Whatever the words, the parse stays
// within what was given, and an invocation refused before any verb runs
// (unknown flags, a flag without its value, words the verb does not take)
// still tells the user why.
#include <set>

#include "cli/cli.h"
#include "cli/cli_options.h"
#include "fuzz_support.h"
#include "platform/unicode.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<std::string> arguments = FuzzSupport::pieces(FuzzSupport::text(data, size), '\0');
    const CLIOptions o = CLIOptions::parse(arguments);
    const std::multiset<std::string> given(arguments.begin(), arguments.end());

    FUZZ_CHECK(o.hour >= 0 && o.hour <= 23);
    if (o.command) {
        FUZZ_CHECK(given.count(*o.command) > 0);
        FUZZ_CHECK(o.command->empty() || o.command->front() != '-');
    }
    for (const auto& p : o.positional) {
        FUZZ_CHECK(given.count(p) > 0);
        FUZZ_CHECK(p.empty() || p.front() != '-');
    }
    FUZZ_CHECK(o.positional.size() + (o.command ? 1 : 0) <= arguments.size());
    for (const auto& flag : o.unknownFlags) {
        FUZZ_CHECK(!flag.empty() && flag.front() == '-');
        FUZZ_CHECK(given.count(flag) > 0);
    }
    for (const auto& name : o.invalidModuleNames) {
        FUZZ_CHECK(!name.empty());
        FUZZ_CHECK(name.front() != ' ' && name.front() != '\t' && name.back() != ' ' && name.back() != '\t');
        FUZZ_CHECK(name.find(',') == std::string::npos);
    }
    for (auto m : o.modules) FUZZ_CHECK(Modules::fromCliArgument(Modules::rawValue(m)) == m);

    // Help and usage errors are settled before any verb runs, so they are
    // safe to invoke here: a refused command always says something.
    std::vector<std::string> withProgram{"vessiltane"};
    withProgram.insert(withProgram.end(), arguments.begin(), arguments.end());
    // Words a verb does not take are refused too (only `ignore` takes any).
    const bool strayWords = o.command && Unicode::lower(*o.command) != "ignore" && !o.positional.empty();
    const bool refusedEarly = o.helpRequested || !o.unknownFlags.empty() || !o.missingValues.empty() ||
                              !o.invalidModuleNames.empty() || strayWords;
    if (!o.command || o.guiModule || !refusedEarly) return 0;
    auto invocation = CLI::invoke(withProgram);
    if (!invocation) return 0;  // not a command word: the window would open
    if (invocation->help) return 0;
    FUZZ_CHECK(invocation->result.exitCode == ExitCode::usage);
    FUZZ_CHECK(invocation->errorLine || !CLIOutput::render(invocation->result, false, false).empty());
    FUZZ_CHECK(CLIOutput::render(invocation->result, false, true).empty());
    // Names that are not UTF-8 still make a valid JSON document.
    auto document = nlohmann::json::parse(CLIOutput::render(invocation->result, true, false), nullptr, false);
    FUZZ_CHECK(!document.is_discarded() && document["ok"] == false);
    return 0;
}
