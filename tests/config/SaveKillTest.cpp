#include "tests/support/TestSupport.h"
#include "ui/SelectionSets.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <random>
#include <set>
#include <thread>

using namespace testsupport;

namespace {
const char* kWriter = ZENKS_BINARY_DIR "/tests/config/settings_writer";

pid_t Start(const std::string& dir, const char* mode) {
    pid_t pid = fork();
    if (pid == 0) {
        execl(kWriter, kWriter, dir.c_str(), mode, static_cast<char*>(nullptr));
        _exit(127);
    }
    return pid;
}

// Starts a writer, lets it run for a random time between the bounds (in
// microseconds), kills it and returns its wait status.
int RunAndKill(const std::string& dir, const char* mode, std::mt19937& rng, int from, int to) {
    const pid_t pid = Start(dir, mode);
    if (pid <= 0) return -1;
    std::this_thread::sleep_for(std::chrono::microseconds(std::uniform_int_distribution<int>(from, to)(rng)));
    kill(pid, SIGKILL);
    int status = 0;
    waitpid(pid, &status, 0);
    return status;
}

// Microseconds a writer takes to start and save once in this mode here (a
// sanitizer build or a busy machine is several times slower), so that the
// kills can fall inside the first saves and between them.
int TimeOnce(const std::string& dir, const char* mode) {
    const auto t0 = std::chrono::steady_clock::now();
    int status = 0;
    waitpid(Start(dir, mode), &status, 0);
    return static_cast<int>(
        std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - t0).count());
}

std::string SettingsText(int entries, int kachelTyp) {
    std::string s = "[Optionen]\nAnzVerz=" + std::to_string(entries) + "\n";
    for (int i = 1; i <= entries; ++i)
        s += "Verz" + std::to_string(i) +
             "=/home/benutzer/Bilder/Sammlung mit einem recht langen Namen/Ordner " + std::to_string(i) +
             "\nVerz" + std::to_string(i) + "/Optionen=AR\n";
    s +=
        "First=0\nAutowandlung_Groesse=0\nAutowandlung_4zu3=0\nAutowandlung_Kachelbild=0\n"
        "Setze Kacheleigenschaft=1\nGeometrieOK ab=1.28\nGeometrieOK bis=1.38\nMaxKillBorder=5\nKachelTyp=" +
        std::to_string(kachelTyp) +
        "\nKachelBildbreite=0\nKachelBildhoehe=0\nKachelMaxHoehe=250\nKachelMaxBreite=250\nFesteBildHoehe=0\n"
        "FesteBildBreite=0\nGlaetten=1\nEigenesBildJeBildschirm=0\n";
    return s;
}
} // namespace

// A writer killed at any moment leaves the old file or the complete new one.
TEST(SaveKill, KilledWritersNeverLeaveATornFile) {
    TempDir dir;
    const int entries = 1000;
    const std::string a = SettingsText(entries, 0), b = SettingsText(entries, 1);
    WriteAll(dir / "ulbrasen.ini", a);
    const int once = TimeOnce(dir.str(), "once");
    ASSERT_EQ(ReadAll(dir / "ulbrasen.ini"), b);
    WriteAll(dir / "ulbrasen.ini", a);
    std::mt19937 rng(12345);
    int changed = 0;
    for (int round = 0; round < 200; ++round) {
        ASSERT_NE(RunAndKill(dir.str(), "loop", rng, once / 2, once * 3 / 2), -1);
        const std::string now = ReadAll(dir / "ulbrasen.ini");
        ASSERT_TRUE(now == a || now == b)
            << "torn file after round " << round << ", " << now.size() << " bytes";
        changed += now == b;
    }
    EXPECT_GT(changed, 0) << "the writers never got to save";
    int status = 0;
    waitpid(Start(dir.str(), "once"), &status, 0);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    for (const auto& e : fs::directory_iterator(dir.path()))
        EXPECT_EQ(e.path().filename(), "ulbrasen.ini") << "left behind by a killed writer: " << e.path();
}

// The same for the named selections: the writer alternates two lists of 2000
// lines; whatever a kill interrupts, the file holds one of them whole.
TEST(SaveKill, KilledSelectionWritersNeverLeaveATornFile) {
    TempDir dir;
    const fs::path file = dir / "ulbrasen.aw";
    const int once = TimeOnce(dir.str(), "aw-once");
    fs::remove(file);
    std::mt19937 rng(54321);
    std::set<std::string> seen;
    for (int round = 0; round < 200; ++round) {
        const int status = RunAndKill(dir.str(), "aw", rng, once / 2, once * 2);
        ASSERT_TRUE(status != -1 && WIFSIGNALED(status)) << "the writer stopped by itself in round " << round;
        if (!fs::exists(file)) continue; // killed before its first save
        SelectionSetList list;
        ASSERT_TRUE(ReadSelectionFile(file.string(), list));
        ASSERT_EQ(list.Count(), 2000) << "torn file after round " << round;
        const std::string last = list[list.Count() - 1];
        const std::string kind = last.substr(last.find('=') - 1, 1);
        for (int i = 0; i < list.Count(); ++i)
            ASSERT_EQ(list[i].substr(list[i].find('=') - 1, 1), kind) << "mixed lists after round " << round;
        ASSERT_EQ(ReadAll(file).substr(ReadAll(file).size() - 2), "\r\n");
        seen.insert(kind);
    }
    EXPECT_EQ(seen.size(), 2u) << "the writers did not get to save both lists";
    // The next successful save clears what killed writers left behind.
    ASSERT_TRUE(WriteSelectionFile(file.string(), {"x=::/a::"}));
    for (const auto& e : fs::directory_iterator(dir.path()))
        EXPECT_EQ(e.path().filename(), "ulbrasen.aw") << "left behind by a killed writer: " << e.path();
}

TEST(SaveKill, FullDiskKeepsTheOldFileAndLeavesNoTemporaryFile) {
    TempDir dir;
    const fs::path mnt = dir / "klein";
    fs::create_directories(mnt);
    ASSERT_EQ(std::system(("mount -t tmpfs -o size=512k tmpfs '" + mnt.string() + "'").c_str()), 0)
        << "a small tmpfs is needed (the tests run as root)";
    struct Unmount {
        fs::path p;
        ~Unmount() { std::system(("umount '" + p.string() + "'").c_str()); }
    } unmount{mnt};
    const std::string a = SettingsText(2000, 0);
    WriteAll(mnt / "ulbrasen.ini", a);
    WriteAll(mnt / "fueller", std::string(a.size(), 'x'));

    const std::string cmd = std::string(kWriter) + " '" + mnt.string() + "' once 2>&1";
    std::string out;
    int rc = 0;
    if (FILE* p = popen(cmd.c_str(), "r")) {
        char buf[512];
        while (std::fgets(buf, sizeof buf, p))
            out += buf;
        rc = pclose(p);
    }
    EXPECT_NE(rc, 0);
    EXPECT_EQ(out, "nach " + (mnt / "ulbrasen.ini").string() + " kann nicht geschrieben werden\n");
    EXPECT_EQ(ReadAll(mnt / "ulbrasen.ini"), a);
    for (const auto& e : fs::directory_iterator(mnt))
        EXPECT_TRUE(e.path().filename() == "ulbrasen.ini" || e.path().filename() == "fueller") << e.path();

    fs::remove(mnt / "fueller");
    const pid_t pid = Start(mnt.string(), "once");
    int status = 0;
    waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(ReadAll(mnt / "ulbrasen.ini"), SettingsText(2000, 1));
    for (const auto& e : fs::directory_iterator(mnt))
        EXPECT_EQ(e.path().filename(), "ulbrasen.ini");
}
