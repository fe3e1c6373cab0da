#include "desktop/Win32Desktop.h"

#include "config/Messages.h"
#include "platform/Win32Text.h"

#include <windows.h>

namespace {
const char* const kTileValue = "TileWallpaper";

struct RegKey {
    HKEY h = nullptr;
    ~RegKey() {
        if (h) RegCloseKey(h);
    }
};
} // namespace

bool WriteTileWallpaper(bool tile) {
    RegKey key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, "Control Panel\\desktop", 0, KEY_ALL_ACCESS, &key.h) !=
        ERROR_SUCCESS)
        return false;
    const char value[2] = {tile ? '1' : '0', '\0'};
    if (RegSetValueExA(key.h, kTileValue, 0, REG_SZ, reinterpret_cast<const BYTE*>(value), sizeof value) !=
        ERROR_SUCCESS)
        Throw(Msg::RegistrySetFailed, {std::string(kTileValue)});
    return true;
}

void SetDeskWallpaper(const std::string& bmpPath) {
    if (platform::FitsAnsiCodePage(bmpPath)) {
        std::string ansi = platform::WideToCodePage(platform::Utf8ToWide(bmpPath), CP_ACP);
        SystemParametersInfoA(SPI_SETDESKWALLPAPER, 0, ansi.data(), SPIF_UPDATEINIFILE);
        return;
    }
    // A folder outside the ANSI code page would reach the desktop as '?'.
    std::wstring wide = platform::Utf8ToWide(bmpPath);
    SystemParametersInfoW(SPI_SETDESKWALLPAPER, 0, wide.data(), SPIF_UPDATEINIFILE);
}
