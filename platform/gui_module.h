#pragma once
// The window, the screen renders, the icon and the user-guide renderers live
// in a library of their own that the executable loads only when one of them is
// asked for, so the command verbs start without Qt, poppler or cairo and need
// no display. The library exports one C function that runs a named handler of
// the start-up chain with the process arguments.
#include <filesystem>
#include <string>
#include <vector>

namespace GuiModule {

// The library's file name, beside the executable or in ../lib/vessiltane.
inline constexpr const char* kFileName = "libvessiltane-gui.so";
// The one function it exports: int vessiltane_gui_main(const char* handler, int argc, char** argv).
inline constexpr const char* kEntryName = "vessiltane_gui_main";
using Entry = int (*)(const char* handler, int argc, char** argv);
// What the entry answers when the handler left the invocation to the next
// link of the chain; any other answer is the process's exit status.
inline constexpr int kNotConsumed = -1;
// What it answers for a handler name it does not know.
inline constexpr int kUnknownHandler = -2;

// Where the library is looked for, in order, for an executable at this path.
std::vector<std::filesystem::path> candidates(const std::filesystem::path& executable);

struct Outcome {
    enum class Kind { consumed, notConsumed, unavailable };
    Kind kind = Kind::unavailable;
    int status = 1;     // consumed: the exit status
    std::string error;  // unavailable: why, for standard error
};

// Loads the library (once) from the first candidate that exists and runs the
// handler. A missing library, one that cannot be loaded or lacks the entry,
// and a handler it does not know come back as unavailable with the reason.
Outcome run(const std::string& handler, int argc, char** argv);

}  // namespace GuiModule
