#pragma once
// The desktop as the window's tests see it: every link the window asks to
// open, every file it asks to reveal and every confirmation it asks for is
// recorded; confirmations and the file chooser give the test's answers.
#include <deque>
#include <string>
#include <vector>

#include "app/controls/system_services.h"

namespace testing_support {

class FakeSystemServices final : public SystemServices {
public:
    void openURL(const std::string& address) override { opened.push_back(address); }
    void reveal(const std::filesystem::path& path) override { revealed.push_back(path); }
    // The answers come at once, as a user quick to answer would give them.
    void confirm(const Confirmation& confirmation, QWidget*, Answered answered) override {
        confirmations.push_back(confirmation);
        bool answer = false;
        if (!answers.empty()) {
            answer = answers.front();
            answers.pop_front();
        }
        answered(answer);
    }
    void chooseFilesAndFolders(const std::string& prompt, QWidget*, Chosen given) override {
        choosePrompts.push_back(prompt);
        given(chosen);
    }

    std::vector<std::string> opened;
    std::vector<std::filesystem::path> revealed;
    std::vector<Confirmation> confirmations;
    std::deque<bool> answers;  // for the next confirmations; none left: cancelled
    std::vector<std::string> choosePrompts;
    std::vector<std::filesystem::path> chosen;  // what the chooser gives
};

}  // namespace testing_support
