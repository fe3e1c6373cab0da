// Several monitors on Windows: IDesktopWallpaper where the class exists (a
// test double registered for its class id), else one tile of the virtual
// screen through the classic setting, which Wine has.
#include "compose/BmpWriter.h"
#include "compose/Graphics.h"
#include "desktop/DesktopWallpaper.h"
#include "desktop/Win32Desktop.h"
#include "platform/Win32Text.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <shobjidl.h>

#include <cstring>
#include <string>
#include <vector>

using namespace testsupport;

namespace {
const CLSID kClsid = {0xc2cf3110, 0x460e, 0x4fc1, {0xb9, 0xd0, 0x8a, 0x1c, 0x0c, 0x9c, 0xc4, 0xbd}};
const IID kIid = {0xb92b56a9, 0x8b55, 0x4e14, {0x9a, 0x89, 0x01, 0x99, 0xbb, 0xb6, 0xf9, 0x3b}};

std::string ReadDesktopValue(const char* name) {
    char buf[1024] = {};
    DWORD size = sizeof buf - 1, type = 0;
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, "Control Panel\\desktop", 0, KEY_READ, &key) != ERROR_SUCCESS)
        return "<no key>";
    const LONG rc = RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(buf), &size);
    RegCloseKey(key);
    return rc == ERROR_SUCCESS ? std::string(buf) : "<no value>";
}

// Three monitor paths, the third known but detached (no rectangle).
struct FakeWallpaper final : IDesktopWallpaper {
    std::vector<std::pair<std::wstring, std::wstring>> set;
    int position = -1;
    LONG refs = 1;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (IsEqualGUID(iid, IID_IUnknown) || IsEqualGUID(iid, kIid)) {
            *out = this;
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&refs)); }
    ULONG STDMETHODCALLTYPE Release() override { return static_cast<ULONG>(InterlockedDecrement(&refs)); }
    HRESULT STDMETHODCALLTYPE SetWallpaper(LPCWSTR id, LPCWSTR file) override {
        set.emplace_back(id, file);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetWallpaper(LPCWSTR, LPWSTR*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetMonitorDevicePathAt(UINT i, LPWSTR* id) override {
        static const wchar_t* const ids[] = {L"\\\\?\\RECHTS", L"\\\\?\\HAUPT", L"\\\\?\\AUS"};
        if (i >= 3) return E_INVALIDARG;
        const std::size_t bytes = (wcslen(ids[i]) + 1) * sizeof(wchar_t);
        *id = static_cast<LPWSTR>(CoTaskMemAlloc(bytes));
        std::memcpy(*id, ids[i], bytes);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetMonitorDevicePathCount(UINT* n) override {
        *n = 3;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetMonitorRECT(LPCWSTR id, RECT* r) override {
        if (std::wstring(id) == L"\\\\?\\RECHTS")
            *r = {1024, 0, 1824, 600};
        else if (std::wstring(id) == L"\\\\?\\HAUPT")
            *r = {0, 0, 1024, 768};
        else
            return E_FAIL;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE SetBackgroundColor(COLORREF) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE GetBackgroundColor(COLORREF*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetPosition(DESKTOP_WALLPAPER_POSITION p) override {
        position = p;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetPosition(DESKTOP_WALLPAPER_POSITION*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetSlideshow(IShellItemArray*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetSlideshow(IShellItemArray**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetSlideshowOptions(DESKTOP_SLIDESHOW_OPTIONS, UINT) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE GetSlideshowOptions(DESKTOP_SLIDESHOW_OPTIONS*, UINT*) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE AdvanceSlideshow(LPCWSTR, DESKTOP_SLIDESHOW_DIRECTION) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE GetStatus(DESKTOP_SLIDESHOW_STATE*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Enable(WINBOOL) override { return E_NOTIMPL; }
};

// Hands out the fake, or refuses like a system without the class.
struct Factory final : IClassFactory {
    FakeWallpaper* object = nullptr;
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (IsEqualGUID(iid, IID_IUnknown) || IsEqualGUID(iid, IID_IClassFactory)) {
            *out = this;
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown*, REFIID iid, void** out) override {
        if (!object) {
            *out = nullptr;
            return REGDB_E_CLASSNOTREG;
        }
        return object->QueryInterface(iid, out);
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }
};

class MonitorWallpaperTest : public ::testing::Test {
  protected:
    MonitorWallpaperTest() {
        CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        registered_ = SUCCEEDED(
            CoRegisterClassObject(kClsid, &factory_, CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE, &cookie_));
    }
    ~MonitorWallpaperTest() override {
        if (registered_) CoRevokeClassObject(cookie_);
        CoUninitialize();
    }
    std::string File(const char* name) { return (dir_ / name).string(); }

    TempDir dir_;
    Factory factory_;
    DWORD cookie_ = 0;
    bool registered_ = false;
};
} // namespace

TEST_F(MonitorWallpaperTest, EachMonitorGetsItsOwnFileThroughIDesktopWallpaper) {
    ASSERT_TRUE(registered_);
    FakeWallpaper fake;
    factory_.object = &fake;
    TBitmap a(1024, 768), b(800, 600);
    SetDesktopWallpapers({{{0, 0, 1024, 768, ""}, File("Ulbrasen.bmp"), &a, WallpaperStyle::Centred},
                          {{1024, 0, 800, 600, ""}, File("Ulbrasen-2.bmp"), &b, WallpaperStyle::Centred}});
    ASSERT_EQ(fake.set.size(), 2u);
    EXPECT_EQ(fake.set[0].first, L"\\\\?\\RECHTS");
    EXPECT_EQ(fake.set[0].second, platform::Utf8ToWide(File("Ulbrasen-2.bmp")));
    EXPECT_EQ(fake.set[1].first, L"\\\\?\\HAUPT");
    EXPECT_EQ(fake.set[1].second, platform::Utf8ToWide(File("Ulbrasen.bmp")));
    EXPECT_EQ(fake.position, DWPOS_CENTER);
    EXPECT_EQ(ReadDesktopValue("TileWallpaper"), "0");
    EXPECT_EQ(fake.refs, 1) << "the object was not released";
}

TEST_F(MonitorWallpaperTest, WithoutTheClassOneTileOfTheVirtualScreenIsSet) {
    ASSERT_TRUE(registered_);
    // A 4 x 3 primary and a 2 x 2 monitor left of it, one row lower.
    TBitmap a(4, 3), b(2, 2);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 4; ++x)
            a.ScanLine(y)[3 * x] = static_cast<std::uint8_t>(10 + x + 4 * y);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 2; ++x)
            b.ScanLine(y)[3 * x] = static_cast<std::uint8_t>(100 + x + 2 * y);
    SetDesktopWallpapers({{{0, 0, 4, 3, ""}, File("Ulbrasen.bmp"), &a, WallpaperStyle::Centred},
                          {{-2, 1, 2, 2, ""}, File("Ulbrasen-2.bmp"), &b, WallpaperStyle::Centred}});
    EXPECT_EQ(ReadDesktopValue("Wallpaper"), File("Ulbrasen-desktop.bmp"));
    EXPECT_EQ(ReadDesktopValue("TileWallpaper"), "1");
    TBitmap tile;
    tile.LoadFromData(ReadBytes(dir_ / "Ulbrasen-desktop.bmp"));
    ASSERT_EQ(tile.Width(), 6);
    ASSERT_EQ(tile.Height(), 3);
    // Tiled from the primary's corner: columns 0-3 the primary, 4-5 the left
    // monitor (desktop x -2 and -1); its rows 1 and 2, black in row 0.
    const int want[3][6] = {{10, 11, 12, 13, 0, 0}, {14, 15, 16, 17, 100, 101}, {18, 19, 20, 21, 102, 103}};
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 6; ++x)
            EXPECT_EQ(tile.ScanLine(y)[3 * x], want[y][x]) << x << "," << y;
}
