#pragma once
// Loading a system library when it is first needed rather than when the
// program starts, for libraries only a few commands use.
#include <string>

namespace SharedLibrary {

// The file name the system loader knows a library by, from its short name and
// major version: "curl", 4 gives libcurl.so.4 (libcurl.4.dylib on macOS).
std::string fileName(const std::string& name, int majorVersion);

// Loads the library (once; later calls find it loaded) and returns its handle,
// or nullptr when the system has no such library. It stays loaded.
void* open(const std::string& fileName);

// Why the last open() or symbol() on this thread failed, in the loader's words.
std::string lastError();

// The address of a symbol of a loaded library; nullptr when it has none.
void* symbol(void* library, const char* name);

}  // namespace SharedLibrary
