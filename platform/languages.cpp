#include "platform/languages.h"

#include <algorithm>
#include <cstdlib>
#include <mutex>

#ifdef __APPLE__
#include "platform/locations.h"
#include "platform/plist.h"
#endif

namespace Languages {
namespace {

std::mutex overrideLock;
std::optional<std::vector<std::string>> overrideLanguages;

std::string_view env(const char* name) {
    const char* v = std::getenv(name);
    return v ? std::string_view(v) : std::string_view();
}

// "pt_BR.UTF-8@euro" -> "pt-BR"; nothing for the POSIX locale or an empty text.
std::optional<std::string> tagOf(std::string_view locale) {
    locale = locale.substr(0, std::min(locale.find('.'), locale.find('@')));
    if (locale.empty() || locale == "C" || locale == "POSIX") return std::nullopt;
    std::string tag(locale);
    std::replace(tag.begin(), tag.end(), '_', '-');
    return tag;
}

void add(std::vector<std::string>& out, std::string_view locale) {
    auto tag = tagOf(locale);
    if (tag && std::find(out.begin(), out.end(), *tag) == out.end()) out.push_back(std::move(*tag));
}

#ifdef __APPLE__
// The list the system's language settings keep in the global preferences.
std::vector<std::string> systemList() {
    auto prefs = Plist::readFile(Locations::home() / "Library/Preferences/.GlobalPreferences.plist");
    if (!prefs) return {};
    return prefs->strings("AppleLanguages");
}
#endif

}  // namespace

std::vector<std::string> fromLocaleVariables(std::string_view language, std::string_view lcAll,
                                             std::string_view lcMessages, std::string_view lang) {
    std::vector<std::string> out;
    size_t i = 0;
    while (i <= language.size() && !language.empty()) {
        size_t j = std::min(language.find(':', i), language.size());
        add(out, language.substr(i, j - i));
        i = j + 1;
    }
    for (std::string_view locale : {lcAll, lcMessages, lang}) {
        if (locale.empty()) continue;
        add(out, locale);
        break;
    }
    return out;
}

std::vector<std::string> preferred() {
    {
        std::lock_guard guard(overrideLock);
        if (overrideLanguages) return *overrideLanguages;
    }
#ifdef __APPLE__
    if (auto list = systemList(); !list.empty()) return list;
#endif
    return fromLocaleVariables(env("LANGUAGE"), env("LC_ALL"), env("LC_MESSAGES"), env("LANG"));
}

void setForTesting(std::optional<std::vector<std::string>> languages) {
    std::lock_guard guard(overrideLock);
    overrideLanguages = std::move(languages);
}

}  // namespace Languages
