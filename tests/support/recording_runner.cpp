#include "support/recording_runner.h"

namespace testing_support {

RecordingRunner::RecordingRunner() : state_(std::make_shared<State>()) {
    auto state = state_;
    Admin::setRunnerForTesting([state](const std::string& line, bool) {
        state->commands.push_back(line);
        for (auto it = state->answers.rbegin(); it != state->answers.rend(); ++it)
            if (line.compare(0, it->first.size(), it->first) == 0) return it->second;
        Admin::Result missing;
        missing.ok = false;
        missing.exitStatus = 127;
        missing.output = "sh: 1: not found\n";
        return missing;
    });
}

RecordingRunner::~RecordingRunner() { Admin::setRunnerForTesting(nullptr); }

void RecordingRunner::answer(std::string prefix, bool ok, std::string output) {
    Admin::Result r;
    r.ok = ok;
    r.exitStatus = ok ? 0 : 1;
    r.output = std::move(output);
    state_->answers.emplace_back(std::move(prefix), std::move(r));
}

}  // namespace testing_support
