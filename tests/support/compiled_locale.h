#pragma once
// Runs a stretch of a test with the process (and its children) in another
// locale, such as "de_DE", whose decimal separator is a comma. The locale is
// compiled into a folder of the test's, so the machine needs none installed.
#include <filesystem>
#include <string>

namespace testing_support {

class CompiledLocale {
public:
    // language: a locale source name such as "de_DE" or "ja_JP" (UTF-8 is added).
    CompiledLocale(const std::filesystem::path& folder, const std::string& language);
    ~CompiledLocale();
    CompiledLocale(const CompiledLocale&) = delete;
    CompiledLocale& operator=(const CompiledLocale&) = delete;

    // Whether the C library took the locale; failure() says why it did not.
    bool active() const { return active_; }
    const std::string& failure() const { return failure_; }

private:
    bool active_ = false;
    std::string failure_;
};

}  // namespace testing_support
