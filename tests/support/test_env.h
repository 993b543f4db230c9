#pragma once
// Every test runs against a temporary home and a temporary system root that it
// removes afterwards. Nothing here ever points at the real home or system folders.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <string_view>

namespace testing_support {

// Removes everything inside folder, never following a link, in one step per
// folder however deep the tree; a folder on another device is left alone.
void emptyFolder(const std::filesystem::path& folder);

class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
};

// Writes a file (creating its folders) with the given contents.
void writeFile(const std::filesystem::path& path, std::string_view contents);
// Reads a whole file; empty when it cannot be read.
std::string readFile(const std::filesystem::path& path);
// Creates a file of the given length with fallocate (allocated, not written).
void allocateFile(const std::filesystem::path& path, int64_t bytes);
// Sets the modification and access times of the item itself (links not followed).
void setTimes(const std::filesystem::path& path, std::chrono::system_clock::time_point when);
void makeFolders(const std::filesystem::path& path);
void makeSymlink(const std::filesystem::path& target, const std::filesystem::path& link);

}  // namespace testing_support

// A fixture giving each test its own HOME and system root under one temporary
// folder, with every process-wide override reset before and after.
class TestEnv : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    const std::filesystem::path& home() const { return home_; }
    const std::filesystem::path& root() const { return root_; }
    const std::filesystem::path& tmp() const { return dir_->path(); }
    // A system folder such as "/Library/Caches" under the test root.
    std::filesystem::path sys(std::string_view absolute) const;
    // A system tool such as "/bin/launchctl" as the first word of a command
    // line: its stand-in under the test root, in single quotes.
    std::string systemTool(std::string_view absolute) const;

private:
    std::unique_ptr<testing_support::TempDir> dir_;
    std::filesystem::path home_;
    std::filesystem::path root_;
};

// Resets every process-wide override (clock, uid, volumes, root, caches).
void resetProcessOverrides();
