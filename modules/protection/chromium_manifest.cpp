#include "modules/protection/chromium_manifest.h"

#include <string_view>

#include "platform/file_text.h"
#include "platform/unicode.h"
#include "platform/nesting.h"

namespace ChromiumManifest {
namespace {

// Far above any real manifest or message file.
constexpr size_t kMaxFileBytes = 4 * 1024 * 1024;

constexpr std::string_view kKeyStart = "__MSG_";
constexpr std::string_view kKeyEnd = "__";

std::optional<nlohmann::json> readObject(const std::filesystem::path& file) {
    auto text = FileText::read(file, kMaxFileBytes);
    if (!text || !Nesting::jsonWithin(*text)) return std::nullopt;
    nlohmann::json parsed = nlohmann::json::parse(*text, nullptr, /*allow_exceptions=*/false, /*ignore_comments=*/true);
    if (parsed.is_discarded() || !parsed.is_object()) return std::nullopt;
    return parsed;
}

// Message keys are letters, digits, "_" and "@"; anything else between the
// markers is text that merely looks like a key.
bool isKey(std::string_view key) {
    if (key.empty()) return false;
    for (char c : key) {
        const bool word = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
                          c == '@';
        if (!word) return false;
    }
    return true;
}

// A locale folder name as the manifest gives it: one plain folder name.
bool isLocaleName(const std::string& locale) {
    return !locale.empty() && locale != "." && locale != ".." && locale.find('/') == std::string::npos &&
           locale.find('\0') == std::string::npos;
}

std::optional<std::string> message(const nlohmann::json& messages, std::string_view key) {
    auto text = [](const nlohmann::json& entry) -> std::optional<std::string> {
        if (!entry.is_object()) return std::nullopt;
        auto it = entry.find("message");
        if (it == entry.end() || !it->is_string()) return std::nullopt;
        return it->get<std::string>();
    };
    if (auto exact = messages.find(std::string(key)); exact != messages.end()) return text(*exact);
    const std::string wanted = Unicode::lower(key);
    for (auto it = messages.begin(); it != messages.end(); ++it)
        if (Unicode::lower(it.key()) == wanted) return text(it.value());
    return std::nullopt;
}

}  // namespace

std::optional<nlohmann::json> read(const std::filesystem::path& versionFolder) {
    return readObject(versionFolder / "manifest.json");
}

std::optional<std::string> name(const nlohmann::json& manifest, const std::filesystem::path& versionFolder) {
    auto field = manifest.find("name");
    if (field == manifest.end() || !field->is_string()) return std::nullopt;
    const std::string written = field->get<std::string>();
    if (written.find(kKeyStart) == std::string::npos) return written;

    std::optional<nlohmann::json> messages;
    if (auto locale = manifest.find("default_locale"); locale != manifest.end() && locale->is_string()) {
        const std::string folder = locale->get<std::string>();
        if (isLocaleName(folder)) messages = readObject(versionFolder / "_locales" / folder / "messages.json");
    }
    if (!messages) return written;

    std::string shown;
    size_t from = 0;
    while (from < written.size()) {
        const size_t start = written.find(kKeyStart, from);
        if (start == std::string::npos) break;
        const size_t keyAt = start + kKeyStart.size();
        const size_t end = written.find(kKeyEnd, keyAt);
        if (end == std::string::npos) break;
        const std::string_view key = std::string_view(written).substr(keyAt, end - keyAt);
        if (!isKey(key)) {
            shown.append(written, from, keyAt - from);
            from = keyAt;
            continue;
        }
        auto text = message(*messages, key);
        if (!text) return written;
        shown.append(written, from, start - from);
        shown += *text;
        from = end + kKeyEnd.size();
    }
    shown.append(written, from, std::string::npos);
    return shown;
}

}  // namespace ChromiumManifest
