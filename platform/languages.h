#pragma once
// The languages the user reads, most preferred first, as language tags such as
// "de-DE" or "zh-Hans-CN". On macOS they come from the user's global language
// list; elsewhere from the locale environment. Tests may replace the answer.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace Languages {

std::vector<std::string> preferred();
void setForTesting(std::optional<std::vector<std::string>> languages);

// The languages named by the locale variables: every entry of LANGUAGE (a
// colon-separated list), then the locale of the first set one of LC_ALL,
// LC_MESSAGES and LANG. Codeset and modifier are dropped and "_" becomes "-"
// ("pt_BR.UTF-8" gives "pt-BR"); "C" and "POSIX" name no language; each
// language appears once.
std::vector<std::string> fromLocaleVariables(std::string_view language, std::string_view lcAll,
                                             std::string_view lcMessages, std::string_view lang);

}  // namespace Languages
