#pragma once
// The user guide's two switches. "--stamp-guide PDF" redraws every page of
// the document as vectors into a new PDF, adds a footer to every page but the
// first (a thin rule, "Vessiltane User Guide" at the left, "n / total" at the
// right) and puts the result in place of the file. "--render-pdf PDF FOLDER"
// draws every page on white at twice its size into page-01.png, page-02.png...
// Both take a page as its whole media box, upright: a crop box or a rotation
// of the page does not change what is drawn or the size it is drawn at.
#include <filesystem>
#include <ostream>
#include <stdexcept>
#include <string>
#include <vector>

namespace GuideRenderer {

// A failure of the stamper itself; what() is the message.
class Error : public std::runtime_error {
public:
    enum Code { unreadable = 1, noContext = 2 };
    Error(Code code, const std::string& message) : std::runtime_error(message), code_(code) {}
    Code code() const { return code_; }

private:
    Code code_;
};

// Stamps the document and returns its page count. The stamped document is
// written whole beside the file and then renamed over it, so any failure
// leaves the file as it was. Throws Error, or std::runtime_error with the
// system's message when the result cannot be written.
int stamp(const std::filesystem::path& pdf);

// The start-up chain's links; false when the switch is absent or lacks its
// arguments, true once it has done its work (failures are reported).
bool handleStampIfRequested(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err);
bool handleRenderIfRequested(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err);

}  // namespace GuideRenderer
