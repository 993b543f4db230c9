// Test entry point: refuses to run with the real home folder as HOME, so no test
// can ever read or write the user's own files.
#include <gtest/gtest.h>
#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <string>

#include "support/sandbox.h"

namespace {

bool isListingOnly(int argc, char** argv) {
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "--gtest_list_tests") == 0) return true;
    return false;
}

bool homeIsReal() {
    const char* home = std::getenv("HOME");
    if (!home || !*home) return false;
    passwd* pw = ::getpwuid(::getuid());
    if (!pw || !pw->pw_dir) return false;
    std::error_code ec;
    auto a = std::filesystem::weakly_canonical(home, ec);
    auto b = std::filesystem::weakly_canonical(pw->pw_dir, ec);
    return a == b;
}

}  // namespace

int main(int argc, char** argv) {
    // A test program is never the root side of a privileged batch: started as
    // one by mistake it would run every test again, and so on.
    if (argc >= 2 && std::strcmp(argv[1], "--privileged-removal") == 0) {
        std::cerr << "refusing to run: a test program is not the privileged removal\n";
        return 2;
    }
    const bool listing = isListingOnly(argc, argv);  // before gtest consumes its flags
    if (!listing) {
        // First of all, while this process has one thread.
        const std::string sandbox = testing_support::enterSandbox();
        if (!sandbox.empty()) std::cerr << "note: the tests run without a sandbox (" << sandbox << ")\n";
    }
    ::testing::InitGoogleTest(&argc, argv);
    if (!listing) {
        if (homeIsReal()) {
            std::cerr << "refusing to run: HOME is the real home folder; run the tests through ctest\n";
            return 2;
        }
        // Anything that escapes the fixtures finds nothing real.
        ::setenv("HOME", "/nonexistent/vessiltane-test-home", 1);
        if (!std::getenv("VESSILTANE_ROOT")) ::setenv("VESSILTANE_ROOT", "/nonexistent/vessiltane-test-root", 1);
    }
    return RUN_ALL_TESTS();
}
