#include "modules/system/thinning.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <optional>
#include <system_error>

#include "engine/admin.h"
#include "engine/byte_format.h"
#include "engine/fat_binary.h"
#include "engine/fs.h"
#include "engine/removal_guard.h"
#include "platform/file_facts.h"
#include "platform/file_handle.h"
#include "platform/file_text.h"
#include "platform/locations.h"
#include "platform/uuid.h"
#include "platform/decimal.h"

namespace Thinning {
namespace {

namespace fs = std::filesystem;
using Kind = ThinningError::Kind;

constexpr const char* kCodesign = "/usr/bin/codesign";
constexpr uint32_t kHeaderBytes = 28;  // magic, count and one 20-byte entry
constexpr uint32_t kMaxAlignment = 30;
constexpr int kBundleSearchDepth = 6;

std::string message(Kind kind, const std::string& detail) {
    switch (kind) {
        case Kind::rewriteFailed: return "could not rewrite the binary: " + detail;
        case Kind::resignFailed: return "re-signing failed: " + detail;
        case Kind::verificationFailed: return "verification failed: " + detail;
        case Kind::notUniversal: return "not a universal binary";
        case Kind::nothingToRemove: return "no foreign CPU slice to remove";
    }
    return detail;
}

bool isNative(const std::string& name) { return name == "arm64" || name == "arm64e"; }

std::string trimmed(const std::string& text) {
    const char* space = " \t\n\r";
    size_t start = text.find_first_not_of(space);
    if (start == std::string::npos) return {};
    size_t end = text.find_last_not_of(space);
    return text.substr(start, end - start + 1);
}

std::system_error fileError(int error, const char* what) {
    return std::system_error(error, std::generic_category(), what);
}

// The application bundle an executable lives in: the first of its six nearest
// parent folders whose extension is "app".
std::optional<fs::path> enclosingBundle(const fs::path& file) {
    fs::path folder = file;
    for (int i = 0; i < kBundleSearchDepth; ++i) {
        fs::path parent = folder.parent_path();
        if (parent == folder || parent.empty() || parent == "/") return std::nullopt;
        folder = parent;
        if (folder.extension() == ".app") return folder;
    }
    return std::nullopt;
}

void putWord(std::string& bytes, size_t at, uint32_t value) {
    bytes[at] = char(value >> 24);
    bytes[at + 1] = char(value >> 16);
    bytes[at + 2] = char(value >> 8);
    bytes[at + 3] = char(value);
}

// A one-slice universal file: the 28-byte header, zeros up to the slice's
// aligned offset, then the slice unchanged.
std::string fatBinary(const std::string& slice, uint32_t cpuType, uint32_t cpuSubtype, uint32_t alignment) {
    const uint64_t unit = uint64_t(1) << std::min(alignment, kMaxAlignment);
    const uint64_t offset = (kHeaderBytes + unit - 1) / unit * unit;
    std::string bytes(size_t(offset), '\0');
    putWord(bytes, 0, 0xCAFEBABE);
    putWord(bytes, 4, 1);
    putWord(bytes, 8, cpuType);
    putWord(bytes, 12, cpuSubtype);
    putWord(bytes, 16, uint32_t(offset));
    putWord(bytes, 20, uint32_t(slice.size()));
    putWord(bytes, 24, alignment);
    bytes += slice;
    return bytes;
}

std::string readSlice(const fs::path& executable, const FatBinary::Slice& slice) {
    if (slice.size > int64_t(UINT32_MAX))
        throw ThinningError(Kind::rewriteFailed, "the slice is too large for a universal file");
    int error = 0;
    FileHandle fd = FileText::openRegular(executable, FileText::Owner::other, &error);
    if (!fd.valid()) throw fileError(error, "could not open the executable");
    // Only bytes the file holds are read: a header claiming more than that
    // never makes the system set aside room for it.
    struct stat st{};
    if (::fstat(fd.get(), &st) != 0) throw fileError(errno, "could not read the executable");
    if (slice.size <= 0 || uint64_t(slice.offset) + uint64_t(slice.size) > uint64_t(st.st_size))
        throw ThinningError(Kind::rewriteFailed, "could not read the slice");
    std::string bytes(size_t(slice.size), '\0');
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = ::pread(fd.get(), bytes.data() + done, bytes.size() - done, off_t(slice.offset) + off_t(done));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) throw fileError(errno, "could not read the executable");
        if (n == 0) break;
        done += size_t(n);
    }
    if (done == 0 || done != uint64_t(slice.size)) throw ThinningError(Kind::rewriteFailed, "could not read the slice");
    return bytes;
}

void writeNewFile(const fs::path& path, const std::string& bytes) {
    FileHandle fd(::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
    if (!fd.valid()) throw fileError(errno, "could not write the thinned executable");
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = ::write(fd.get(), bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) throw fileError(n < 0 ? errno : EIO, "could not write the thinned executable");
        done += size_t(n);
    }
    if (::fsync(fd.get()) != 0 || !fd.close()) throw fileError(errno, "could not write the thinned executable");
}

int64_t measure(const fs::path& path) {
    FS::SeenSet fresh;
    return FS::size(path, fresh);
}

void removeQuietly(const fs::path& path) { ::unlink(path.c_str()); }

std::string sliceList(const FatBinary& fat) {
    std::string out;
    for (const auto& s : fat.architectures) {
        if (!out.empty()) out += ",";
        out += s.name + ":" + Decimal::text(s.size) + "@" + Decimal::text(s.offset);
    }
    return out;
}

void resign(const fs::path& target) {
    const std::string quoted = Admin::quote(target.native());
    const std::string sign = Admin::tool(kCodesign) + " --force --sign - ";
    Admin::Result signed_ =
        Admin::run(sign + "--preserve-metadata=entitlements,requirements,flags,runtime " + quoted, true);
    if (!signed_.ok) {
        signed_ = Admin::run(sign + quoted, true);
        if (!signed_.ok) throw ThinningError(Kind::resignFailed, trimmed(signed_.output));
    }
    Admin::Result verified = Admin::run(Admin::tool(kCodesign) + " --verify --deep --strict " + quoted, true);
    if (!verified.ok) throw ThinningError(Kind::verificationFailed, trimmed(verified.output));
}

bool isObject(const fs::path& path, const FileIdentity& identity) {
    auto facts = lstatFacts(path);
    return facts && facts->identity == identity;
}

// Keeps the original reachable until the thinned executable has verified, so a
// failed step never leaves the application without its executable even when
// the Trash cannot give it back. It lives beside the bundle, not inside it,
// where re-signing would take it for part of the application.
class OriginalCopy {
public:
    OriginalCopy(const fs::path& executable, const std::optional<fs::path>& bundle) : executable_(executable) {
        auto facts = lstatFacts(executable);
        if (!facts) throw ThinningError(Kind::rewriteFailed, std::strerror(errno));
        identity_ = facts->identity;
        fs::path folder = bundle ? bundle->parent_path() : executable.parent_path();
        std::string name = ".";
        name += executable.filename().string();
        name += '.';
        name += Uuid::random().string();
        name += ".original";
        path_ = folder / name;
        // A second name costs no space: the old file is never written to, only
        // moved, so its bytes stay as they are.
        if (::link(executable.c_str(), path_.c_str()) == 0) return;
        int linkError = errno;
        std::error_code ec;
        if (fs::copy_file(executable, path_, fs::copy_options::none, ec)) return;
        removeQuietly(path_);
        throw ThinningError(Kind::rewriteFailed,
                            std::string("could not keep a copy of the original: ") + std::strerror(linkError));
    }

    // Puts the original back at its path: from the Trash when it went there,
    // else from the copy. Never replaces anything at the path.
    void restore(const std::optional<fs::path>& trashed) {
        if (!existsItself(executable_) && trashed) ::rename(trashed->c_str(), executable_.c_str());
        if (!existsItself(executable_)) ::rename(path_.c_str(), executable_.c_str());
        if (isObject(executable_, identity_)) removeQuietly(path_);
    }

    // Where the original still is when restoring failed, for the failure text.
    std::string whereKept() const {
        if (existsItself(executable_) || !existsItself(path_)) return {};
        return " (the original is kept at " + path_.string() + ")";
    }

    void discard() { removeQuietly(path_); }

private:
    fs::path executable_;
    FileIdentity identity_;
    fs::path path_;
};

ThinningError withWhereKept(const ThinningError& error, const OriginalCopy& copy) {
    std::string kept = copy.whereKept();
    if (kept.empty()) return error;
    return ThinningError(error.kind(), error.detail() + kept);
}

}  // namespace

ThinningError::ThinningError(Kind kind, std::string detail)
    : std::runtime_error(message(kind, detail)), kind_(kind), detail_(std::move(detail)) {}

bool codesignIsAvailable() { return existsFollowingLinks(Locations::system(kCodesign)); }

int64_t thinBinary(const fs::path& executable) {
    // The file read is the one that goes to the Trash, never a later one.
    const std::optional<MeasuredObject> original = measureObject(executable);
    auto fat = FatBinary::read(executable);
    if (!fat || fat->architectures.size() < 2) throw ThinningError(Kind::notUniversal);
    const auto& slices = fat->architectures;
    auto kept = std::find_if(slices.begin(), slices.end(), [](const auto& s) { return isNative(s.name); });
    bool allNative = std::all_of(slices.begin(), slices.end(), [](const auto& s) { return isNative(s.name); });
    if (kept == slices.end() || allNative) throw ThinningError(Kind::nothingToRemove);
    const FatBinary::Slice slice = *kept;

    // Replacing an executable removes the old one: the removal rules apply.
    switch (RemovalGuard::check(executable)) {
        case RemovalGuard::Verdict::allowed: break;
        case RemovalGuard::Verdict::ignored: throw ThinningError(Kind::rewriteFailed, "On the ignore list");
        case RemovalGuard::Verdict::protected_: throw ThinningError(Kind::rewriteFailed, "Protected item");
        case RemovalGuard::Verdict::invalid: throw ThinningError(Kind::rewriteFailed, std::strerror(EINVAL));
        case RemovalGuard::Verdict::ignoreListUnreadable:
            throw ThinningError(Kind::rewriteFailed, RemovalGuard::text(RemovalGuard::Verdict::ignoreListUnreadable));
    }

    const auto bundle = enclosingBundle(executable);
    const int64_t sizeBefore = measure(executable);

    const std::string bytes = readSlice(executable, slice);
    const std::string thinned = fatBinary(bytes, slice.cpuType, slice.cpuSubtype, slice.alignment);

    const fs::path temporary = executable.parent_path() / ("." + executable.filename().string() + ".thinning");
    removeQuietly(temporary);
    try {
        writeNewFile(temporary, thinned);
    } catch (...) {
        removeQuietly(temporary);
        throw;
    }

    auto readBack = FatBinary::read(temporary);
    std::string detail = readBack ? "read back count=" + Decimal::text(int64_t(readBack->architectures.size())) + " " +
                                        sliceList(*readBack)
                                  : "unreadable";
    if (!readBack || readBack->architectures.size() != 1 || readBack->architectures[0].name != slice.name ||
        readBack->architectures[0].size != int64_t(bytes.size())) {
        removeQuietly(temporary);
        throw ThinningError(Kind::verificationFailed, detail + "; expected " + slice.name + " with " +
                                                          Decimal::text(int64_t(bytes.size())) + " bytes");
    }

    const int64_t sizeAfter = measure(temporary);
    if (sizeAfter >= sizeBefore) {
        removeQuietly(temporary);
        throw ThinningError(Kind::rewriteFailed, "would not save space (" + ByteFormat::string(sizeBefore) +
                                                     " \u2192 " + ByteFormat::string(sizeAfter) + ")");
    }

    auto old = lstatFacts(executable);
    ::chmod(temporary.c_str(), old ? (old->mode & 07777) : 0755);
    auto fresh = lstatFacts(temporary);

    std::optional<OriginalCopy> copy;
    try {
        copy.emplace(executable, bundle);
    } catch (...) {
        removeQuietly(temporary);
        throw;
    }

    // The swap: the old executable to the Trash, the new one into its place.
    ScanItem item;
    item.url = executable;
    item.name = executable.filename().string();
    item.safety = Safety::review;
    item.measured = original;
    FS::RemovalOutcome moved = FS::remove({item}, true);
    std::optional<fs::path> trashed;
    std::string swapFailure;
    if (!moved.failures.empty()) swapFailure = moved.failures.front().second;
    else if (moved.trashedTo.empty()) swapFailure = std::strerror(ENOENT);  // gone before it could be moved
    else trashed = moved.trashedTo.front();
    if (swapFailure.empty() && ::rename(temporary.c_str(), executable.c_str()) != 0) swapFailure = std::strerror(errno);
    if (!swapFailure.empty()) {
        copy->restore(trashed);
        removeQuietly(temporary);
        throw withWhereKept(ThinningError(Kind::rewriteFailed, swapFailure), *copy);
    }

    try {
        resign(bundle ? *bundle : executable);
    } catch (const ThinningError& error) {
        if (fresh && isObject(executable, fresh->identity)) removeQuietly(executable);
        copy->restore(trashed);
        throw withWhereKept(error, *copy);
    }

    copy->discard();
    return sizeBefore - measure(executable);
}

Outcome thin(const std::vector<ScanItem>& items, const ScanToken& token, const ProgressCallback& progress) {
    Outcome outcome;
    if (!codesignIsAvailable()) {
        outcome.failures.push_back(kCodesignUnavailable);
        return outcome;
    }
    const size_t n = items.size();
    for (size_t i = 0; i < n; ++i) {
        if (token.isCancelled()) break;
        const ScanItem& item = items[i];
        if (progress) progress(double(i) / double(n), "Thinning " + item.name + "\u2026");
        try {
            int64_t saved = thinBinary(item.url);
            ++outcome.thinned;
            outcome.bytesSaved += saved;
            outcome.notes.push_back("Thinned " + item.name + " and re-signed it ad-hoc");
        } catch (const std::exception& error) {
            outcome.failures.push_back(item.name + ": " + error.what());
        }
    }
    if (progress) progress(1.0, "Done");
    return outcome;
}

}  // namespace Thinning
