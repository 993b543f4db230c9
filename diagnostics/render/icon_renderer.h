#pragma once
// "--render-icon FOLDER": rasterises the application icon once at 1024
// pixels and writes the ten files of an iconset into the folder, each smaller
// one a high-quality downscale of that one image.
#include <array>
#include <filesystem>
#include <ostream>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace IconRenderer {

struct IconsetRow {
    std::string_view fileName;
    int pixels;  // the square's edge
};
extern const std::array<IconsetRow, 10> iconset;

// A failure of the renderer itself; what() is the message.
class Error : public std::runtime_error {
public:
    enum Code { noArtwork = 1, cannotOpen = 2, cannotWrite = 3 };
    Error(Code code, const std::string& message) : std::runtime_error(message), code_(code) {}
    Code code() const { return code_; }

private:
    Code code_;
};

// Writes the iconset into the folder, creating it. Throws Error, or
// std::runtime_error with the system's message when the folder cannot be
// made. Files written before a failure stay.
void render(const std::filesystem::path& folder);

// The start-up chain's link: false when "--render-icon" is absent or last;
// otherwise renders, reports on err ("icon: ...", nothing on out) and returns
// true.
bool handleCommandLineIfRequested(const std::vector<std::string>& arguments, std::ostream& out,
                                  std::ostream& err);

}  // namespace IconRenderer
