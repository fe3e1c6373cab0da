#include "config/uOptionen.h"
#include "platform/Platform.h"
#include "tests/support/TestSupport.h"
#include "ui/SelectionSets.h"

#include <gtest/gtest.h>

#include <set>
#include <sys/stat.h>

using namespace testsupport;

// Where the INI, ".aw" and BMP live: beside a portable copy, in the user's
// XDG folders for an installed one whose folder the user cannot write.
class ProgramFolderTest : public SandboxTest {
  protected:
    ProgramFolderTest() { ForgetProgramFolderForTesting(); }
    ~ProgramFolderTest() override {
        fs::permissions(tmp_ / "bin", fs::perms::owner_all);
        ForgetProgramFolderForTesting();
    }
    void MakeBinReadOnly() { fs::permissions(tmp_ / "bin", fs::perms::owner_read | fs::perms::owner_exec); }
    std::set<std::string> BinFiles() const {
        std::set<std::string> names;
        for (auto& e : fs::directory_iterator(tmp_ / "bin"))
            names.insert(e.path().filename().string());
        return names;
    }
    static int Mode(const fs::path& p) {
        struct stat st {};
        return stat(p.c_str(), &st) == 0 ? static_cast<int>(st.st_mode & 07777) : -1;
    }
};

TEST_F(ProgramFolderTest, WritableFolderKeepsEveryFileBesideTheExecutable) {
    EXPECT_EQ(ProgramFilePath(".ini"), IniPath());
    EXPECT_EQ(ProgramFilePath(".aw"), (tmp_ / "bin" / "ulbrasen.aw").string());
    EXPECT_EQ(ProgramFilePath(".bmp"), (tmp_ / "bin" / "ulbrasen.bmp").string());
    EXPECT_FALSE(fs::exists(Home() / ".config" / "ulbrasen"));
    EXPECT_FALSE(fs::exists(Home() / ".local" / "share" / "ulbrasen"));
}

TEST_F(ProgramFolderTest, ReadOnlyFolderUsesTheDefaultUserFoldersAndCreatesThemPrivate) {
    MakeBinReadOnly();
    PermissionChecksOn checks;
    const fs::path config = Home() / ".config" / "ulbrasen";
    const fs::path data = Home() / ".local" / "share" / "ulbrasen";
    EXPECT_EQ(ProgramFilePath(".ini"), (config / "ulbrasen.ini").string());
    EXPECT_EQ(ProgramFilePath(".aw"), (config / "ulbrasen.aw").string());
    EXPECT_EQ(ProgramFilePath(".bmp"), (data / "ulbrasen.bmp").string());
    EXPECT_EQ(Mode(config), 0700);
    EXPECT_EQ(Mode(data), 0700);
    EXPECT_EQ(Mode(Home() / ".local"), 0700);
}

TEST_F(ProgramFolderTest, XdgVariablesCountOnlyWithAnAbsolutePath) {
    ScopedEnv config("XDG_CONFIG_HOME", (tmp_ / "cfg/").string());
    ScopedEnv data("XDG_DATA_HOME", "relative/data");
    MakeBinReadOnly();
    PermissionChecksOn checks;
    EXPECT_EQ(ProgramFilePath(".ini"), (tmp_ / "cfg" / "ulbrasen" / "ulbrasen.ini").string());
    EXPECT_EQ(ProgramFilePath(".bmp"), (Home() / ".local" / "share" / "ulbrasen" / "ulbrasen.bmp").string());
    EXPECT_TRUE(fs::is_directory(tmp_ / "cfg" / "ulbrasen"));
    EXPECT_FALSE(fs::exists("relative"));
}

TEST_F(ProgramFolderTest, ReadOnlyFolderThatHoldsTheIniStaysPortable) {
    WriteIni("[Optionen]\nFirst=0\n");
    MakeBinReadOnly();
    PermissionChecksOn checks;
    EXPECT_EQ(ProgramFilePath(".ini"), IniPath());
    EXPECT_EQ(ProgramFilePath(".bmp"), (tmp_ / "bin" / "ulbrasen.bmp").string());
    EXPECT_FALSE(fs::exists(Home() / ".config" / "ulbrasen"));
}

TEST_F(ProgramFolderTest, RootRunningTheInstalledProgramWritesNothingIntoUsr) {
    // Root may write /usr/bin, and the test runs as root with its override
    // capabilities: the folder still counts as not the program's own.
    platform::SetExecutablePathForTesting("/usr/bin/ulbrasen");
    EXPECT_EQ(ProgramFilePath(".ini"), (Home() / ".config" / "ulbrasen" / "ulbrasen.ini").string());
    EXPECT_EQ(ProgramFilePath(".bmp"), (Home() / ".local" / "share" / "ulbrasen" / "ulbrasen.bmp").string());
    EXPECT_TRUE(platform::IsSystemProgramFolder("/usr/local/bin"));
    EXPECT_FALSE(platform::IsSystemProgramFolder("/usrlocal/bin"));
    EXPECT_FALSE(platform::IsSystemProgramFolder("/home/usr"));
}

TEST_F(ProgramFolderTest, WithoutAHomeTheFilesStayBesideTheExecutable) {
    ScopedEnv home("HOME", std::nullopt);
    MakeBinReadOnly();
    PermissionChecksOn checks;
    EXPECT_EQ(ProgramFilePath(".ini"), IniPath());
}

TEST_F(ProgramFolderTest, DecidedOnceAtStartAndAnewAtTheNextStart) {
    const fs::path userIni = Home() / ".config" / "ulbrasen" / "ulbrasen.ini";
    EXPECT_EQ(ProgramFilePath(".ini"), IniPath());
    MakeBinReadOnly();
    {
        PermissionChecksOn checks;
        // A running program does not move its files.
        EXPECT_EQ(ProgramFilePath(".ini"), IniPath());
        ForgetProgramFolderForTesting();
        EXPECT_EQ(ProgramFilePath(".ini"), userIni.string());
    }
    // The user puts an INI beside the executable: a portable copy again.
    fs::permissions(tmp_ / "bin", fs::perms::owner_all);
    WriteIni("[Optionen]\nFirst=0\n");
    MakeBinReadOnly();
    PermissionChecksOn checks;
    ForgetProgramFolderForTesting();
    EXPECT_EQ(ProgramFilePath(".ini"), IniPath());
}

TEST_F(ProgramFolderTest, InstalledCopyNeverWritesBesideItself) {
    MakeBinReadOnly();
    const std::set<std::string> before = BinFiles();
    PermissionChecksOn checks;
    {
        TOptionen o; // the first start: writes the INI and the launchers
        o.SetKachelTyp(1);
        o.AddDirectory((tmp_ / "Bilder").string(), false);
        ASSERT_TRUE(WriteSelectionFile(ProgramFilePath(".aw"), {"Urlaub"}));
    }
    const fs::path config = Home() / ".config" / "ulbrasen";
    const std::string ini = ReadAll(config / "ulbrasen.ini");
    EXPECT_NE(ini.find("First=0\n"), std::string::npos) << ini;
    EXPECT_NE(ini.find("KachelTyp=1\n"), std::string::npos) << ini;
    EXPECT_TRUE(fs::exists(config / "ulbrasen.aw"));
    TOptionen again;
    EXPECT_EQ(again.KachelTyp, 1);
    EXPECT_EQ(again.DirectoryCount(), 1);
    EXPECT_EQ(BinFiles(), before);
}
