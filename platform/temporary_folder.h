#pragma once
// A folder of the process's own in the system's temporary folder, with a fresh
// name only this user can enter, removed with everything in it when it goes.
// Scratch files live in one of these rather than at a fixed name any other
// user could have placed first.
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>

class TemporaryFolder {
public:
    // "<temporary folder>/<prefix>XXXXXX", mode 0700; nothing when it cannot
    // be made (error then says why).
    static std::unique_ptr<TemporaryFolder> make(std::string_view prefix, std::string* error = nullptr);

    ~TemporaryFolder();
    TemporaryFolder(const TemporaryFolder&) = delete;
    TemporaryFolder& operator=(const TemporaryFolder&) = delete;

    const std::filesystem::path& path() const { return path_; }

private:
    explicit TemporaryFolder(std::filesystem::path path) : path_(std::move(path)) {}
    std::filesystem::path path_;
};
