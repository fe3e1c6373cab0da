#pragma once
// The run-time binding of "DDraw.dll", made once at program start: a system
// without DirectDraw still starts, and only the probe misses it.
#include "desktop/DXCommon.h"

struct TDDrawBinding {
    HMODULE library = nullptr;
    // The two names without suffix are the "A" variants.
    TDirectDrawEnumerateA DirectDrawEnumerate = nullptr;
    TDirectDrawEnumerateW DirectDrawEnumerateW = nullptr;
    TDirectDrawEnumerateExA DirectDrawEnumerateEx = nullptr;
    TDirectDrawEnumerateExW DirectDrawEnumerateExW = nullptr;
    TDirectDrawCreate DirectDrawCreate = nullptr;
    TDirectDrawCreateClipper DirectDrawCreateClipper = nullptr;
};

// Loads the library and resolves the six entry points; a missing library or
// name leaves the field empty. Binding again first releases the old binding.
void BindDirectDraw(const char* libraryName = "DDraw.dll");
void UnbindDirectDraw();
const TDDrawBinding& DDraw();
// Tests put a fake entry point in place of the real one.
TDDrawBinding& DDrawForTesting();
