#include "engine/removal_guard.h"

#include <optional>
#include <string>

#include "engine/ignores.h"
#include "engine/own_files.h"
#include "engine/protection.h"
#include "platform/locations.h"

namespace RemovalGuard {
namespace {


bool hasDotComponent(const std::string& p) {
    size_t i = 0;
    while (i <= p.size()) {
        size_t j = p.find('/', i);
        if (j == std::string::npos) j = p.size();
        std::string_view piece(p.data() + i, j - i);
        if (piece == "." || piece == "..") return true;
        i = j + 1;
    }
    return false;
}

bool isRoot(const std::string& p) { return p.find_first_not_of('/') == std::string::npos; }

// The item's folder resolved through every link, with the item's own name
// after it; nothing when the folder cannot be resolved (it is gone).
std::optional<std::string> resolved(const std::string& p) {
    size_t slash = p.rfind('/');
    std::string folder = slash == 0 ? "/" : p.substr(0, slash);
    std::string name = p.substr(slash + 1);
    auto real = Locations::realPath(folder);
    if (!real) return std::nullopt;
    return *real == "/" ? "/" + name : *real + "/" + name;
}

}  // namespace

std::string text(Verdict verdict) {
    switch (verdict) {
        case Verdict::allowed: return {};
        case Verdict::invalid: return "Not an absolute path to one item";
        case Verdict::ignored: return "On the ignore list";
        case Verdict::protected_: return "Protected item";
        case Verdict::ignoreListUnreadable: return "The ignore list cannot be read";
    }
    return "Protected item";
}

namespace {

// The verdict for a path as written and where it really is (nothing when
// that is unknown).
template <class Real>
Verdict verdictFor(const std::filesystem::path& path, Real&& realOf) {
    const std::string& raw = path.native();
    if (raw.empty() || raw.front() != '/' || raw.find('\0') != std::string::npos) return Verdict::invalid;
    if (isRoot(raw)) return Verdict::protected_;
    std::string p = Locations::withoutTrailingSlash(raw);
    if (hasDotComponent(p)) return Verdict::invalid;

    if (Ignores::unreadable()) return Verdict::ignoreListUnreadable;
    const std::optional<std::string> real = realOf(p);
    constexpr auto fresh = Ignores::RealPaths::fresh;
    if (Ignores::isIgnored(p, fresh) || (real && Ignores::isIgnored(*real, fresh))) return Verdict::ignored;
    if (Protection::isUnderProtectedLocation(p) || (real && Protection::isUnderProtectedLocation(*real)))
        return Verdict::protected_;
    return Verdict::allowed;
}

}  // namespace

Verdict check(const std::filesystem::path& path) {
    Verdict verdict = verdictFor(path, resolved);
    if (verdict != Verdict::allowed) return verdict;
    // The program's own files are never junk, on any road. (Inside an item
    // that passed this check, no entry can be one of them.)
    const std::string p = Locations::withoutTrailingSlash(path.native());
    if (OwnFiles::touches(p)) return Verdict::protected_;
    if (auto real = resolved(p); real && OwnFiles::touches(*real)) return Verdict::protected_;
    return Verdict::allowed;
}

Verdict checkInside(const std::filesystem::path& path, const std::filesystem::path& realPath) {
    return verdictFor(path, [&](const std::string&) { return std::optional<std::string>(realPath.native()); });
}

Verdict checkWhole(const std::filesystem::path& path) {
    Verdict verdict = check(path);
    if (verdict != Verdict::allowed) return verdict;
    std::string p = Locations::withoutTrailingSlash(path.native());
    auto real = resolved(p);
    constexpr auto fresh = Ignores::RealPaths::fresh;
    if (Ignores::holdsIgnored(p, fresh) || (real && Ignores::holdsIgnored(*real, fresh))) return Verdict::ignored;
    if (Protection::holdsProtectedLocation(p) || (real && Protection::holdsProtectedLocation(*real)))
        return Verdict::protected_;
    return Verdict::allowed;
}

}  // namespace RemovalGuard
