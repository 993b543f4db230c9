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

// Puts the calling process, still single-threaded, in its own mount namespace
// as above. Empty on success, else why not (the tests then run as they are).
std::string enterSandbox();

}  // namespace testing_support
