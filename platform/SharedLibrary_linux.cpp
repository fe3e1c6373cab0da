#include "platform/SharedLibrary.h"

#include <dlfcn.h>

namespace platform {

void* OpenSharedLibrary(const std::string& fileName) {
    // Local: the library's names must not stand in for anyone else's.
    return dlopen(fileName.c_str(), RTLD_NOW | RTLD_LOCAL);
}

void* SharedLibraryFunction(void* library, const char* name) {
    return library ? dlsym(library, name) : nullptr;
}

} // namespace platform
