#include "engine/scanner_languages.h"

#include <algorithm>
#include <set>
#include <string>

#include "engine/scan_support.h"
#include "platform/file_facts.h"
#include "platform/languages.h"
#include "platform/locations.h"
#include "platform/unicode.h"
#include "platform/walker.h"

namespace Scanner {
namespace {

constexpr double kProgressScale = 80;

// "en-US" -> "en", "zh-Hans-CN" -> "zh": the first two characters, lower-cased.
std::set<std::string> keptLanguages() {
    std::set<std::string> kept = {"en", "base"};
    for (const std::string& tag : Languages::preferred()) {
        // Whole code points, so a tag starting with a non-ASCII letter is not cut mid-sequence.
        size_t end = 0;
        for (int chars = 0; chars < 2 && end < tag.size(); ++chars) {
            ++end;
            while (end < tag.size() && (static_cast<unsigned char>(tag[end]) & 0xC0) == 0x80) ++end;
        }
        kept.insert(Unicode::lower(tag.substr(0, end)));
    }
    return kept;
}

// The extension after the last ".", compared exactly ("Foo.APP" is no application).
bool hasExtension(std::string_view name, std::string_view extension) {
    if (name.size() <= extension.size() + 1) return false;
    return name.substr(name.size() - extension.size()) == extension &&
           name[name.size() - extension.size() - 1] == '.';
}

std::string stem(std::string_view name, std::string_view extension) {
    return std::string(name.substr(0, name.size() - extension.size() - 1));
}

}  // namespace

ScanCategory scanLanguageFiles(const ScanToken& token, const ProgressCallback& progress) {
    const std::set<std::string> kept = keptLanguages();
    const std::filesystem::path folders[] = {
        Locations::system("/Applications"),
        Locations::home() / "Applications",
        Locations::system("/System/Applications"),
    };

    std::vector<ScanItem> items;
    int reviewed = 0;
    for (const auto& folder : folders) {
        if (!existsFollowingLinks(folder)) continue;
        bool listed = false;
        const auto apps = Walker::list(folder, &listed);
        if (!listed) continue;
        for (const std::string& appName : apps) {
            if (!hasExtension(appName, "app")) continue;
            if (token.isCancelled()) break;
            ++reviewed;
            const std::string name = stem(appName, "app");
            ScanSupport::report(progress, std::min(reviewed / kProgressScale, 1.0), "Reviewing " + name + "\u2026");

            const std::filesystem::path resources = folder / appName / "Contents" / "Resources";
            if (!existsFollowingLinks(resources)) continue;
            bool ok = false;
            const auto children = Walker::list(resources, &ok);
            if (!ok) continue;
            for (const std::string& child : children) {
                if (!hasExtension(child, "lproj")) continue;
                const std::string language = Unicode::lower(stem(child, "lproj"));
                if (kept.count(language)) continue;
                const std::filesystem::path url = resources / child;
                FS::Measured size = ScanSupport::measureAlone(url);
                if (size.size < 1) continue;
                items.push_back(ScanItem{.url = url,
                                         .name = name + " \u2014 " + language,
                                         .detail = "Unused translation",
                                         .size = size.size,
                                         .safety = Safety::review,
                                         .isSelected = false,
                                         .measured = std::move(size.object)});
            }
        }
    }
    ScanSupport::sortLargestFirst(items);
    return ScanCategory{"language-files", "Language Files",
                        "Translations for languages you do not use, inside installed apps.", std::move(items)};
}

}  // namespace Scanner
