#include "desktop/uDirectXErkennung.h"

#include "desktop/DDraw.h"

namespace {
// QUERY_USER_NOTIFICATION_STATE values (shellapi.h) for a screen that is taken.
constexpr int kQunsBusy = 2;
constexpr int kQunsRunningD3dFullScreen = 3;
constexpr int kQunsPresentationMode = 4;

std::optional<TSHQueryUserNotificationState> g_forcedQuery;

TSHQueryUserNotificationState NotificationStateQuery() {
    if (g_forcedQuery) return *g_forcedQuery;
    static const TSHQueryUserNotificationState shell = [] {
        HMODULE lib = LoadLibraryA("shell32.dll");
        return lib ? reinterpret_cast<TSHQueryUserNotificationState>(
                         reinterpret_cast<void*>(GetProcAddress(lib, "SHQueryUserNotificationState")))
                   : nullptr;
    }();
    return shell;
}

// Today's full-screen games use Direct3D, which DirectDraw's cooperative
// level does not see; the shell knows them, and presentations too. The
// answer is the state itself, never 0 for a taken screen.
std::int32_t ProbeNotificationState() {
    const TSHQueryUserNotificationState query = NotificationStateQuery();
    int state = 0;
    if (!query || FAILED(query(&state))) return 0;
    return state == kQunsBusy || state == kQunsRunningD3dFullScreen || state == kQunsPresentationMode ? state
                                                                                                      : 0;
}

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
static std::int32_t ProbeDirectDraw() {
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

std::int32_t ProbeExclusiveMode() {
    const std::int32_t directDraw = ProbeDirectDraw();
    return directDraw != 0 ? directDraw : ProbeNotificationState();
}

void SetNotificationStateQueryForTesting(std::optional<TSHQueryUserNotificationState> query) {
    g_forcedQuery = query;
}
