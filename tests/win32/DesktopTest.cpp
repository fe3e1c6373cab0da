#include "config/Messages.h"
#include "desktop/DDraw.h"
#include "desktop/Win32Desktop.h"
#include "desktop/uDirectXErkennung.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <array>
#include <string>

namespace {
std::string ReadDesktopValue(HKEY root, const char* name) {
    char buf[1024] = {};
    DWORD size = sizeof buf - 1, type = 0;
    HKEY key = nullptr;
    if (RegOpenKeyExA(root, "Control Panel\\desktop", 0, KEY_READ, &key) != ERROR_SUCCESS) return "<no key>";
    const LONG rc = RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(buf), &size);
    RegCloseKey(key);
    if (rc != ERROR_SUCCESS) return "<no value>";
    return type == REG_SZ ? std::string(buf) : "<not REG_SZ>";
}

// HKEY_CURRENT_USER pointed at an empty scratch key for the test's duration.
class ScratchCurrentUser {
  public:
    ScratchCurrentUser() {
        RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\ZenksTest\\Scratch", 0, nullptr, 0, KEY_ALL_ACCESS,
                        nullptr, &key_, nullptr);
        ok_ = key_ && RegOverridePredefKey(HKEY_CURRENT_USER, key_) == ERROR_SUCCESS;
    }
    ~ScratchCurrentUser() {
        RegOverridePredefKey(HKEY_CURRENT_USER, nullptr);
        if (key_) RegCloseKey(key_);
        RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\ZenksTest");
    }
    bool ok() const { return ok_; }

  private:
    HKEY key_ = nullptr;
    bool ok_ = false;
};
} // namespace

TEST(TileWallpaperTest, WrittenAsOneOrZeroString) {
    ASSERT_TRUE(WriteTileWallpaper(true));
    EXPECT_EQ(ReadDesktopValue(HKEY_CURRENT_USER, "TileWallpaper"), "1");
    ASSERT_TRUE(WriteTileWallpaper(false));
    EXPECT_EQ(ReadDesktopValue(HKEY_CURRENT_USER, "TileWallpaper"), "0");
}

TEST(TileWallpaperTest, MissingKeyIsNotCreated) {
    ScratchCurrentUser scratch;
    ASSERT_TRUE(scratch.ok());
    EXPECT_FALSE(WriteTileWallpaper(true));
    EXPECT_EQ(ReadDesktopValue(HKEY_CURRENT_USER, "TileWallpaper"), "<no key>");
}

TEST(DeskWallpaperTest, TheFileBecomesTheWallpaperSetting) {
    SetDeskWallpaper("C:\\windows\\Ulbrasen.bmp");
    EXPECT_EQ(ReadDesktopValue(HKEY_CURRENT_USER, "Wallpaper"), "C:\\windows\\Ulbrasen.bmp");
}

namespace {
// A DirectDraw stand-in: the probe calls QueryInterface and Release on the
// object and TestCooperativeLevel and Release on the IDirectDraw7 interface.
struct FakeState {
    int objectRefs = 0;
    int dd7Refs = 0;
    bool offerDD7 = true;
    HRESULT cooperative = DD_OK;
    bool queriedRightIid = false;
};
FakeState g_fake;

struct FakeCom {
    void** vtbl;
};
HRESULT STDMETHODCALLTYPE Unexpected(void*) {
    return E_NOTIMPL;
}

std::array<void*, 40> g_ddVtbl, g_dd7Vtbl;
FakeCom g_dd{g_ddVtbl.data()}, g_dd7{g_dd7Vtbl.data()};

HRESULT STDMETHODCALLTYPE DdQueryInterface(void*, REFIID iid, void** out) {
    g_fake.queriedRightIid = IsEqualGUID(iid, kIID_IDirectDraw7);
    if (!g_fake.offerDD7) {
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ++g_fake.dd7Refs;
    *out = &g_dd7;
    return S_OK;
}
ULONG STDMETHODCALLTYPE DdRelease(void*) {
    return static_cast<ULONG>(--g_fake.objectRefs);
}
ULONG STDMETHODCALLTYPE Dd7Release(void*) {
    return static_cast<ULONG>(--g_fake.dd7Refs);
}
HRESULT STDMETHODCALLTYPE Dd7TestCooperativeLevel(void*) {
    return g_fake.cooperative;
}

HRESULT WINAPI FakeCreate(GUID* driver, LPDIRECTDRAW* out, IUnknown* outer) {
    if (driver || outer) return E_INVALIDARG;
    ++g_fake.objectRefs;
    *out = reinterpret_cast<LPDIRECTDRAW>(&g_dd);
    return DD_OK;
}
HRESULT WINAPI FailingCreate(GUID*, LPDIRECTDRAW*, IUnknown*) {
    return DDERR_NODIRECTDRAWSUPPORT;
}

class ProbeTest : public ::testing::Test {
  protected:
    ProbeTest() {
        g_fake = {};
        g_ddVtbl.fill(reinterpret_cast<void*>(&Unexpected));
        g_dd7Vtbl.fill(reinterpret_cast<void*>(&Unexpected));
        g_ddVtbl[0] = reinterpret_cast<void*>(&DdQueryInterface);
        g_ddVtbl[2] = reinterpret_cast<void*>(&DdRelease);
        g_dd7Vtbl[2] = reinterpret_cast<void*>(&Dd7Release);
        // IUnknown (3) + 23 methods of IDirectDraw7 before it.
        g_dd7Vtbl[26] = reinterpret_cast<void*>(&Dd7TestCooperativeLevel);
        BindDirectDraw();
    }
    ~ProbeTest() override { UnbindDirectDraw(); }
};
} // namespace

TEST_F(ProbeTest, WineBindsAllSixEntryPointsAndAnswersZero) {
    const TDDrawBinding& b = DDraw();
    ASSERT_NE(b.library, nullptr);
    EXPECT_NE(b.DirectDrawEnumerate, nullptr);
    EXPECT_NE(b.DirectDrawEnumerateW, nullptr);
    EXPECT_NE(b.DirectDrawEnumerateEx, nullptr);
    EXPECT_NE(b.DirectDrawEnumerateExW, nullptr);
    EXPECT_NE(b.DirectDrawCreate, nullptr);
    EXPECT_NE(b.DirectDrawCreateClipper, nullptr);
    EXPECT_EQ(ExclusiveModeActive(), 0);
}

TEST_F(ProbeTest, MissingLibraryOrEntryPointLetsTheChangeGoAhead) {
    BindDirectDraw("NoSuchDDraw.dll");
    EXPECT_EQ(DDraw().library, nullptr);
    EXPECT_EQ(DDraw().DirectDrawCreate, nullptr);
    EXPECT_EQ(ExclusiveModeActive(), 0);
    DDrawForTesting().DirectDrawCreate = &FailingCreate;
    EXPECT_EQ(ExclusiveModeActive(), 0);
}

TEST_F(ProbeTest, TheCooperativeLevelIsTheAnswerAndBothReferencesAreReleased) {
    DDrawForTesting().DirectDrawCreate = &FakeCreate;
    for (HRESULT hr : {DD_OK, DDERR_EXCLUSIVEMODEALREADYSET, DDERR_NOEXCLUSIVEMODE, HRESULT(1)}) {
        g_fake.cooperative = hr;
        EXPECT_EQ(ExclusiveModeActive(), static_cast<std::int32_t>(hr));
        EXPECT_TRUE(g_fake.queriedRightIid);
        EXPECT_EQ(g_fake.objectRefs, 0);
        EXPECT_EQ(g_fake.dd7Refs, 0);
    }
}

TEST_F(ProbeTest, WithoutDirectDraw7TheAnswerIsZeroAndTheObjectReleased) {
    DDrawForTesting().DirectDrawCreate = &FakeCreate;
    g_fake.offerDD7 = false;
    g_fake.cooperative = DDERR_EXCLUSIVEMODEALREADYSET;
    EXPECT_EQ(ExclusiveModeActive(), 0);
    EXPECT_EQ(g_fake.objectRefs, 0);
}

namespace {
int g_shellState = 0;
HRESULT g_shellResult = S_OK;
int g_shellCalls = 0;
HRESULT WINAPI FakeNotificationState(int* state) {
    ++g_shellCalls;
    *state = g_shellState;
    return g_shellResult;
}
} // namespace

// Direct3D full-screen games, presentations and "busy" are known to the shell only.
TEST_F(ProbeTest, TheShellsNotificationStateStopsTheChangeWhenTheScreenIsTaken) {
    DDrawForTesting().DirectDrawCreate = &FakeCreate;
    SetNotificationStateQueryForTesting(&FakeNotificationState);
    g_shellResult = S_OK;
    // QUNS_NOT_PRESENT, QUNS_ACCEPTS_NOTIFICATIONS, QUNS_QUIET_TIME, QUNS_APP.
    for (int state : {1, 5, 6, 7}) {
        g_shellState = state;
        EXPECT_EQ(ExclusiveModeActive(), 0) << state;
    }
    // QUNS_BUSY, QUNS_RUNNING_D3D_FULL_SCREEN, QUNS_PRESENTATION_MODE.
    for (int state : {2, 3, 4}) {
        g_shellState = state;
        EXPECT_NE(ExclusiveModeActive(), 0) << state;
    }
    // A failing query says nothing about the screen.
    g_shellResult = E_FAIL;
    EXPECT_EQ(ExclusiveModeActive(), 0);

    // DirectDraw's answer comes first; the shell is then not asked.
    g_shellResult = S_OK;
    g_shellCalls = 0;
    g_fake.cooperative = DDERR_EXCLUSIVEMODEALREADYSET;
    EXPECT_EQ(ExclusiveModeActive(), static_cast<std::int32_t>(DDERR_EXCLUSIVEMODEALREADYSET));
    EXPECT_EQ(g_shellCalls, 0);
    SetNotificationStateQueryForTesting(nullptr);
    EXPECT_EQ(ExclusiveModeActive(), static_cast<std::int32_t>(DDERR_EXCLUSIVEMODEALREADYSET));
    SetNotificationStateQueryForTesting(std::nullopt);
}
