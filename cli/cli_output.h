#pragma once
// What a verb hands back, and how it is printed: human text, or one JSON
// document inside the envelope {"schema_version": 1, "ok": ...}.
#include <nlohmann/json.hpp>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/scan_model.h"

struct CLIOptions;

struct CLIResult {
    int exitCode = 0;
    std::string human;
    std::optional<nlohmann::json> json;
};

namespace ExitCode {
inline constexpr int success = 0;
inline constexpr int error = 1;
inline constexpr int usage = 2;
inline constexpr int partial = 3;
}  // namespace ExitCode

namespace CLIOutput {

// The text emit() writes to standard output (with its final line break), or
// nothing at all.
std::string render(const CLIResult& result, bool json, bool quiet);

// Prints the result and ends the process with its exit code.
[[noreturn]] void emit(const CLIResult& result, bool json, bool quiet);

// Writes a whole line to standard error in one write.
void writeError(const std::string& line);

// The one line that refuses words a verb does not take, each word quoted:
// `clean takes no further words, not: "~/Library/Caches/x"`.
std::string unexpectedWordsLine(std::string_view verb, const std::vector<std::string>& words);

// The progress callback of the verbs: each message on standard error, unless
// the options ask for quiet or JSON output.
ProgressCallback progressHandler(const CLIOptions& options);

}  // namespace CLIOutput
