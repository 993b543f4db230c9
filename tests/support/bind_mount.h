#pragma once
// A bind mount for a test: the folder (or file) `source` shown again at
// `target`, with the same device number, taken down when the test ends. CI runs as root and
// may mount; where mounting is refused the test skips with a message.
#include <filesystem>
#include <string>

namespace testing_support {

class BindMount {
public:
    BindMount(const std::filesystem::path& source, const std::filesystem::path& target);
    ~BindMount();
    BindMount(const BindMount&) = delete;
    BindMount& operator=(const BindMount&) = delete;

    bool mounted() const { return mounted_; }
    // Why mounting failed, for the skip message.
    const std::string& error() const { return error_; }

private:
    std::filesystem::path source_;
    std::filesystem::path target_;
    bool mounted_ = false;
    std::string error_;
};

}  // namespace testing_support

// Skips the test unless the bind mount is in place.
#define REQUIRE_BIND_MOUNT(mount)                                                                     \
    do {                                                                                              \
        if (!(mount).mounted()) GTEST_SKIP() << "bind mounts are refused here: " << (mount).error();  \
    } while (0)
