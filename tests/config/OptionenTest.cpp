#include "config/Messages.h"
#include "config/uOptionen.h"
#include "desktop/uVerknuepfungen.h"
#include "platform/Platform.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <thread>
#include <unistd.h>

using namespace testsupport;

class OptionenTest : public SandboxTest {};

TEST_F(OptionenTest, FirstRunWritesTheWholeSectionWithDefaults) {
    {
        TOptionen o;
        EXPECT_FALSE(o.First);
        EXPECT_EQ(o.KachelMaxBreite, 250);
        EXPECT_EQ(o.KachelMaxHoehe, 250);
        EXPECT_EQ(o.GeometrieOKAb, 1.28);
        EXPECT_EQ(o.GeometrieOKBis, 1.38);
        EXPECT_EQ(o.MaxKillBorder, 5.0);
        EXPECT_TRUE(o.SetzeKacheleigenschaft);
        EXPECT_FALSE(o.Autowandlung_Kachelbild);
    }
    EXPECT_EQ(ReadAll(IniPath()), "[Optionen]\n"
                                  "AnzVerz=0\n"
                                  "First=0\n"
                                  "Autowandlung_Groesse=0\n"
                                  "Autowandlung_4zu3=0\n"
                                  "Autowandlung_Kachelbild=0\n"
                                  "Setze Kacheleigenschaft=1\n"
                                  "GeometrieOK ab=1.28\n"
                                  "GeometrieOK bis=1.38\n"
                                  "MaxKillBorder=5\n"
                                  "KachelTyp=0\n"
                                  "KachelBildbreite=0\n"
                                  "KachelBildhoehe=0\n"
                                  "KachelMaxHoehe=250\n"
                                  "KachelMaxBreite=250\n"
                                  "FesteBildHoehe=0\n"
                                  "FesteBildBreite=0\n"
                                  "Glaetten=1\n"
                                  "EigenesBildJeBildschirm=0\n");
}

TEST_F(OptionenTest, EveryKeyRoundTrips) {
    {
        TOptionen o;
        o.AddDirectory("/bilder/a", true);
        o.AddDirectory("/bilder/b b", false);
        o.SetDirectoryActive(1, false);
        o.SetAutowandlung_Groesse(true);
        o.SetAutowandlung_4zu3(true);
        o.SetGeometrieOKAb(1.25);
        o.SetGeometrieOKBis(1.5);
        o.SetMaxKillBorder(7.5);
        o.SetKachelMaxBreite(100);
        o.SetKachelMaxHoehe(90);
        o.SetFesteBildBreite(800);
        o.SetFesteBildHoehe(600);
        o.SetKachelBildbreite(640);
        o.SetKachelBildhoehe(480);
        o.SetKachelTyp(1);
        o.SetGlaetten(false);
        o.SetEigenesBildJeBildschirm(true);
    }
    const std::string written = ReadAll(IniPath());
    EXPECT_NE(written.find("AnzVerz=2\nVerz1=/bilder/a\nVerz1/Optionen=AR\nVerz2=/bilder/b b\nFirst=0\n"),
              std::string::npos)
        << written;
    TOptionen o;
    ASSERT_EQ(o.DirectoryCount(), 2);
    EXPECT_EQ(o.Verzeichnisse[0], "11/bilder/a");
    EXPECT_EQ(o.Verzeichnisse[1], "00/bilder/b b");
    EXPECT_TRUE(o.Autowandlung_Groesse);
    EXPECT_TRUE(o.Autowandlung_4zu3);
    EXPECT_EQ(o.GeometrieOKAb, 1.25);
    EXPECT_EQ(o.GeometrieOKBis, 1.5);
    EXPECT_EQ(o.MaxKillBorder, 7.5);
    EXPECT_EQ(o.KachelMaxBreite, 100);
    EXPECT_EQ(o.KachelMaxHoehe, 90);
    EXPECT_EQ(o.FesteBildBreite, 800);
    EXPECT_EQ(o.FesteBildHoehe, 600);
    EXPECT_EQ(o.KachelBildbreite, 640);
    EXPECT_EQ(o.KachelBildhoehe, 480);
    EXPECT_EQ(o.KachelTyp, 1);
    EXPECT_FALSE(o.Glaetten);
    EXPECT_TRUE(o.EigenesBildJeBildschirm);
    EXPECT_NE(written.find("FesteBildBreite=800\nGlaetten=0\nEigenesBildJeBildschirm=1\n"), std::string::npos) << written;
    EXPECT_EQ(ReadAll(IniPath()), written) << "loading alone must not rewrite the file";
}

TEST_F(OptionenTest, FlagKeysAndGaps) {
    WriteIni("[Optionen]\nAnzVerz=4\nVerz1=\nVerz2=/zwei\nVerz2/Optionen=R\nVerz3=/drei\nVerz4=/vier\n"
             "Verz4/Optionen=aRA\nFirst=0\n");
    TOptionen o;
    ASSERT_EQ(o.DirectoryCount(), 3);
    EXPECT_EQ(o.Verzeichnisse[0], "01/zwei");
    EXPECT_EQ(o.Verzeichnisse[1], "00/drei");
    EXPECT_EQ(o.Verzeichnisse[2], "11/vier");
    o.SaveSettings();
    const std::string s = ReadAll(IniPath());
    EXPECT_NE(
        s.find("AnzVerz=3\nVerz1=/zwei\nVerz1/Optionen=R\nVerz2=/drei\nVerz3=/vier\nVerz3/Optionen=AR\n"),
        std::string::npos)
        << s;
}

// Entries are read in number order whatever their order in the file, keys
// match without regard to case, a number with a leading zero or beyond the
// count names no entry, and a huge count costs nothing.
TEST_F(OptionenTest, EntriesComeInNumberOrderUpToTheCount) {
    WriteIni("[Optionen]\nAnzVerz=2147483647\nVerz10=/zehn\nverz2=/zwei\nVERZ1=/eins\nVerz03=/null-drei\n"
             "Verz 4=/leer\nVerz99999999999=/zu-gross\nFirst=0\n");
    TOptionen o;
    ASSERT_EQ(o.DirectoryCount(), 3);
    EXPECT_EQ(o.GetDirectoryPath(0), "/eins");
    EXPECT_EQ(o.GetDirectoryPath(1), "/zwei");
    EXPECT_EQ(o.GetDirectoryPath(2), "/zehn");
    WriteIni("[Optionen]\nAnzVerz=2\nVerz3=/drei\nVerz2=/zwei\nFirst=0\n");
    TOptionen two;
    ASSERT_EQ(two.DirectoryCount(), 1);
    EXPECT_EQ(two.GetDirectoryPath(0), "/zwei");
}

TEST_F(OptionenTest, BooleansAreTrueOnlyForOne) {
    WriteIni("[Optionen]\nFirst=2\nAutowandlung_Groesse=-1\nAutowandlung_4zu3=1\n");
    TOptionen o;
    EXPECT_FALSE(o.First);
    EXPECT_FALSE(o.Autowandlung_Groesse);
    EXPECT_TRUE(o.Autowandlung_4zu3);
    EXPECT_FALSE(fs::exists(AutostartDir())) << "First=2 is no first run";
    o.SaveSettings();
    EXPECT_NE(ReadAll(IniPath()).find("First=0\nAutowandlung_Groesse=0\nAutowandlung_4zu3=1\n"),
              std::string::npos);
}

TEST_F(OptionenTest, SetterWithTheSameValueWritesNothing) {
    WriteIni("[Optionen]\nFirst=0\n");
    TOptionen o;
    const auto before = fs::last_write_time(IniPath());
    const std::string content = ReadAll(IniPath());
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    o.SetKachelMaxBreite(250);
    o.SetGeometrieOKAb(1.28);
    o.SetAutowandlung_4zu3(false);
    EXPECT_EQ(fs::last_write_time(IniPath()), before);
    EXPECT_EQ(ReadAll(IniPath()), content);
    o.SetKachelMaxBreite(251);
    EXPECT_NE(ReadAll(IniPath()), content);
}

TEST_F(OptionenTest, GermanSeparatorWrittenEnglishReaderFallsBack) {
    WriteIni("[Optionen]\nFirst=0\n");
    platform::SetDecimalSeparatorForTesting(',');
    {
        TOptionen o;
        o.SetGeometrieOKAb(1.3);
    }
    EXPECT_NE(ReadAll(IniPath()).find("GeometrieOK ab=1,3\n"), std::string::npos);
    platform::SetDecimalSeparatorForTesting('.');
    TOptionen o;
    EXPECT_EQ(o.GeometrieOKAb, 1.28);
}

TEST_F(OptionenTest, SectionIsRewrittenWholeOtherSectionsSurvive) {
    WriteIni("[Fremd]\nbleibt=ja\n[Optionen]\nFirst=0\nvon Hand=1\n");
    TOptionen o;
    o.SetKachelTyp(1);
    const std::string s = ReadAll(IniPath());
    EXPECT_EQ(s.find("von Hand"), std::string::npos);
    EXPECT_EQ(s.rfind("[Fremd]\nbleibt=ja\n[Optionen]\n", 0), 0u);
}

TEST_F(OptionenTest, WhileLoadingNothingIsWritten) {
    WriteIni("[Optionen]\nFirst=0\n");
    TOptionen o;
    fs::remove(IniPath());
    o.Loading = true;
    o.AddDirectory("/x", true);
    o.SetKachelTyp(1);
    o.SetDirectoryActive(0, false);
    EXPECT_FALSE(fs::exists(IniPath()));
    o.Loading = false;
    o.SaveSettings();
    EXPECT_TRUE(fs::exists(IniPath()));
}

TEST_F(OptionenTest, IsTileSizeIsStrictInBothDirections) {
    WriteIni("[Optionen]\nFirst=0\n");
    TOptionen o;
    EXPECT_TRUE(o.IsTileSize(249, 249));
    EXPECT_FALSE(o.IsTileSize(250, 10));
    EXPECT_FALSE(o.IsTileSize(10, 250));
    o.SetKachelMaxHoehe(100);
    EXPECT_FALSE(o.IsTileSize(200, 150));
    EXPECT_TRUE(o.IsTileSize(150, 90));
}

TEST_F(OptionenTest, FailedSaveKeepsTheOldFileAndTheNewValueInMemory) {
    WriteIni("[Optionen]\nFirst=0\nKachelTyp=0\n");
    TOptionen o;
    const std::string before = ReadAll(IniPath());
    fs::permissions(tmp_ / "bin", fs::perms::owner_read | fs::perms::owner_exec);
    {
        PermissionChecksOn checks;
        try {
            o.SetKachelTyp(1);
            FAIL() << "no error";
        } catch (const ZenksError& e) {
            EXPECT_EQ(std::string(e.what()), "nach " + IniPath() + " kann nicht geschrieben werden");
        }
    }
    fs::permissions(tmp_ / "bin", fs::perms::owner_all);
    EXPECT_EQ(o.KachelTyp, 1);
    EXPECT_EQ(ReadAll(IniPath()), before);
    for (auto& e : fs::directory_iterator(tmp_ / "bin"))
        EXPECT_TRUE(e.path().filename() == "ulbrasen.ini") << "left behind: " << e.path();
}

TEST_F(OptionenTest, FirstRunCreatesTheThreeShortcuts) {
    { TOptionen o; }
    EXPECT_TRUE(fs::exists(AutostartDir() / "Hintergrundbild wechseln.desktop"));
    EXPECT_TRUE(fs::exists(DesktopDir() / "Hintergrundbild wechseln.desktop"));
    EXPECT_FALSE(fs::exists(DesktopDir() / "Hintergrundbildwechsler konfigurieren.desktop"));
    EXPECT_TRUE(fs::exists(ProgramsDir() / "Hintergrundbildwechsler konfigurieren.desktop"));
    EXPECT_FALSE(fs::exists(ProgramsDir() / "Hintergrundbild wechseln.desktop"));
    TOptionen again;
    EXPECT_TRUE(again.Autostart);
    EXPECT_EQ(again.VerknuepfungsModus[1], 2);
    EXPECT_EQ(again.VerknuepfungsModus[2], 1);
    EXPECT_EQ(again.VerknuepfungsOrdner[1], DesktopDir().string() + "/");
}

TEST_F(OptionenTest, FirstRunWithAnExistingShortcutAddsNone) {
    WriteAll(DesktopDir() / "Hintergrundbild wechseln.desktop", "fremd");
    {
        TOptionen o;
        EXPECT_EQ(o.VerknuepfungsModus[1], 2);
    }
    EXPECT_FALSE(fs::exists(AutostartDir()));
    EXPECT_FALSE(fs::exists(ProgramsDir()));
    EXPECT_EQ(ReadAll(DesktopDir() / "Hintergrundbild wechseln.desktop"), "fremd");
    EXPECT_NE(ReadAll(IniPath()).find("First=0"), std::string::npos);
}

TEST_F(OptionenTest, FirstRunWithOnlyTheAutostartLinkAddsNone) {
    WriteAll(AutostartDir() / "Hintergrundbild wechseln.desktop", "x");
    { TOptionen o; }
    EXPECT_FALSE(fs::exists(DesktopDir()));
    EXPECT_NE(ReadAll(IniPath()).find("First=0"), std::string::npos);
}

TEST_F(OptionenTest, ExecutableWithoutExtensionGetsIniAppended) {
    EXPECT_EQ(ChangeFileExt("/opt/x/ulbrasen", ".ini"), "/opt/x/ulbrasen.ini");
    EXPECT_EQ(ChangeFileExt("/opt/x.d/ulbrasen", ".ini"), "/opt/x.d/ulbrasen.ini");
    EXPECT_EQ(ChangeFileExt("/opt/x/Ulbrasen.exe", ".bmp"), "/opt/x/Ulbrasen.bmp");
}
