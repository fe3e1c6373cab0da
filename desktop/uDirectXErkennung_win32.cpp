#include "desktop/uDirectXErkennung.h"

#include "desktop/DDraw.h"

namespace {
template <class T> struct Released {
    T* p = nullptr;
    ~Released() {
        if (p) p->Release();
    }
};
} // namespace

// Asks as an ordinary windowed caller would: no cooperative level is set.
// Without the library, the entry point or IDirectDraw7 (DirectX before 7)
// nothing can hold the display through DirectDraw, so the answer is 0 and
// the wallpaper changes: a missing component must not stop it for good.
std::int32_t ProbeExclusiveMode() {
    const TDirectDrawCreate create = DDraw().DirectDrawCreate;
    if (!create) return 0;
    Released<IDirectDraw7> dd7;
    {
        Released<IDirectDraw> dd;
        if (FAILED(create(nullptr, &dd.p, nullptr)) || !dd.p) return 0;
        if (FAILED(dd.p->QueryInterface(kIID_IDirectDraw7, reinterpret_cast<void**>(&dd7.p))))
            dd7.p = nullptr;
    }
    if (!dd7.p) return 0;
    return static_cast<std::int32_t>(dd7.p->TestCooperativeLevel());
}
