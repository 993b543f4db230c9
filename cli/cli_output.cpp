#include "cli/cli_output.h"

#include <unistd.h>

#include <cstdlib>

#include "cli/cli_options.h"

namespace CLIOutput {
namespace {

void writeAll(int fd, const std::string& text) {
    const char* p = text.data();
    size_t left = text.size();
    while (left > 0) {
        ssize_t n = ::write(fd, p, left);
        if (n < 0) {
            if (errno == EINTR) continue;
            return;
        }
        p += n;
        left -= size_t(n);
    }
}

}  // namespace

std::string render(const CLIResult& result, bool json, bool quiet) {
    if (json) {
        nlohmann::json doc = nlohmann::json::object();
        doc["schema_version"] = 1;
        doc["ok"] = result.exitCode == 0;
        if (result.json) {
            if (result.json->is_object()) {
                for (auto it = result.json->begin(); it != result.json->end(); ++it) doc[it.key()] = it.value();
            } else {
                doc["data"] = *result.json;
            }
        }
        // Text that is not valid UTF-8 (a file name, say) is written with
        // U+FFFD in its place: the document stays valid JSON.
        return doc.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
    }
    if (quiet || result.human.empty()) return {};
    return result.human + "\n";
}

void emit(const CLIResult& result, bool json, bool quiet) {
    writeAll(STDOUT_FILENO, render(result, json, quiet));
    std::exit(result.exitCode);
}

void writeError(const std::string& line) { writeAll(STDERR_FILENO, line + "\n"); }

ProgressCallback progressHandler(const CLIOptions& options) {
    if (options.quiet || options.json) return [](double, const std::string&) {};
    return [](double, const std::string& message) { writeError(message); };
}

}  // namespace CLIOutput
