#pragma once
// System libraries opened at their first use rather than at the program's
// start: the decoders of rarer formats and GIO pull in a dozen libraries
// whose loading would otherwise slow every "/run". Linux only
// (SharedLibrary_linux.cpp): Windows decodes those formats through WIC.
#include <string>

namespace platform {

// Opens the library by its file name (its soname) and keeps it open for the
// rest of the process; null when the system has no such library.
void* OpenSharedLibrary(const std::string& fileName);
// The library's function called name; null when it has none.
void* SharedLibraryFunction(void* library, const char* name);

} // namespace platform
