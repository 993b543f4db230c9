#pragma once
// A virtual X display of a test program's own, for the tests that need a real
// window (its frame, its moves and resizes). The server picks a free display
// number itself, so test programs running side by side never meet; it is
// stopped when the object goes.
#include <sys/types.h>

#include <string>

namespace testing_support {

class Xvfb {
public:
    // Starts a server with one screen of that size; started() says whether it
    // came up within a few seconds.
    Xvfb(int width, int height);
    ~Xvfb();
    Xvfb(const Xvfb&) = delete;
    Xvfb& operator=(const Xvfb&) = delete;

    bool started() const { return !display_.empty(); }
    // ":<n>", for DISPLAY.
    const std::string& display() const { return display_; }

private:
    pid_t pid_ = -1;
    std::string display_;
};

}  // namespace testing_support
