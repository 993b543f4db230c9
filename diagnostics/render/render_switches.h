#pragma once
// "--render-summary OUT.png [N]" and "--render-coverage OUT.png": draw the
// cleanup summary sheet (with N sample failure lines, 30 by default) or the
// coverage list of six sample places into a PNG at twice its size in points,
// without opening the window. Success prints "rendered <w>x<h> to <path>";
// a PNG that could not be written is said on err, never as rendered.
#include <ostream>
#include <string>
#include <vector>

namespace Diagnostics {

bool handleRenderSummary(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err);
bool handleRenderCoverage(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err);

// The failure-line count written after the path: decimal digits with an
// optional sign; a negative count is 0; a missing value, one that is not a
// number and one too large to hold give 30.
long long failureCount(const std::vector<std::string>& arguments);

}  // namespace Diagnostics
