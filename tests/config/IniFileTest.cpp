#include "config/IniFile.h"
#include "config/Messages.h"
#include "platform/Platform.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

using namespace testsupport;

class IniFileTest : public ::testing::Test {
  protected:
    IniFileTest() { platform::SetDecimalSeparatorForTesting('.'); }
    ~IniFileTest() override { platform::SetDecimalSeparatorForTesting(std::nullopt); }
    TempDir dir;
    std::string path = (dir / "a.ini").string();
};

TEST_F(IniFileTest, MissingFileGivesDefaults) {
    TIniFile ini(path);
    EXPECT_EQ(ini.ReadString("Optionen", "x", "def"), "def");
    EXPECT_EQ(ini.ReadInteger("Optionen", "x", 7), 7);
    EXPECT_EQ(ini.ReadFloat("Optionen", "x", 1.5), 1.5);
    EXPECT_FALSE(fs::exists(path));
}

TEST_F(IniFileTest, SectionsAndKeysMatchWithoutRegardToCase) {
    WriteAll(path, "[OPTIONEN]\r\nAnzVerz = 3\r\nName=  Wert mit Leerzeichen  \r\n");
    TIniFile ini(path);
    EXPECT_EQ(ini.ReadInteger("Optionen", "anzverz", 0), 3);
    EXPECT_EQ(ini.ReadString("optionen", "NAME", ""), "Wert mit Leerzeichen");
}

TEST_F(IniFileTest, ReadsWindowsAndLinuxLineEnds) {
    WriteAll(path, "[A]\r\nx=1\r\n[B]\ny=2\n[C]\rz=3");
    TIniFile ini(path);
    EXPECT_EQ(ini.ReadInteger("A", "x", 0), 1);
    EXPECT_EQ(ini.ReadInteger("B", "y", 0), 2);
    EXPECT_EQ(ini.ReadInteger("C", "z", 0), 3);
}

TEST_F(IniFileTest, IntegersDecimalAndHexadecimal) {
    WriteAll(path, "[S]\na=0x10\nb=0X1f\nc=-12\nd=12a\ne=0x\nf=\ng=$10\n");
    TIniFile ini(path);
    EXPECT_EQ(ini.ReadInteger("S", "a", 0), 16);
    EXPECT_EQ(ini.ReadInteger("S", "b", 0), 31);
    EXPECT_EQ(ini.ReadInteger("S", "c", 0), -12);
    EXPECT_EQ(ini.ReadInteger("S", "d", 99), 99);
    EXPECT_EQ(ini.ReadInteger("S", "e", 99), 99);
    EXPECT_EQ(ini.ReadInteger("S", "f", 99), 99);
    EXPECT_EQ(ini.ReadInteger("S", "g", 0), 16);
}

TEST_F(IniFileTest, ValuesAreCutAt2047Characters) {
    WriteAll(path, "[S]\nlong=" + std::string(5000, 'x') + "\n");
    TIniFile ini(path);
    EXPECT_EQ(ini.ReadString("S", "long", "").size(), 2047u);
}

TEST_F(IniFileTest, WritesKeepOtherSectionsAndTheirOrder) {
    WriteAll(path, "[Erste]\na=1\n[Optionen]\nalt=1\n[Letzte]\nz=9\n");
    TIniFile ini(path);
    ini.WriteString("Optionen", "neu", "2");
    ini.WriteString("optionen", "ALT", "3");
    EXPECT_EQ(ReadAll(path), "[Erste]\na=1\n[Optionen]\nalt=3\nneu=2\n[Letzte]\nz=9\n");
}

TEST_F(IniFileTest, ReplaceSectionEqualsEraseThenWrites) {
    const std::string start = "[Optionen]\nvon Hand=1\nAnzVerz=9\n[Andere]\nk=v\n";
    WriteAll(path, start);
    TIniFile viaSteps(path);
    viaSteps.EraseSection("Optionen");
    viaSteps.WriteString("Optionen", "AnzVerz", "1");
    viaSteps.WriteString("Optionen", "Verz1", "/x");
    const std::string expected = ReadAll(path);
    EXPECT_EQ(expected, "[Andere]\nk=v\n[Optionen]\nAnzVerz=1\nVerz1=/x\n");

    WriteAll(path, start);
    TIniFile atOnce(path);
    atOnce.ReplaceSection("Optionen", {{"AnzVerz", "1"}, {"Verz1", "/x"}});
    EXPECT_EQ(ReadAll(path), expected);
}

TEST_F(IniFileTest, FloatsFollowTheDecimalSeparator) {
    TIniFile ini(path);
    platform::SetDecimalSeparatorForTesting(',');
    ini.WriteFloat("S", "f", 1.3);
    EXPECT_EQ(ini.ReadString("S", "f", ""), "1,3");
    EXPECT_EQ(ini.ReadFloat("S", "f", 0), 1.3);
    platform::SetDecimalSeparatorForTesting('.');
    EXPECT_EQ(ini.ReadFloat("S", "f", 1.28), 1.28);
}

#ifndef _WIN32 // Linux permissions; Wine runs as root and ignores them.
TEST_F(IniFileTest, UnwritableFolderRaisesTheGermanMessageAndKeepsTheFile) {
    fs::create_directories(dir / "ro");
    const std::string ro = (dir / "ro" / "x.ini").string();
    WriteAll(ro, "[Optionen]\nalt=1\n");
    fs::permissions(dir / "ro", fs::perms::owner_read | fs::perms::owner_exec);
    TIniFile ini(ro);
    PermissionChecksOn checks;
    ASSERT_NE(::faccessat(AT_FDCWD, (dir / "ro").c_str(), W_OK, AT_EACCESS), 0)
        << "the folder should not be writable";
    try {
        ini.ReplaceSection("Optionen", {{"neu", "1"}});
        FAIL() << "no error";
    } catch (const ZenksError& e) {
        EXPECT_EQ(std::string(e.what()), "nach " + ro + " kann nicht geschrieben werden");
    }
    EXPECT_EQ(ReadAll(ro), "[Optionen]\nalt=1\n");
    fs::permissions(dir / "ro", fs::perms::owner_all);
}
#endif

TEST_F(IniFileTest, MissingFolderRaisesTheGermanMessage) {
    const std::string missing = (dir / "nicht da" / "x.ini").string();
    TIniFile ini(missing);
    try {
        ini.WriteString("S", "k", "v");
        FAIL() << "no error";
    } catch (const ZenksError& e) {
        EXPECT_EQ(std::string(e.what()), "nach " + missing + " kann nicht geschrieben werden");
    }
}

TEST_F(IniFileTest, ValueWithLineBreakIsRefused) {
    WriteAll(path, "[Optionen]\nVerz1=/a\n");
    TIniFile ini(path);
    EXPECT_THROW(ini.ReplaceSection("Optionen", {{"Verz1", "/a\nFirst=1"}}), ZenksError);
    EXPECT_EQ(ReadAll(path), "[Optionen]\nVerz1=/a\n");
}

TEST_F(IniFileTest, SeesChangesMadeByAnotherWriter) {
    TIniFile ini(path);
    ini.WriteString("S", "k", "1");
    EXPECT_EQ(ini.ReadString("S", "k", ""), "1");
    TIniFile other(path);
    other.WriteString("S", "k", "2");
    EXPECT_EQ(ini.ReadString("S", "k", ""), "2");
}
