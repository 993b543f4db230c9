#pragma once
// Application bundles for tests: an Info.plist with an identifier, a version
// and, when given, the address of an update feed, and an executable.
#include <filesystem>
#include <string>

namespace testing_support {

// Writes <app>/Contents/Info.plist and <app>/Contents/MacOS/<name>.
void writeAppBundle(const std::filesystem::path& app, const std::string& bundleID, const std::string& version,
                    const std::string& feed = "");

}  // namespace testing_support
