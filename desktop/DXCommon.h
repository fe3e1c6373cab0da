#pragma once
// Declarations shared by the DirectDraw binding and the probe: the signatures
// of the six bound entry points and the interface the probe asks for.
#include <windows.h>
#include <ddraw.h>

using TDirectDrawEnumerateA = HRESULT(WINAPI*)(LPDDENUMCALLBACKA, LPVOID);
using TDirectDrawEnumerateW = HRESULT(WINAPI*)(LPDDENUMCALLBACKW, LPVOID);
using TDirectDrawEnumerateExA = HRESULT(WINAPI*)(LPDDENUMCALLBACKEXA, LPVOID, DWORD);
using TDirectDrawEnumerateExW = HRESULT(WINAPI*)(LPDDENUMCALLBACKEXW, LPVOID, DWORD);
using TDirectDrawCreate = HRESULT(WINAPI*)(GUID*, LPDIRECTDRAW*, IUnknown*);
using TDirectDrawCreateClipper = HRESULT(WINAPI*)(DWORD, LPDIRECTDRAWCLIPPER*, IUnknown*);

// {9C59509A-39BD-11D1-8C4A-00C04FD930C5}
inline constexpr GUID kIID_IDirectDraw7 = {
    0x9c59509a, 0x39bd, 0x11d1, {0x8c, 0x4a, 0x00, 0xc0, 0x4f, 0xd9, 0x30, 0xc5}};

// The shell's SHQueryUserNotificationState (Vista and later), bound at run
// time; the int receives a QUERY_USER_NOTIFICATION_STATE value.
using TSHQueryUserNotificationState = HRESULT(WINAPI*)(int*);
