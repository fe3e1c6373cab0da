#include "config/uOptionen.h"
#include "desktop/uVerknuepfungen.h"
#include "tests/desktop/DesktopEntryReader.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdio>
#include <thread>

using namespace testsupport;

class ShortcutsTest : public SandboxTest {
  protected:
    ShortcutsTest() { WriteIni("[Optionen]\nFirst=0\n"); }
};

TEST_F(ShortcutsTest, SpecialFoldersFollowTheXdgVariables) {
    EXPECT_EQ(GetSpecialFolder(Csidl::Startup), (Home() / ".config/autostart/").string());
    EXPECT_EQ(GetSpecialFolder(Csidl::DesktopDirectory), (Home() / "Desktop/").string());
    EXPECT_EQ(GetSpecialFolder(Csidl::Programs), (Home() / ".local/share/applications/").string());
    ScopedEnv config("XDG_CONFIG_HOME", (tmp_ / "cfg").string());
    ScopedEnv data("XDG_DATA_HOME", (tmp_ / "data").string());
    WriteAll(tmp_ / "cfg" / "user-dirs.dirs", "# comment\nXDG_DESKTOP_DIR=\"$HOME/Schreibtisch\"\n");
    EXPECT_EQ(GetSpecialFolder(Csidl::Startup), (tmp_ / "cfg/autostart/").string());
    EXPECT_EQ(GetSpecialFolder(Csidl::DesktopDirectory), (Home() / "Schreibtisch/").string());
    EXPECT_EQ(GetSpecialFolder(Csidl::Programs), (tmp_ / "data/applications/").string());
    ScopedEnv relative("XDG_DATA_HOME", "relativ");
    EXPECT_EQ(GetSpecialFolder(Csidl::Programs), (Home() / ".local/share/applications/").string());
}

TEST_F(ShortcutsTest, WithoutAFolderNothingIsCreatedOrDeleted) {
    ScopedEnv noHome("HOME", std::nullopt);
    EXPECT_EQ(GetSpecialFolder(Csidl::Startup), "");
    const fs::path cwd = fs::current_path();
    fs::current_path(tmp_.path());
    WriteAll(tmp_ / "Hintergrundbild wechseln.desktop", "liegt im Arbeitsverzeichnis");
    {
        TOptionen o;
        EXPECT_FALSE(o.Autostart) << "a file in the current directory is no shortcut";
        EXPECT_EQ(o.VerknuepfungsModus[1], 0);
        o.SetAutostart(true);
        o.SetShortcutMode(1, 0);
        o.SetShortcutMode(2, 3);
        EXPECT_TRUE(o.Autostart);
        EXPECT_EQ(o.VerknuepfungsModus[2], 3);
    }
    fs::current_path(cwd);
    EXPECT_EQ(ReadAll(tmp_ / "Hintergrundbild wechseln.desktop"), "liegt im Arbeitsverzeichnis");
    EXPECT_FALSE(fs::exists(tmp_ / "Hintergrundbildwechsler konfigurieren.desktop"));
}

TEST_F(ShortcutsTest, DetectionFromTheFilesPresent) {
    WriteAll(DesktopDir() / "Hintergrundbildwechsler konfigurieren.desktop", "x");
    WriteAll(ProgramsDir() / "Hintergrundbildwechsler konfigurieren.desktop", "x");
    WriteAll(ProgramsDir() / "Hintergrundbild wechseln.desktop", "x");
    fs::create_directories(AutostartDir() / "Hintergrundbild wechseln.desktop");
    TOptionen o;
    EXPECT_EQ(o.VerknuepfungsModus[1], 1);
    EXPECT_EQ(o.VerknuepfungsModus[2], 3);
    EXPECT_FALSE(o.Autostart) << "a folder of that name does not count";
}

TEST_F(ShortcutsTest, ModeChangesTouchOnlyWhatMustChange) {
    TOptionen o;
    o.SetShortcutMode(1, 3);
    const fs::path change = DesktopDir() / "Hintergrundbild wechseln.desktop";
    const fs::path config = DesktopDir() / "Hintergrundbildwechsler konfigurieren.desktop";
    ASSERT_TRUE(fs::exists(change));
    ASSERT_TRUE(fs::exists(config));
    const auto configTime = fs::last_write_time(config);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    o.SetShortcutMode(1, 1);
    EXPECT_FALSE(fs::exists(change));
    EXPECT_EQ(fs::last_write_time(config), configTime) << "the wanted link is not rewritten";
    o.SetShortcutMode(1, 2);
    EXPECT_TRUE(fs::exists(change));
    EXPECT_FALSE(fs::exists(config));
    fs::remove(change);
    o.SetShortcutMode(1, 2);
    EXPECT_FALSE(fs::exists(change)) << "the recorded mode again touches no file";
    o.SetShortcutMode(1, 7);
    EXPECT_EQ(o.VerknuepfungsModus[1], 7);
    EXPECT_FALSE(fs::exists(change));
    WriteAll(change, "zeigt auf ein anderes Programm");
    o.SetShortcutMode(1, 0);
    EXPECT_FALSE(fs::exists(change)) << "presence counts by name alone";
}

TEST_F(ShortcutsTest, AutostartOnAndOff) {
    TOptionen o;
    const std::string ini = ReadAll(IniPath());
    o.SetAutostart(true);
    const fs::path link = AutostartDir() / "Hintergrundbild wechseln.desktop";
    ASSERT_TRUE(fs::exists(link));
    EXPECT_EQ(ExecArguments(EntryValue(ReadAll(link), "Exec")),
              (std::vector<std::string>{ExePath(), "/run"}));
    o.SetAutostart(false);
    EXPECT_FALSE(fs::exists(link));
    EXPECT_EQ(ReadAll(IniPath()), ini) << "shortcut choices are not stored";
}

TEST_F(ShortcutsTest, EntriesAreValidAndExecParsesBackForHostilePaths) {
    for (const std::string name :
         {"ulbrasen", "mit Leerzeichen/ulbrasen", "an\"f'ühr`ung/$HOME/100%/back\\slash/u b"}) {
        const fs::path exe = tmp_ / "apps" / name;
        fs::create_directories(exe.parent_path());
        const fs::path run = ProgramsDir() / "run.desktop";
        const fs::path cfg = ProgramsDir() / "cfg.desktop";
        ASSERT_TRUE(CreateShellLink(exe.string(), "/run", run.string(), "Hintergrundbild wechseln"));
        ASSERT_TRUE(CreateShellLink(exe.string(), "", cfg.string(), "Hintergrundbildwechsler konfigurieren"));
        EXPECT_EQ(RunValidator(run), 0) << name;
        EXPECT_EQ(RunValidator(cfg), 0) << name;
        const std::string text = ReadAll(run);
        // A "%" in the path goes through "env", which GLib's launcher finds.
        const std::vector<std::string> program = name.find('%') == std::string::npos
                                                     ? std::vector<std::string>{exe.string()}
                                                     : std::vector<std::string>{"env", exe.string()};
        std::vector<std::string> withRun = program;
        withRun.push_back("/run");
        EXPECT_EQ(ExecArguments(EntryValue(text, "Exec")), withRun) << name;
        EXPECT_EQ(ExecArguments(EntryValue(ReadAll(cfg), "Exec")), program);
        EXPECT_EQ(EntryValue(text, "Path"), exe.parent_path().string());
        EXPECT_EQ(EntryValue(text, "Name"), "Hintergrundbild wechseln");
        EXPECT_EQ(EntryValue(text, "Type"), "Application");
        struct stat st {};
        ASSERT_EQ(stat(run.c_str(), &st), 0);
        EXPECT_TRUE(st.st_mode & S_IXUSR) << "desktops trust only executable launchers";
    }
}

TEST_F(ShortcutsTest, FirstRunEntriesPassTheValidator) {
    fs::remove(IniPath());
    { TOptionen o; }
    for (const fs::path& p : {AutostartDir() / "Hintergrundbild wechseln.desktop",
                              DesktopDir() / "Hintergrundbild wechseln.desktop",
                              ProgramsDir() / "Hintergrundbildwechsler konfigurieren.desktop"}) {
        ASSERT_TRUE(fs::exists(p)) << p;
        EXPECT_EQ(RunValidator(p), 0) << p;
    }
    EXPECT_EQ(ExecArguments(EntryValue(
                  ReadAll(ProgramsDir() / "Hintergrundbildwechsler konfigurieren.desktop"), "Exec")),
              (std::vector<std::string>{ExePath()}));
}

TEST(WorkingDirectory, FolderWithoutSeparatorRootKeepsIt) {
    EXPECT_EQ(WorkingDirectoryFor("/opt/x/ulbrasen"), "/opt/x");
    EXPECT_EQ(WorkingDirectoryFor("/ulbrasen"), "/");
}
