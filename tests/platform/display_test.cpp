#include "platform/display.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>

#include <cstring>
#include <map>
#include <string>

#include "platform/file_handle.h"
#include "support/test_env.h"

namespace {

using Variables = std::map<std::string, std::string>;

bool availableUnder(const Variables& variables) {
    return Display::available([&](const char* name) -> const char* {
        auto at = variables.find(name);
        return at == variables.end() ? nullptr : at->second.c_str();
    });
}

// A socket something listens on, as a display server's.
FileHandle listenAt(const std::string& path) {
    FileHandle socket(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
    if (::bind(socket.get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(socket.get(), 1) != 0)
        ADD_FAILURE() << "cannot listen at " << path << ": " << std::strerror(errno);
    return socket;
}

class DisplayTest : public TestEnv {};

}  // namespace

#ifndef __APPLE__
TEST_F(DisplayTest, ADisplayCountsOnlyWhenItsServerCanBeReached) {
    const std::string runtime = tmp().native();
    ASSERT_LT(runtime.size() + 12, sizeof(sockaddr_un{}.sun_path));
    FileHandle server = listenAt(runtime + "/wl-test");
    struct Case {
        const char* what;
        Variables variables;
        bool available;
    } cases[] = {
        {"an empty environment", {}, false},
        {"an X display nobody serves", {{"DISPLAY", ":4093"}}, false},
        {"a DISPLAY that is no display", {{"DISPLAY", "nonsense"}}, false},
        {"Wayland outside a Wayland session", {{"WAYLAND_DISPLAY", "wl-test"}, {"XDG_RUNTIME_DIR", runtime}}, false},
        {"a Wayland session", {{"WAYLAND_DISPLAY", "wl-test"}, {"XDG_RUNTIME_DIR", runtime},
                               {"XDG_SESSION_TYPE", "wayland"}}, true},
        {"a Wayland socket given by its path", {{"WAYLAND_DISPLAY", runtime + "/wl-test"},
                                                {"QT_QPA_PLATFORM", "wayland"}}, true},
        {"a Wayland socket nobody serves", {{"WAYLAND_DISPLAY", "wl-gone"}, {"XDG_RUNTIME_DIR", runtime},
                                            {"QT_QPA_PLATFORM", "wayland"}}, false},
        {"the platform asked for is X alone", {{"WAYLAND_DISPLAY", "wl-test"}, {"XDG_RUNTIME_DIR", runtime},
                                               {"QT_QPA_PLATFORM", "xcb"}}, false},
        {"a list that falls back to Wayland", {{"WAYLAND_DISPLAY", "wl-test"}, {"XDG_RUNTIME_DIR", runtime},
                                               {"QT_QPA_PLATFORM", "xcb;wayland"}}, true},
        {"a platform that draws off screen", {{"QT_QPA_PLATFORM", "offscreen"}}, true},
        {"with its options", {{"QT_QPA_PLATFORM", "minimal:enable_fonts"}}, true},
        {"an X display on another host, trusted", {{"DISPLAY", "far.example:0"}}, true},
    };
    for (const Case& c : cases) EXPECT_EQ(availableUnder(c.variables), c.available) << c.what;
}
#endif
