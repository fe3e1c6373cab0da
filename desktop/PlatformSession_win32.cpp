#include "desktop/PlatformSession.h"

#include "desktop/DDraw.h"

#include <objbase.h>

TPlatformSession::TPlatformSession() {
    BindDirectDraw();
    comInitialised_ = SUCCEEDED(CoInitialize(nullptr));
}

TPlatformSession::~TPlatformSession() {
    if (comInitialised_) CoUninitialize();
    UnbindDirectDraw();
}
