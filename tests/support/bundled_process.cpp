#include "support/bundled_process.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "platform/plist.h"
#include "support/test_env.h"

namespace testing_support {

BundledProcess::BundledProcess(const std::filesystem::path& folder, const std::string& name,
                               const std::string& bundleID, bool ignoreQuit) {
    bundle_ = folder / (name + ".app");
    executable_ = bundle_ / "Contents" / "MacOS" / name;
    auto info = Plist::Value::makeDict({{"CFBundleIdentifier", Plist::Value::makeString(bundleID)},
                                        {"CFBundleName", Plist::Value::makeString(name)}});
    writeFile(bundle_ / "Contents" / "Info.plist", Plist::toXml(info));
    makeFolders(executable_.parent_path());
    std::error_code ec;
    const char* sleepProgram = std::filesystem::exists("/bin/sleep") ? "/bin/sleep" : "/usr/bin/sleep";
    std::filesystem::copy_file(sleepProgram, executable_, ec);
    if (ec) return;

    pid_ = ::fork();
    if (pid_ == 0) {
        if (ignoreQuit) ::signal(SIGTERM, SIG_IGN);
        const std::string program = executable_.string();
        ::execl(program.c_str(), name.c_str(), "60", static_cast<char*>(nullptr));
        ::_exit(127);
    }
    if (pid_ < 0) return;

    // Until exec has happened, the child still runs this test program.
    const std::string exeLink = "/proc/" + std::to_string(pid_) + "/exe";
    for (int i = 0; i < 500; ++i) {
        std::error_code e;
        if (std::filesystem::read_symlink(exeLink, e) == executable_) {
            started_ = true;
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

int BundledProcess::endingSignal() {
    if (pid_ <= 0) return -1;
    if (!reaped_) {
        pid_t r = ::waitpid(pid_, &status_, WNOHANG);
        if (r != pid_) return -1;
        reaped_ = true;
    }
    return WIFSIGNALED(status_) ? WTERMSIG(status_) : 0;
}

BundledProcess::~BundledProcess() {
    if (pid_ <= 0 || reaped_) return;
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, &status_, 0);
}

}  // namespace testing_support
