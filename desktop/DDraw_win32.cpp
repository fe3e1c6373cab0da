#include "desktop/DDraw.h"

namespace {
TDDrawBinding g_binding;

template <class Fn> Fn Resolve(HMODULE lib, const char* name) {
    return lib ? reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(lib, name))) : nullptr;
}
} // namespace

void BindDirectDraw(const char* libraryName) {
    UnbindDirectDraw();
    HMODULE lib = LoadLibraryA(libraryName);
    g_binding.library = lib;
    g_binding.DirectDrawEnumerate = Resolve<TDirectDrawEnumerateA>(lib, "DirectDrawEnumerateA");
    g_binding.DirectDrawEnumerateW = Resolve<TDirectDrawEnumerateW>(lib, "DirectDrawEnumerateW");
    g_binding.DirectDrawEnumerateEx = Resolve<TDirectDrawEnumerateExA>(lib, "DirectDrawEnumerateExA");
    g_binding.DirectDrawEnumerateExW = Resolve<TDirectDrawEnumerateExW>(lib, "DirectDrawEnumerateExW");
    g_binding.DirectDrawCreate = Resolve<TDirectDrawCreate>(lib, "DirectDrawCreate");
    g_binding.DirectDrawCreateClipper = Resolve<TDirectDrawCreateClipper>(lib, "DirectDrawCreateClipper");
}

void UnbindDirectDraw() {
    if (g_binding.library) FreeLibrary(g_binding.library);
    g_binding = {};
}

const TDDrawBinding& DDraw() {
    return g_binding;
}
TDDrawBinding& DDrawForTesting() {
    return g_binding;
}
