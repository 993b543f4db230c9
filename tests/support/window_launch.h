#pragma once
// Starting the executable where its start-up chain ends at the window: the
// window opens (offscreen, as every test draws) and stays until it is closed,
// so the test ends it once the window says it is up.
#include <filesystem>
#include <string>

namespace testing_support {

struct WindowLaunch {
    bool opened = false;  // the window wrote its "[window] activate " line
    // How the program ended: by itself before the window opened (a start that
    // died), or ended by the launcher (once the window was up, or when it
    // never came up in time).
    bool endedByItself = false;
    int exitStatus = -1;  // its exit status when it exited
    int signal = 0;       // the signal that ended it, 0 when it exited
    double seconds = 0;   // from the start until it ended or the window opened
    std::string out;
    std::string err;

    // One line for a failure message: how the start ended and what it said.
    std::string describe() const;
};

// Runs the shell command line (a program and its arguments, with whatever
// environment it sets) in the scratch folder, drawing offscreen with the
// window's debug lines on, and ends the program once the window is up, or
// after 60 seconds, or when it ends by itself.
WindowLaunch launchUntilWindowOpens(const std::string& commandLine, const std::filesystem::path& scratch);

}  // namespace testing_support
