#include "support/compiled_locale.h"

#include <clocale>
#include <cstdlib>

#include "engine/admin.h"

namespace testing_support {

CompiledLocale::CompiledLocale(const std::filesystem::path& folder, const std::string& language) {
    std::filesystem::create_directories(folder);
    const std::string name = language + ".UTF-8";
    const auto made = Admin::run("localedef -c -i " + Admin::quote(language) + " -f UTF-8 " +
                                     Admin::quote((folder / name).native()),
                                 true);
    ::setenv("LOCPATH", folder.c_str(), 1);
    ::setenv("LC_ALL", name.c_str(), 1);
    active_ = std::setlocale(LC_ALL, name.c_str()) != nullptr;
    if (!active_) failure_ = "could not make the locale " + name + ": " + made.output;
}

CompiledLocale::~CompiledLocale() {
    std::setlocale(LC_ALL, "C");
    ::unsetenv("LC_ALL");
    ::unsetenv("LOCPATH");
}

}  // namespace testing_support
