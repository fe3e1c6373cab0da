// The settings object saving a file that another process (the automatic
// change, a second window, a hand edit) stored since it was read: values it
// never showed stay, its own changes win, and the lock keeps writers apart.
#include "config/Messages.h"
#include "config/uOptionen.h"
#include "platform/Platform.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

using namespace testsupport;

namespace {
const std::string kS = "Optionen";
}

class SettingsMergeTest : public SandboxTest {
  protected:
    SettingsMergeTest() {
        WriteIni("[Optionen]\nAnzVerz=2\nVerz1=/eins\nVerz1/Optionen=A\nVerz2=/zwei\nFirst=0\n");
    }
    std::int32_t Disk(const std::string& key) const { return TIniFile(IniPath()).ReadInteger(kS, key, -1); }
};

TEST_F(SettingsMergeTest, ChangesStoredElsewhereSurviveAndAreTakenIntoMemory) {
    TOptionen window;
    {
        TOptionen other;
        other.SetKachelMaxBreite(300);
        other.DeleteDirectory(0);
        other.SetGeometrieOKAb(1.5);
    }
    window.SetKachelTyp(1);
    EXPECT_EQ(Disk("KachelTyp"), 1);
    EXPECT_EQ(Disk("KachelMaxBreite"), 300);
    EXPECT_EQ(Disk("AnzVerz"), 1);
    EXPECT_EQ(TIniFile(IniPath()).ReadString(kS, "Verz1", ""), "/zwei");
    EXPECT_EQ(TIniFile(IniPath()).ReadFloat(kS, "GeometrieOK ab", 0), 1.5);
    // Memory follows, so the next save cannot bring the old values back.
    EXPECT_EQ(window.KachelMaxBreite, 300);
    EXPECT_EQ(window.GeometrieOKAb, 1.5);
    ASSERT_EQ(window.DirectoryCount(), 1);
    window.SetKachelMaxHoehe(120);
    EXPECT_EQ(Disk("KachelMaxBreite"), 300);
    EXPECT_EQ(Disk("AnzVerz"), 1);
}

TEST_F(SettingsMergeTest, OwnChangeWinsOverTheSameKeyStoredElsewhere) {
    TOptionen window;
    TOptionen other;
    other.SetKachelMaxBreite(300);
    other.SetDirectoryActive(1, true);
    // The directory list is one unit: the window's own change of it wins whole.
    window.SetDirectoryRecursive(0, true);
    window.SetKachelMaxBreite(400);
    EXPECT_EQ(Disk("KachelMaxBreite"), 400);
    EXPECT_EQ(TIniFile(IniPath()).ReadString(kS, "Verz1/Optionen", ""), "AR");
    EXPECT_EQ(TIniFile(IniPath()).ReadString(kS, "Verz2/Optionen", ""), "");
}

TEST_F(SettingsMergeTest, HandEditKeepsFirstRunButUnreadableValuesAreWrittenAnew) {
    TOptionen window;
    // A hand edit asking for a first run again; "abc" reads as the default,
    // which the window holds already, so the window's form is written.
    WriteIni("[Optionen]\nAnzVerz=2\nVerz1=/eins\nVerz1/Optionen=A\nVerz2=/zwei\nFirst=1\n"
             "KachelTyp=7\nGeometrieOK ab=abc\nAutowandlung_4zu3=2\n");
    window.SetKachelMaxHoehe(100);
    EXPECT_EQ(Disk("First"), 1);
    EXPECT_EQ(Disk("KachelTyp"), 7);
    EXPECT_EQ(Disk("KachelMaxHoehe"), 100);
    EXPECT_EQ(Disk("Autowandlung_4zu3"), 0);
    EXPECT_EQ(TIniFile(IniPath()).ReadString(kS, "GeometrieOK ab", ""), "1.28");
    EXPECT_TRUE(window.First);
    {
        // The next construction runs the first-run steps and stores First = 0.
        TOptionen next;
        EXPECT_FALSE(next.First);
    }
    window.SetKachelMaxHoehe(101);
    EXPECT_EQ(Disk("First"), 0);
}

TEST_F(SettingsMergeTest, DeletedFileOrMissingKeysAreWrittenFromMemory) {
    TOptionen window;
    fs::remove(IniPath());
    window.SetKachelTyp(1);
    EXPECT_EQ(Disk("AnzVerz"), 2);
    EXPECT_EQ(Disk("First"), 0);
    EXPECT_EQ(Disk("KachelTyp"), 1);
    WriteIni("[Optionen]\nKachelMaxBreite=77\n");
    window.SetKachelTyp(0);
    EXPECT_EQ(Disk("AnzVerz"), 2);
    EXPECT_EQ(Disk("First"), 0);
    EXPECT_EQ(Disk("KachelMaxBreite"), 77);
}

TEST_F(SettingsMergeTest, ValueOfAFailedSaveIsStoredByTheNextOne) {
    TOptionen window;
    fs::permissions(tmp_ / "bin", fs::perms::owner_read | fs::perms::owner_exec);
    {
        PermissionChecksOn checks;
        EXPECT_THROW(window.SetKachelMaxBreite(300), ZenksError);
    }
    fs::permissions(tmp_ / "bin", fs::perms::owner_all);
    EXPECT_EQ(Disk("KachelMaxBreite"), -1);
    window.SetKachelTyp(1);
    EXPECT_EQ(Disk("KachelMaxBreite"), 300);
    EXPECT_EQ(Disk("KachelTyp"), 1);
}

TEST_F(SettingsMergeTest, LockExcludesAnotherHolderUntilReleased) {
    std::atomic<bool> second{false};
    std::thread other;
    {
        platform::InterProcessLock first(IniPath());
        ASSERT_TRUE(first.Held());
        other = std::thread([&] {
            platform::InterProcessLock lock(IniPath());
            EXPECT_TRUE(lock.Held());
            second = true;
        });
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        EXPECT_FALSE(second);
    }
    other.join();
    EXPECT_TRUE(second);
    // Nested locks of one INI accessor do not wait for themselves.
    TIniFile ini(IniPath());
    TIniFile::Lock outer(ini);
    ini.WriteInteger(kS, "KachelTyp", 1);
    EXPECT_EQ(ini.ReadInteger(kS, "KachelTyp", 0), 1);
}
