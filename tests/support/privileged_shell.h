#pragma once
// A privileged backend for tests: the script runs with plain /bin/sh as the
// current user, in a folder of the test's choosing, and every call is recorded.
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace testing_support {

struct PrivilegedLog {
    std::vector<std::string> scripts;  // the text of each script file as written
    std::vector<std::optional<std::string>> prompts;
};

// Installs the backend until resetProcessOverrides(); the shell starts in
// workingFolder when one is given, else in the process's working folder.
std::shared_ptr<PrivilegedLog> installPlainShellBackend(const std::filesystem::path& workingFolder = {});

}  // namespace testing_support
