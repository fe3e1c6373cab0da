#pragma once
// Whether another program holds the display (a full-screen game or video):
// the wallpaper is then left alone.
#include <cstdint>
#include <optional>

// 0 when the wallpaper may be changed; any other value means it must not be.
std::int32_t ExclusiveModeActive();

// Tests force an answer; nullopt asks the display again.
void SetExclusiveModeForTesting(std::optional<std::int32_t> result);

// The platform's probe (uDirectXErkennung_<platform>.cpp).
std::int32_t ProbeExclusiveMode();

#ifdef _WIN32
#include "desktop/DXCommon.h"
// Tests put a fake in place of the shell's SHQueryUserNotificationState;
// nullopt gives the shell's own back.
void SetNotificationStateQueryForTesting(std::optional<TSHQueryUserNotificationState> query);
#endif
