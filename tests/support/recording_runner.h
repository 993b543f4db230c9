#pragma once
// Replaces the shell for Admin::run: records every command line and answers
// with canned results, so tests check the exact quoting and never run a tool.
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "engine/admin.h"

namespace testing_support {

class RecordingRunner {
public:
    // Installed on construction, removed on destruction. A command line no
    // answer matches gets what the shell gives for a missing program.
    RecordingRunner();
    ~RecordingRunner();
    RecordingRunner(const RecordingRunner&) = delete;
    RecordingRunner& operator=(const RecordingRunner&) = delete;

    // Answers command lines beginning with prefix (the last matching answer wins).
    void answer(std::string prefix, bool ok, std::string output = {});

    const std::vector<std::string>& commands() const { return state_->commands; }

private:
    struct State {
        std::vector<std::string> commands;
        std::vector<std::pair<std::string, Admin::Result>> answers;
    };
    std::shared_ptr<State> state_;
};

}  // namespace testing_support
