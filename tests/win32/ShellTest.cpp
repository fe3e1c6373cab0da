#include "compose/Graphics.h"
#include "desktop/uVerknuepfungen.h"
#include "platform/Platform.h"
#include "platform/Win32Text.h"
#include "tests/support/TestSupport.h"

#include <windows.h>
#include <objidl.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <thread>

namespace {
using testsupport::TempDir;

struct Link {
    std::string path, arguments, workingDirectory, description;
};

// Reads a link back through the ANSI interface, as another program would.
Link ReadLinkA(const std::string& file) {
    Link out;
    IShellLinkA* link = nullptr;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                reinterpret_cast<void**>(&link))))
        return out;
    IPersistFile* pf = nullptr;
    if (SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&pf)))) {
        if (SUCCEEDED(pf->Load(platform::Utf8ToWide(file).c_str(), STGM_READ))) {
            char buf[1024] = {};
            auto text = [&](std::string& into) {
                into = platform::WideToUtf8(platform::CodePageToWide(buf, CP_ACP));
            };
            if (SUCCEEDED(link->GetPath(buf, sizeof buf, nullptr, 0))) text(out.path);
            buf[0] = 0;
            if (SUCCEEDED(link->GetArguments(buf, sizeof buf))) text(out.arguments);
            buf[0] = 0;
            if (SUCCEEDED(link->GetWorkingDirectory(buf, sizeof buf))) text(out.workingDirectory);
            buf[0] = 0;
            if (SUCCEEDED(link->GetDescription(buf, sizeof buf))) text(out.description);
        }
        pf->Release();
    }
    link->Release();
    return out;
}

std::wstring ReadLinkPathW(const std::string& file) {
    IShellLinkW* link = nullptr;
    std::wstring out;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                reinterpret_cast<void**>(&link))))
        return out;
    IPersistFile* pf = nullptr;
    if (SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&pf)))) {
        wchar_t buf[1024] = {};
        // The item-id list holds the full Unicode path; Wine's stored text
        // path is ANSI only.
        LPITEMIDLIST pidl = nullptr;
        if (SUCCEEDED(pf->Load(platform::Utf8ToWide(file).c_str(), STGM_READ)) &&
            SUCCEEDED(link->GetIDList(&pidl)) && pidl) {
            if (SHGetPathFromIDListW(pidl, buf)) out = buf;
            CoTaskMemFree(pidl);
        }
        pf->Release();
    }
    link->Release();
    return out;
}

class ShellTest : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr))); }
    void TearDown() override { CoUninitialize(); }
    // A real executable for the links to point at.
    std::string MakeTarget(const std::string& folder) {
        const std::string exe = folder + "\\Ulbrasen.exe";
        testsupport::WriteAll(std::filesystem::u8path(exe), "MZ");
        return exe;
    }
    TempDir tmp_;
};
} // namespace

TEST_F(ShellTest, LinksReadBackWithTheirPathArgumentsFolderAndDescription) {
    const std::string dir = tmp_.str();
    const std::string exe = MakeTarget(dir);
    const std::string change = dir + "\\" + kChangeLinkName;
    const std::string config = dir + "\\" + kConfigLinkName;
    ASSERT_TRUE(CreateShellLink(exe, "/run", change, "Hintergrundbild wechseln"));
    ASSERT_TRUE(CreateShellLink(exe, "", config, "Hintergrundbildwechsler konfigurieren"));

    const Link c = ReadLinkA(change);
    EXPECT_EQ(LowerAscii(c.path), LowerAscii(exe));
    EXPECT_EQ(c.arguments, "/run");
    EXPECT_EQ(c.workingDirectory, dir);
    EXPECT_EQ(c.description, "Hintergrundbild wechseln");

    const Link k = ReadLinkA(config);
    EXPECT_EQ(LowerAscii(k.path), LowerAscii(exe));
    EXPECT_EQ(k.arguments, "");
    EXPECT_EQ(k.workingDirectory, dir);
    EXPECT_EQ(k.description, "Hintergrundbildwechsler konfigurieren");
    EXPECT_EQ(std::string(kChangeLinkName), "Hintergrundbild wechseln.lnk");
    EXPECT_EQ(std::string(kConfigLinkName), "Hintergrundbildwechsler konfigurieren.lnk");
}

TEST_F(ShellTest, FolderOutsideTheAnsiCodePageStillGivesAWorkingLink) {
    // Greek letters have no place in code page 1252.
    const std::string dir = tmp_.str() + "\\\xCE\xB1\xCE\xB2\xCE\xB3";
    ASSERT_TRUE(CreateDirectoryW(platform::Utf8ToWide(dir).c_str(), nullptr));
    const std::string exe = MakeTarget(dir);
    const std::string link = dir + "\\" + kChangeLinkName;
    ASSERT_TRUE(CreateShellLink(exe, "/run", link, "Hintergrundbild wechseln"));
    EXPECT_TRUE(platform::FileExists(link));
    EXPECT_EQ(LowerAscii(platform::WideToUtf8(ReadLinkPathW(link))), LowerAscii(exe));
}

TEST_F(ShellTest, WithoutComNoLinkIsWritten) {
    const std::string exe = MakeTarget(tmp_.str());
    const std::string link = tmp_.str() + "\\" + kChangeLinkName;
    bool result = true;
    // COM is initialised per thread; a fresh thread has none.
    std::thread([&] { result = CreateShellLink(exe, "/run", link, "Hintergrundbild wechseln"); }).join();
    EXPECT_FALSE(result);
    EXPECT_FALSE(platform::FileExists(link));
}

TEST(WorkingDirectoryTest, FolderWithoutBackslashButADriveRootKeepsIt) {
    EXPECT_EQ(WorkingDirectoryFor("C:\\Programme\\Ulbrasen\\Ulbrasen.exe"), "C:\\Programme\\Ulbrasen");
    EXPECT_EQ(WorkingDirectoryFor("C:\\Ulbrasen.exe"), "C:\\");
    EXPECT_EQ(WorkingDirectoryFor("\\\\server\\share\\Ulbrasen.exe"), "\\\\server\\share");
    EXPECT_EQ(WorkingDirectoryFor("Ulbrasen.exe"), "");
}

TEST(SpecialFolderTest, TheThreeFoldersExistAndEndInABackslash) {
    for (Csidl c : {Csidl::Startup, Csidl::DesktopDirectory, Csidl::Programs}) {
        const std::string f = GetSpecialFolder(c);
        ASSERT_FALSE(f.empty()) << static_cast<int>(c);
        EXPECT_EQ(f.back(), '\\');
        EXPECT_EQ(f.find("\\\\", 2), std::string::npos) << f;
        EXPECT_TRUE(platform::DirectoryExists(f)) << f;
    }
    EXPECT_NE(GetSpecialFolder(Csidl::Startup), GetSpecialFolder(Csidl::Programs));
    // A folder number the shell does not know gives an empty path.
    EXPECT_EQ(GetSpecialFolder(static_cast<Csidl>(0x7f)), "");
}
