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
            std::string cd = workingFolder.empty() ? "" : "cd " + Admin::quote(workingFolder.native()) + " && ";
            return Admin::run(cd + "/bin/sh " + Admin::quote(script.native()), true);
        });
    return log;
}

}  // namespace testing_support
