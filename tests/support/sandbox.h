#pragma once
// Tests remove files for real, and some of them swap folders for links or move
// them away in the middle of a removal, on purpose. Should a guard of the code
// under test ever fail (a fault, or a guard taken out to see that a test
// notices), such a removal could climb out of its fixture. So each test
// process, when it runs as root on Linux, sees the machine's file systems
// read-only and has temporary folders of its own, empty at the start and gone
// with the process: nothing it removes can be anyone else's.
#include <string>

namespace testing_support {

struct SandboxOutcome {
    enum class State {
        notTried,     // not entered yet
        entered,      // in place, whole
        off,          // turned off, or not root, or no such mounts on this system
        unavailable,  // this system cannot have it (the root is no mount point, as in a
                      // chroot); the process stayed in the machine's own mount namespace
        failed,       // a step failed that should not have; also back in the machine's namespace
    };
    State state = State::notTried;
    std::string reason;     // why it is not entered
    std::string startedIn;  // the mount namespace the process started in, as /proc/self/ns/mnt names it
};

// Puts the calling process, still single-threaded, in its own mount namespace
// as above. Never half of it: when a step fails, the process goes back to the
// mount namespace it started in. Empty on success, else why not (the tests
// then run as they are).
std::string enterSandbox();

// What enterSandbox() came to.
const SandboxOutcome& sandboxOutcome();

// The environment variable that makes the step which makes the mounts private
// fail as it does where the root is no mount point, so the way back can be
// tried on any machine.
inline constexpr const char* kRefusePrivateMountsVariable = "VESSILTANE_TEST_SANDBOX_REFUSE_PRIVATE";

}  // namespace testing_support
