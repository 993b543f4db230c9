#pragma once
// A real child process whose executable lies inside an application bundle in
// a temporary folder: a copy of the system's sleep program, started with
// "sleep 60". Used to check quitting against real processes; the child is
// killed and reaped when the object goes away.
#include <sys/types.h>

#include <filesystem>
#include <string>

namespace testing_support {

class BundledProcess {
public:
    // Makes <folder>/<name>.app with an Info.plist naming bundleID, starts the
    // program and waits until it runs from the bundle. ignoreQuit makes the
    // child ignore SIGTERM (set before exec, so it holds from the start).
    BundledProcess(const std::filesystem::path& folder, const std::string& name, const std::string& bundleID,
                   bool ignoreQuit);
    ~BundledProcess();
    BundledProcess(const BundledProcess&) = delete;
    BundledProcess& operator=(const BundledProcess&) = delete;

    pid_t pid() const { return pid_; }
    const std::filesystem::path& bundle() const { return bundle_; }
    const std::filesystem::path& executable() const { return executable_; }
    bool started() const { return started_; }
    // Reaps the child if it has ended; the signal that ended it, 0 if it exited, -1 if it still runs.
    int endingSignal();

private:
    std::filesystem::path bundle_;
    std::filesystem::path executable_;
    pid_t pid_ = -1;
    bool started_ = false;
    bool reaped_ = false;
    int status_ = 0;
};

}  // namespace testing_support
