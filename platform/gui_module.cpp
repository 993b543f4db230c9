#include "platform/gui_module.h"

#include <sys/stat.h>

#include "platform/resources.h"
#include "platform/shared_library.h"

namespace GuiModule {

std::vector<std::filesystem::path> candidates(const std::filesystem::path& executable) {
    const std::filesystem::path dir = executable.parent_path();
    return {dir / kFileName, dir.parent_path() / "lib" / "vessiltane" / kFileName};
}

Outcome run(const std::string& handler, int argc, char** argv) {
    Outcome out;
    auto executable = Resources::executablePath();
    if (!executable) {
        out.error = "cannot find the window's library: the system does not say where this program is";
        return out;
    }
    std::filesystem::path found;
    for (const auto& candidate : candidates(*executable)) {
        struct stat st {};
        if (::stat(candidate.c_str(), &st) == 0 && S_ISREG(st.st_mode)) {
            found = candidate;
            break;
        }
    }
    if (found.empty()) {
        out.error = std::string("cannot find the window's library ") + kFileName + " beside " +
                    executable->parent_path().native() + " or in its ../lib/vessiltane";
        return out;
    }
    void* library = SharedLibrary::open(found.native());
    if (!library) {
        out.error = "cannot load " + found.native() + ": " + SharedLibrary::lastError();
        return out;
    }
    auto entry = reinterpret_cast<Entry>(SharedLibrary::symbol(library, kEntryName));
    if (!entry) {
        out.error = found.native() + " is not this program's window library: " + SharedLibrary::lastError();
        return out;
    }
    int status = entry(handler.c_str(), argc, argv);
    if (status == kUnknownHandler) {
        out.error = found.native() + " has no handler \"" + handler + "\"; it belongs to another build";
        return out;
    }
    if (status == kNotConsumed) {
        out.kind = Outcome::Kind::notConsumed;
        return out;
    }
    out.kind = Outcome::Kind::consumed;
    out.status = status;
    return out;
}

}  // namespace GuiModule
