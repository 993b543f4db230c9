#pragma once
// Starting the executable where its start-up chain ends at the window: the
// window opens (offscreen, as every test draws) and stays until it is closed,
// so the test ends it once the window says it is up.
#include <filesystem>
#include <string>

namespace testing_support {

struct WindowLaunch {
    bool opened = false;  // the window wrote its "[window] activate " line
    int status = -1;      // how the program ended (killed once it opened)
    std::string out;
    std::string err;
};

// Runs the shell command line (a program and its arguments, with whatever
// environment it sets) in the scratch folder, drawing offscreen with the
// window's debug lines on, and ends the program once the window is up, or
// after 30 seconds, or when it ends by itself.
WindowLaunch launchUntilWindowOpens(const std::string& commandLine, const std::filesystem::path& scratch);

}  // namespace testing_support
