#include "platform/display.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "platform/file_handle.h"
#include "platform/text_lines.h"

namespace Display {
namespace {

// Whether something listens on the local socket at that path; a leading '\0'
// names one in the abstract namespace.
bool listening(const std::string& path) {
    sockaddr_un address{};
    if (path.empty() || path.size() >= sizeof address.sun_path) return false;
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, path.data(), path.size());
    // Without blocking: a server that is there but slow to take connections
    // (its queue full) is there all the same, and must not hold up the start.
    FileHandle socket(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
    if (!socket.valid()) return false;
    const socklen_t length = socklen_t(offsetof(sockaddr_un, sun_path) + path.size());
    if (::connect(socket.get(), reinterpret_cast<const sockaddr*>(&address), length) == 0) return true;
    return errno == EAGAIN || errno == EINPROGRESS;
}

// DISPLAY is "[host]:number[.screen]"; a display on this machine ("", "unix"
// or a path before the colon) is its server's socket, which is tried. One on
// another host is taken on trust: reaching it may take the network's time.
bool xReachable(const Environment& environment) {
    const char* value = environment("DISPLAY");
    if (!value || !*value) return false;
    const std::string_view display(value);
    const size_t colon = display.rfind(':');
    if (colon == std::string_view::npos) return false;
    const std::string_view host = display.substr(0, colon);
    std::string_view number = display.substr(colon + 1);
    number = number.substr(0, number.find('.'));
    if (number.empty() || number.find_first_not_of("0123456789") != std::string_view::npos) return false;
    if (!host.empty() && host != "unix") {
        // A socket path of its own (as some systems hand out) is tried; a host name is trusted.
        if (host.front() == '/') return listening(std::string(display));
        return true;
    }
    const std::string socket = "/tmp/.X11-unix/X" + std::string(number);
    return listening(socket) || listening(std::string(1, '\0') + socket);
}

// WAYLAND_DISPLAY names a socket in XDG_RUNTIME_DIR (wayland-0 when unset),
// or is a path of its own; WAYLAND_SOCKET hands over a connection already made.
bool waylandReachable(const Environment& environment) {
    if (const char* handed = environment("WAYLAND_SOCKET"); handed && *handed) return true;
    const char* value = environment("WAYLAND_DISPLAY");
    const std::string name = value && *value ? value : "wayland-0";
    if (name.front() == '/') return listening(name);
    const char* runtime = environment("XDG_RUNTIME_DIR");
    if (!runtime || *runtime != '/') return false;
    return listening(std::string(runtime) + "/" + name);
}

bool reachable(std::string_view platform, const Environment& environment) {
    // Options follow the name after a colon ("offscreen:size=...").
    platform = platform.substr(0, platform.find(':'));
    if (platform == "xcb") return xReachable(environment);
    if (platform.substr(0, 7) == "wayland") return waylandReachable(environment);
    // offscreen, minimal, a framebuffer, a remote protocol or one not known
    // here: the toolkit is left to judge for itself.
    return !platform.empty();
}

}  // namespace

const char* processEnvironment(const char* name) { return std::getenv(name); }

bool available(const Environment& environment) {
#ifdef __APPLE__
    (void)environment;
    return true;
#else
    const char* chosen = environment("QT_QPA_PLATFORM");
    // Without a choice the toolkit takes the X display, in a Wayland session
    // Wayland first.
    const char* session = environment("XDG_SESSION_TYPE");
    const bool wayland = session && std::string_view(session) == "wayland";
    const std::string platforms = chosen && *chosen ? chosen : wayland ? "wayland;xcb" : "xcb";
    for (std::string_view platform : TextLines::nonEmpty(platforms, ';'))
        if (reachable(platform, environment)) return true;
    return false;
#endif
}

}  // namespace Display
