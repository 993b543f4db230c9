#pragma once
// Whether the window's toolkit has somewhere to draw. Without a display it
// cannot start at all and ends the process with an abort, so the executable
// asks first and says in one line why the window does not open.
#include <functional>

namespace Display {

// Reads one variable of the environment; nullptr when it is not set.
using Environment = std::function<const char*(const char* name)>;

// The process's own environment.
const char* processEnvironment(const char* name);

// True when a window can be had: on macOS always; elsewhere when one of the
// toolkit's platforms named by QT_QPA_PLATFORM (without it the X display, and
// in a Wayland session the Wayland display) can be reached. A local X display
// or a Wayland socket is tried by connecting to it; a platform that needs no
// display (offscreen, minimal, a framebuffer) and a remote X display are taken
// on trust.
bool available(const Environment& environment = processEnvironment);

}  // namespace Display
