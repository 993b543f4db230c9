#include "platform/shared_library.h"

#include <dlfcn.h>

namespace SharedLibrary {

std::string fileName(const std::string& name, int majorVersion) {
#ifdef __APPLE__
    return "lib" + name + "." + std::to_string(majorVersion) + ".dylib";
#else
    return "lib" + name + ".so." + std::to_string(majorVersion);
#endif
}

void* open(const std::string& fileName) { return ::dlopen(fileName.c_str(), RTLD_NOW | RTLD_LOCAL); }

std::string lastError() {
    const char* text = ::dlerror();
    return text ? text : "unknown error";
}

void* symbol(void* library, const char* name) { return library ? ::dlsym(library, name) : nullptr; }

}  // namespace SharedLibrary
