#pragma once
// Running one link of the start-up chain in the test process, with its
// output caught.
#include <ostream>
#include <sstream>
#include <string>
#include <vector>

struct SwitchRun {
    bool taken;  // the link took the invocation
    std::string out, err;
};

using SwitchHandler = bool (*)(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err);

// The arguments follow the executable's path, as the process gets them.
inline SwitchRun runSwitch(SwitchHandler handler, std::vector<std::string> arguments) {
    arguments.insert(arguments.begin(), "/usr/bin/vessiltane");
    std::ostringstream out, err;
    bool taken = handler(arguments, out, err);
    return {taken, out.str(), err.str()};
}
