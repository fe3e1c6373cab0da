#include "config/IniFile.h"
#include "compose/Graphics.h"
#include "config/uOptionen.h"
#include "platform/Platform.h"
#include "platform/Win32Text.h"
#include "tests/support/TestSupport.h"

#include <windows.h>
// <windows.h> maps DeleteFile to DeleteFileA; ours is platform::DeleteFile.
#undef DeleteFile

#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>

namespace {
using testsupport::ReadAll;
using testsupport::TempDir;
using testsupport::WriteAll;
namespace fs = std::filesystem;

std::string W(const TempDir& t, const std::string& rel) {
    return t.str() + "\\" + rel;
}

void SetAttributes(const std::string& path, DWORD attr) {
    ASSERT_TRUE(SetFileAttributesW(platform::Utf8ToWide(path).c_str(), attr)) << path;
}
} // namespace

TEST(Win32PlatformTest, ConstantsAndSystemQueries) {
    EXPECT_EQ(platform::kPathSeparator, '\\');
    EXPECT_TRUE(platform::kCatalogueLowercasesPaths);
    EXPECT_FALSE(platform::kListingNeedsSorting);
    EXPECT_STREQ(platform::kLineEnd, "\r\n");
    const std::string exe = platform::ExecutablePath();
    EXPECT_EQ(exe.substr(1, 2), ":\\") << exe;
    EXPECT_NE(LowerAscii(exe).find("win32_tests.exe"), std::string::npos) << exe;
    const platform::ScreenDims s = platform::ScreenSize();
    EXPECT_GT(s.width, 0);
    EXPECT_GT(s.height, 0);
    const int depth = platform::DisplayDepth();
    EXPECT_TRUE(depth == 8 || depth == 16 || depth == 24 || depth == 32) << depth;
    const char sep = platform::DecimalSeparator();
    EXPECT_TRUE(sep == '.' || sep == ',') << sep;
    EXPECT_FALSE(platform::LocaleShortDateFormat().empty());
}

TEST(Win32PlatformTest, UserFolderIsUlbrasenInTheRoamingAppData) {
    wchar_t appdata[MAX_PATH];
    ASSERT_EQ(GetEnvironmentVariableW(L"APPDATA", appdata, MAX_PATH) > 0, true);
    const std::string expected = platform::WideToUtf8(appdata) + "\\Ulbrasen";
    EXPECT_EQ(platform::UserFolderPath(platform::UserFolder::Config), expected);
    EXPECT_EQ(platform::UserFolderPath(platform::UserFolder::Data), expected);
}

TEST(Win32PlatformTest, FoldersAreCreatedWithTheirParentsAndProbedForWritingWithoutATrace) {
    TempDir t;
    const std::string nested = W(t, "a\\b\\c");
    EXPECT_FALSE(platform::DirectoryWritable(nested));
    EXPECT_TRUE(platform::CreateDirectories(nested));
    EXPECT_TRUE(platform::CreateDirectories(nested + "\\"));
    EXPECT_TRUE(platform::DirectoryWritable(nested));
    EXPECT_TRUE(fs::is_empty(fs::u8path(nested)));
    WriteAll(W(t, "datei"), "x");
    EXPECT_FALSE(platform::CreateDirectories(W(t, "datei\\unter")));
}

TEST(Win32PlatformTest, ListingTakesHiddenAndSystemEntriesAndTellsFoldersFromFiles) {
    TempDir t;
    WriteAll(W(t, "a.jpg"), "x");
    WriteAll(W(t, "versteckt.bmp"), "x");
    WriteAll(W(t, "system.gif"), "x");
    ASSERT_TRUE(CreateDirectoryW(platform::Utf8ToWide(W(t, "Unter")).c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryW(platform::Utf8ToWide(W(t, "HiddenDir")).c_str(), nullptr));
    SetAttributes(W(t, "versteckt.bmp"), FILE_ATTRIBUTE_HIDDEN);
    SetAttributes(W(t, "system.gif"), FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_READONLY);
    SetAttributes(W(t, "HiddenDir"),
                  FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);

    std::vector<platform::DirEntry> list;
    platform::DirIdentity id;
    ASSERT_TRUE(platform::ListDirectory(t.str() + "\\", list, &id));
    EXPECT_TRUE(id.valid);
    auto kind = [&](const std::string& n) {
        auto it = std::find_if(list.begin(), list.end(), [&](const auto& e) { return e.name == n; });
        return it == list.end() ? -1 : static_cast<int>(it->kind);
    };
    EXPECT_EQ(list.size(), 5u);
    EXPECT_EQ(kind("a.jpg"), static_cast<int>(platform::EntryKind::File));
    EXPECT_EQ(kind("versteckt.bmp"), static_cast<int>(platform::EntryKind::File));
    EXPECT_EQ(kind("system.gif"), static_cast<int>(platform::EntryKind::File));
    EXPECT_EQ(kind("Unter"), static_cast<int>(platform::EntryKind::Directory));
    EXPECT_EQ(kind("HiddenDir"), static_cast<int>(platform::EntryKind::Directory));
    EXPECT_EQ(kind("."), -1);

    // The same folder without its trailing backslash is the same folder.
    platform::DirIdentity again;
    ASSERT_TRUE(platform::ListDirectory(t.str(), list, &again));
    EXPECT_EQ(again, id);
    EXPECT_FALSE(platform::ListDirectory(W(t, "fehlt"), list, nullptr));
    EXPECT_FALSE(platform::ListDirectory(W(t, "a.jpg"), list, nullptr));
    SetAttributes(W(t, "system.gif"), FILE_ATTRIBUTE_NORMAL);
}

class Win32SandboxTest : public testsupport::SandboxTest {};

TEST_F(Win32SandboxTest, CatalogueLowerCasesOnlyAToZAndJoinsWithOneBackslash) {
    WriteIni("[Optionen]\r\nFirst=0\r\n");
    const std::string dir = (tmp_ / "Bilder").string();
    WriteAll(dir + "\\Foto.JPG", "x");
    WriteAll(fs::u8path(dir + "\\\xC3\x9C"
                              "ber.Jpeg"),
             "x"); // "Über.Jpeg"
    WriteAll(dir + "\\x.psd", "x");
    WriteAll(dir + "\\Unter\\B.gif", "x");
    TOptionen o;
    o.AddDirectory(dir, true);
    o.AddDirectory(dir + "\\", false);
    std::vector<std::string> cat;
    o.BuildCatalogue(cat);
    const std::string low = LowerAscii(dir);
    ASSERT_EQ(cat.size(), 5u);
    // The file system's order within a folder; the sub-folder comes after.
    std::vector<std::string> first(cat.begin(), cat.begin() + 2);
    std::sort(first.begin(), first.end());
    EXPECT_EQ(first, (std::vector<std::string>{low + "\\foto.jpg", low + "\\\xC3\x9C"
                                                                         "ber.jpeg"}));
    EXPECT_EQ(cat[2], low + "\\unter\\b.gif");
    std::vector<std::string> second(cat.begin() + 3, cat.end());
    std::sort(second.begin(), second.end());
    EXPECT_EQ(second, first);
}

TEST_F(Win32SandboxTest, IniTextIsInTheAnsiCodePageAndComesBackAsUtf8) {
    const std::string path = (tmp_ / "bin" / "umlaut.ini").string();
    const std::string value = "C:\\Bilder f\xC3\xBCr Oma"; // "für" in UTF-8
    TIniFile ini(path);
    ini.WriteString("Optionen", "Verz1", value);
    const std::string raw = ReadAll(path);
    EXPECT_NE(raw.find("\r\n"), std::string::npos);
    if (GetACP() == 1252) {
        EXPECT_NE(raw.find("f\xFCr Oma"), std::string::npos) << raw;
    }
    EXPECT_EQ(raw.find("\xC3\xBC"), std::string::npos) << raw;
    EXPECT_EQ(TIniFile(path).ReadString("Optionen", "Verz1", ""), value);
    EXPECT_EQ(platform::SystemTextToUtf8(platform::Utf8ToSystemText(value)), value);
}

TEST_F(Win32SandboxTest, AtomicReplacementGivesANewFileAndLeavesNothingOnFailure) {
    const std::string path = (tmp_ / "bin" / "Ulbrasen.ini").string();
    ASSERT_TRUE(platform::AtomicWriteFile(path, "alt"));
    const auto before = platform::StatFile(path);
    ASSERT_TRUE(before);
    ASSERT_TRUE(platform::AtomicWriteFile(path, "neu und l\xC3\xA4nger"));
    const auto after = platform::StatFile(path);
    ASSERT_TRUE(after);
    EXPECT_NE(*before, *after);
    EXPECT_EQ(after->size, std::string("neu und l\xC3\xA4nger").size());
    EXPECT_EQ(ReadAll(path), "neu und l\xC3\xA4nger");

    // Wine runs as root: a missing folder is what makes the write fail.
    EXPECT_FALSE(platform::AtomicWriteFile((tmp_ / "fehlt" / "x.ini").string(), "x"));
    EXPECT_FALSE(fs::exists(tmp_ / "fehlt"));
    std::size_t files = 0;
    for (const auto& e : fs::directory_iterator(tmp_ / "bin"))
        files += e.is_regular_file();
    EXPECT_EQ(files, 1u);
    std::string back;
    EXPECT_TRUE(platform::ReadFile(path, back));
    EXPECT_FALSE(platform::ReadFile(path, back, 3)) << "larger than the limit";
    EXPECT_TRUE(platform::DeleteFile(path));
    EXPECT_FALSE(platform::FileExists(path));
    EXPECT_FALSE(platform::DeleteFile(path));
}

TEST(Win32PlatformTest, LockNamesThePathAsTheFileSystemComparesIt) {
    // A named mutex belongs to a thread: a second thread waits like a second process.
    std::atomic<bool> second{false};
    std::thread other;
    {
        platform::InterProcessLock first("C:\\Programme\\Ulbrasen\\ULBRASEN.ini");
        ASSERT_TRUE(first.Held());
        other = std::thread([&] {
            platform::InterProcessLock same("c:/programme/ulbrasen/ulbrasen.INI");
            EXPECT_TRUE(same.Held());
            second = true;
        });
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        EXPECT_FALSE(second);
        // A lock of another file is free meanwhile.
        platform::InterProcessLock bmp("C:\\Programme\\Ulbrasen\\ulbrasen.bmp");
        EXPECT_TRUE(bmp.Held());
    }
    other.join();
    EXPECT_TRUE(second);
}
