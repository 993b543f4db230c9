#include "support/app_bundle.h"

#include "support/test_env.h"

namespace testing_support {

void writeAppBundle(const std::filesystem::path& app, const std::string& bundleID, const std::string& version,
                    const std::string& feed) {
    std::string plist =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict>"
        "<key>CFBundleIdentifier</key><string>" + bundleID + "</string>"
        "<key>CFBundleShortVersionString</key><string>" + version + "</string>" +
        (feed.empty() ? "" : "<key>SUFeedURL</key><string>" + feed + "</string>") + "</dict></plist>\n";
    writeFile(app / "Contents/Info.plist", plist);
    writeFile(app / "Contents/MacOS" / app.stem(), "binary");
}

}  // namespace testing_support
