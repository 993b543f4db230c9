#include "support/privileged_shell.h"

#include "engine/admin.h"
#include "support/test_env.h"

namespace testing_support {

std::shared_ptr<PrivilegedLog> installPlainShellBackend(const std::filesystem::path& workingFolder) {
    auto log = std::make_shared<PrivilegedLog>();
    Admin::setPrivilegedBackendForTesting(
        [log, workingFolder](const std::filesystem::path& script, const std::optional<std::string>& prompt) {
            log->scripts.push_back(readFile(script));
            log->prompts.push_back(prompt);
            return Admin::run("cd " + Admin::quote(workingFolder.native()) + " && /bin/sh " + Admin::quote(script.native()),
                              true);
        });
    return log;
}

}  // namespace testing_support
