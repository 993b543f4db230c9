// The desktop's services as the window uses them: links and reveals go to the
// platform's opener through the one shell helper, quoted, off the main thread;
// a System Settings link has no pane to open off macOS.
#include <gtest/gtest.h>

#include "app/controls/system_services.h"
#include "app/state/manual_executor.h"
#include "engine/admin.h"

TEST(DesktopServices, OpensLinksAndRevealsThroughTheOneShellHelper) {
    std::vector<std::string> lines;
    Admin::setRunnerForTesting([&](const std::string& line, bool) {
        lines.push_back(line);
        Admin::Result ok;
        ok.ok = true;
        return ok;
    });
    auto executor = std::make_shared<ManualExecutor>();
    auto services = SystemServices::desktop(executor);
    services->openURL("https://example.com/notes?it's=1");
    services->openURL("");
    services->openURL(SystemLinks::kFullDiskAccess);
    services->reveal("/tmp/some folder/file.txt");
    EXPECT_TRUE(lines.empty());  // nothing runs on the calling thread
    executor->settle();
    Admin::setRunnerForTesting(nullptr);
#ifdef __APPLE__
    EXPECT_EQ(lines, (std::vector<std::string>{"/usr/bin/open 'https://example.com/notes?it'\\''s=1'",
                                               std::string("/usr/bin/open '") + SystemLinks::kFullDiskAccess + "'",
                                               "/usr/bin/open -R '/tmp/some folder/file.txt'"}));
#else
    EXPECT_EQ(lines, (std::vector<std::string>{"xdg-open 'https://example.com/notes?it'\\''s=1'",
                                               "xdg-open '/tmp/some folder'"}));
#endif
    EXPECT_TRUE(SystemLinks::isSystemSettings(SystemLinks::kFullDiskAccess));
    EXPECT_FALSE(SystemLinks::isSystemSettings("https://x-apple.systempreferences:"));
}
