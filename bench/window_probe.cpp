// Times the real executable's window as a user sees it, for bench/run: on a
// virtual display of its own, from the moment the program is started to the
// first frame of its mapped main window that is not blank (read back from the
// display every millisecond); then Rescan (Ctrl+R, which on the home screen is
// a Smart Scan) is pressed and the window's main thread is asked a question
// every 10 ms through the display (the window manager's ping, which the
// toolkit answers from the main thread's event loop) for the given seconds:
// how long each answer took is how late the main thread was. Prints one line
// per measure, its name, a tab and its value; ends the program afterwards.
//
//   vessiltane_bench_xwindow SECONDS -- COMMAND...
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace {

double now() {
    timespec t{};
    ::clock_gettime(CLOCK_MONOTONIC, &t);
    return double(t.tv_sec) * 1000.0 + double(t.tv_nsec) / 1e6;
}

[[noreturn]] void fail(const char* what) {
    std::fprintf(stderr, "vessiltane_bench_xwindow: %s\n", what);
    std::exit(1);
}

// A virtual display of the probe's own; the server picks a free number.
struct Display {
    pid_t pid = -1;
    std::string name;

    Display() {
        int fds[2];
        if (::pipe2(fds, O_CLOEXEC) != 0) return;
        pid = ::fork();
        if (pid == 0) {
            ::dup2(fds[1], 3);
            const int null = ::open("/dev/null", O_RDWR);
            ::dup2(null, 1);
            ::dup2(null, 2);
            ::execlp("Xvfb", "Xvfb", "-displayfd", "3", "-screen", "0", "1600x1000x24", "-nolisten", "tcp",
                     "-noreset", static_cast<char*>(nullptr));
            ::_exit(127);
        }
        ::close(fds[1]);
        std::string number;
        pollfd p{fds[0], POLLIN, 0};
        while (pid > 0 && ::poll(&p, 1, 10000) > 0) {
            char c;
            if (::read(fds[0], &c, 1) != 1 || c == '\n') break;
            number += c;
        }
        ::close(fds[0]);
        if (!number.empty()) name = ":" + number;
    }
    ~Display() {
        if (pid <= 0) return;
        ::kill(pid, SIGTERM);
        ::waitpid(pid, nullptr, 0);
    }
};

xcb_atom_t atom(xcb_connection_t* c, const char* name) {
    auto cookie = xcb_intern_atom(c, 0, uint16_t(std::strlen(name)), name);
    std::unique_ptr<xcb_intern_atom_reply_t, decltype(&std::free)> reply(xcb_intern_atom_reply(c, cookie, nullptr),
                                                                        &std::free);
    return reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
}

// Whether the window shows more than one colour: drawn, not just cleared.
bool drawn(xcb_connection_t* c, xcb_window_t w, uint16_t width, uint16_t height) {
    auto cookie = xcb_get_image(c, XCB_IMAGE_FORMAT_Z_PIXMAP, w, 0, 0, width, height, ~0u);
    std::unique_ptr<xcb_get_image_reply_t, decltype(&std::free)> reply(xcb_get_image_reply(c, cookie, nullptr),
                                                                      &std::free);
    if (!reply) return false;
    const uint8_t* data = xcb_get_image_data(reply.get());
    const int length = xcb_get_image_data_length(reply.get());
    for (int i = 4; i + 3 < length; i += 4)
        if (std::memcmp(data + i, data, 3) != 0) return true;
    return false;
}

// The CPU time the process used so far, in milliseconds.
double cpuOf(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    std::getline(in, line);
    const size_t close = line.rfind(')');
    if (close == std::string::npos) return 0;
    std::istringstream rest(line.substr(close + 2));
    std::string field;
    double ticks = 0;
    // utime and stime are the 12th and 13th fields after the command.
    for (int i = 0; i < 13 && rest >> field; ++i)
        if (i >= 11) ticks += std::stod(field);
    return ticks * 1000.0 / double(::sysconf(_SC_CLK_TCK));
}

// The keycode that types the letter on this display.
xcb_keycode_t keycodeOf(xcb_connection_t* c, char letter) {
    const xcb_setup_t* setup = xcb_get_setup(c);
    const auto count = uint8_t(setup->max_keycode - setup->min_keycode + 1);
    auto cookie = xcb_get_keyboard_mapping(c, setup->min_keycode, count);
    std::unique_ptr<xcb_get_keyboard_mapping_reply_t, decltype(&std::free)> reply(
        xcb_get_keyboard_mapping_reply(c, cookie, nullptr), &std::free);
    if (!reply) return 0;
    const xcb_keysym_t* syms = xcb_get_keyboard_mapping_keysyms(reply.get());
    const int per = reply->keysyms_per_keycode;
    for (int k = 0; k < count; ++k)
        for (int s = 0; s < per; ++s)
            if (syms[k * per + s] == xcb_keysym_t(letter)) return xcb_keycode_t(setup->min_keycode + k);
    return 0;
}

void sendKey(xcb_connection_t* c, xcb_window_t root, xcb_window_t w, uint8_t type, xcb_keycode_t key, uint16_t state) {
    xcb_key_press_event_t e{};
    e.response_type = type;
    e.detail = key;
    e.time = XCB_CURRENT_TIME;
    e.root = root;
    e.event = w;
    e.child = XCB_WINDOW_NONE;
    e.root_x = e.root_y = e.event_x = e.event_y = 10;
    e.state = state;
    e.same_screen = 1;
    xcb_send_event(c, 0, w, XCB_EVENT_MASK_KEY_PRESS | XCB_EVENT_MASK_KEY_RELEASE, reinterpret_cast<const char*>(&e));
}

double percentile(const std::vector<double>& sorted, int p) {
    if (sorted.empty()) return 0;
    return sorted[std::min(sorted.size() - 1, sorted.size() * size_t(p) / 100)];
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 4 || std::strcmp(argv[2], "--") != 0) {
        std::fprintf(stderr, "usage: vessiltane_bench_xwindow SECONDS -- COMMAND...\n");
        return 2;
    }
    const double seconds = std::atof(argv[1]);
    Display display;
    if (display.name.empty()) fail("the virtual display (Xvfb) did not start");
    int screenNumber = 0;
    xcb_connection_t* c = xcb_connect(display.name.c_str(), &screenNumber);
    if (xcb_connection_has_error(c)) fail("cannot connect to the virtual display");
    xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
    const xcb_window_t root = screen->root;
    // Top-level windows mapping, and the answers to pings, which the toolkit
    // sends to the root window.
    const uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY | XCB_EVENT_MASK_STRUCTURE_NOTIFY;
    xcb_change_window_attributes(c, root, XCB_CW_EVENT_MASK, &mask);
    const xcb_atom_t protocols = atom(c, "WM_PROTOCOLS");
    const xcb_atom_t ping = atom(c, "_NET_WM_PING");
    const xcb_keycode_t keyR = keycodeOf(c, 'r');
    xcb_flush(c);

    const double start = now();
    const pid_t child = ::fork();
    if (child == 0) {
        ::setenv("DISPLAY", display.name.c_str(), 1);
        ::setenv("QT_QPA_PLATFORM", "xcb", 1);
        const int null = ::open("/dev/null", O_RDWR);
        ::dup2(null, 1);
        ::dup2(null, 2);
        ::execvp(argv[3], argv + 3);
        ::_exit(127);
    }
    if (child < 0) fail("cannot start the program");

    // The main window: the first top-level window mapped that is not a popup
    // and has the size of a window.
    xcb_window_t window = XCB_WINDOW_NONE;
    uint16_t width = 0, height = 0;
    const int fd = xcb_get_file_descriptor(c);
    while (window == XCB_WINDOW_NONE) {
        if (now() - start > 30000) fail("no window appeared within 30 seconds");
        pollfd p{fd, POLLIN, 0};
        ::poll(&p, 1, 100);
        while (xcb_generic_event_t* e = xcb_poll_for_event(c)) {
            if ((e->response_type & 0x7f) == XCB_MAP_NOTIFY) {
                auto* map = reinterpret_cast<xcb_map_notify_event_t*>(e);
                std::unique_ptr<xcb_get_geometry_reply_t, decltype(&std::free)> geometry(
                    xcb_get_geometry_reply(c, xcb_get_geometry(c, map->window), nullptr), &std::free);
                if (!map->override_redirect && geometry && geometry->width >= 300 && geometry->height >= 300 &&
                    window == XCB_WINDOW_NONE) {
                    window = map->window;
                    width = geometry->width;
                    height = geometry->height;
                }
            }
            std::free(e);
        }
    }
    double firstFrame = -1;
    while (firstFrame < 0) {
        if (now() - start > 30000) fail("the window stayed blank for 30 seconds");
        if (drawn(c, window, width, height)) firstFrame = now() - start;
        else ::usleep(1000);
    }
    std::printf("first frame ms\t%.2f\n", firstFrame);
    std::fflush(stdout);

    // Focus for the window, then Rescan from the keyboard.
    xcb_set_input_focus(c, XCB_INPUT_FOCUS_POINTER_ROOT, window, XCB_CURRENT_TIME);
    xcb_flush(c);
    ::usleep(50000);
    const double cpuBefore = cpuOf(child);
    if (keyR != 0) {
        sendKey(c, root, window, XCB_KEY_PRESS, keyR, XCB_MOD_MASK_CONTROL);
        sendKey(c, root, window, XCB_KEY_RELEASE, keyR, XCB_MOD_MASK_CONTROL);
        xcb_flush(c);
    }

    std::map<uint32_t, double> sent;
    std::vector<double> late;
    uint32_t next = 1;
    const double begin = now();
    double nextPing = begin;
    while (now() - begin < seconds * 1000.0 || (!sent.empty() && now() - begin < seconds * 1000.0 + 5000)) {
        if (now() >= nextPing && now() - begin < seconds * 1000.0) {
            xcb_client_message_event_t m{};
            m.response_type = XCB_CLIENT_MESSAGE;
            m.format = 32;
            m.window = window;
            m.type = protocols;
            m.data.data32[0] = ping;
            m.data.data32[1] = next;
            m.data.data32[2] = window;
            xcb_send_event(c, 0, window, XCB_EVENT_MASK_NO_EVENT, reinterpret_cast<const char*>(&m));
            xcb_flush(c);
            sent[next++] = now();
            nextPing += 10;
        }
        pollfd p{fd, POLLIN, 0};
        ::poll(&p, 1, 1);
        while (xcb_generic_event_t* e = xcb_poll_for_event(c)) {
            if ((e->response_type & 0x7f) == XCB_CLIENT_MESSAGE) {
                auto* m = reinterpret_cast<xcb_client_message_event_t*>(e);
                if (m->type == protocols && m->data.data32[0] == ping) {
                    auto it = sent.find(m->data.data32[1]);
                    if (it != sent.end()) {
                        late.push_back(now() - it->second);
                        sent.erase(it);
                    }
                }
            }
            std::free(e);
        }
        if (xcb_connection_has_error(c)) break;
    }
    const double cpuDuring = cpuOf(child) - cpuBefore;
    // A ping never answered counts as late as the whole period.
    for (size_t i = 0; i < sent.size(); ++i) late.push_back(seconds * 1000.0);
    std::sort(late.begin(), late.end());
    std::printf("lateness samples\t%zu\n", late.size());
    std::printf("lateness p50 ms\t%.2f\n", percentile(late, 50));
    std::printf("lateness p99 ms\t%.2f\n", percentile(late, 99));
    std::printf("lateness max ms\t%.2f\n", late.empty() ? 0.0 : late.back());
    std::printf("window cpu ms\t%.1f\n", cpuDuring);

    ::kill(child, SIGTERM);
    int status = 0;
    for (int i = 0; i < 50 && ::waitpid(child, &status, WNOHANG) == 0; ++i) ::usleep(100000);
    if (::waitpid(child, &status, WNOHANG) == 0) {
        ::kill(child, SIGKILL);
        ::waitpid(child, &status, 0);
    }
    xcb_disconnect(c);
    return 0;
}
