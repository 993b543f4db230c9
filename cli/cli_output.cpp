#include "cli/cli_output.h"

#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "cli/cli_options.h"
#include "platform/plain_text.h"

namespace CLIOutput {
namespace {

// Writes the whole text; the errno value of the write that failed, or 0. A
// reader that has gone away would end the process with SIGPIPE, perhaps in the
// middle of a clean: the signal is held back on this thread while writing and
// dropped, so the failure comes back as EPIPE instead. The mask is the
// thread's own, so programs started meanwhile keep the usual behaviour.
int writeAll(int fd, const std::string& text) {
    sigset_t pipeOnly, previous;
    sigemptyset(&pipeOnly);
    sigaddset(&pipeOnly, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipeOnly, &previous);
    int failure = 0;
    const char* p = text.data();
    size_t left = text.size();
    while (left > 0) {
        ssize_t n = ::write(fd, p, left);
        if (n < 0) {
            if (errno == EINTR) continue;
            failure = errno;
            break;
        }
        p += n;
        left -= size_t(n);
    }
    if (failure == EPIPE) {
        sigset_t pending;
        sigpending(&pending);
        if (sigismember(&pending, SIGPIPE)) {
            const timespec now{0, 0};
            sigtimedwait(&pipeOnly, nullptr, &now);
        }
    }
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    return failure;
}

}  // namespace

std::string unexpectedWordsLine(std::string_view verb, const std::vector<std::string>& words) {
    std::string line = std::string(verb) + " takes no further words, not: ";
    for (size_t k = 0; k < words.size(); ++k) {
        if (k) line += ", ";
        line += '"';
        line += PlainText::shown(words[k]);
        line += '"';
    }
    return line;
}

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
    // The verb has done its work (and written its record) by now; output that
    // did not arrive is still a failure the caller must hear of.
    if (int failure = writeAll(STDOUT_FILENO, render(result, json, quiet))) {
        writeError(std::string("vessiltane: the output could not be written: ") + std::strerror(failure));
        std::exit(ExitCode::error);
    }
    std::exit(result.exitCode);
}

void writeError(const std::string& line) { writeAll(STDERR_FILENO, line + "\n"); }

ProgressCallback progressHandler(const CLIOptions& options) {
    if (options.quiet || options.json) return [](double, const std::string&) {};
    return [](double, const std::string& message) { writeError(PlainText::shown(message)); };
}

}  // namespace CLIOutput
