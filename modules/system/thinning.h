#pragma once
// Thinning rewrites a universal executable so it keeps only the slice this Mac
// runs (arm64 or arm64e), which frees the space of the foreign slices. The old
// executable goes to the Trash, the bundle is re-signed ad hoc and verified,
// and any failure puts the old executable back: from the Trash, or from the
// copy kept beside the bundle until the new one has verified.
#include <cstdint>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include "engine/scan_model.h"

namespace Thinning {

struct Outcome {
    int thinned = 0;                     // executables thinned and re-signed
    int64_t bytesSaved = 0;
    std::vector<std::string> failures;   // "<name>: <message>"
    std::vector<std::string> notes;      // "Thinned <name> and re-signed it ad-hoc"
};

class ThinningError : public std::runtime_error {
public:
    enum class Kind { rewriteFailed, resignFailed, verificationFailed, notUniversal, nothingToRemove };

    explicit ThinningError(Kind kind, std::string detail = {});
    Kind kind() const { return kind_; }
    const std::string& detail() const { return detail_; }

private:
    Kind kind_;
    std::string detail_;
};

// The failure line when the signing tool is missing.
inline constexpr const char* kCodesignUnavailable =
    "codesign is unavailable, so a thinned app could not be made launchable again.";

// Whether the signing tool a thinned app needs is present.
bool codesignIsAvailable();

// Thins each item's executable (its url) in turn; one failure never stops the
// others. The token is read before each item. Never throws.
Outcome thin(const std::vector<ScanItem>& items, const ScanToken& token, const ProgressCallback& progress);

// Thins one executable and returns the bytes saved. Throws ThinningError, or
// std::system_error for a file that cannot be read or written.
int64_t thinBinary(const std::filesystem::path& executable);

}  // namespace Thinning
