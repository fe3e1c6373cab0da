#include "desktop/PlatformSession.h"

TPlatformSession::TPlatformSession() = default;
TPlatformSession::~TPlatformSession() = default;
