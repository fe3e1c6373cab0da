// The configuration window's settings object in this process, the real
// program run as "ulbrasen /run" again and again beside it, and a reader
// watching both shared files: every version read is whole, and after each
// run the file holds what the run stored and every save of the window.
#include "config/uOptionen.h"
#include "platform/Platform.h"
#include "tests/desktop/TestPictures.h"
#include "tests/support/TestSupport.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>

extern char** environ;

using namespace testsupport;

namespace {
const std::string kS = "Optionen";
const char* const kKeys[] = {"AnzVerz",
                             "Verz1",
                             "Verz4",
                             "First",
                             "Autowandlung_Groesse",
                             "Autowandlung_4zu3",
                             "Autowandlung_Kachelbild",
                             "Setze Kacheleigenschaft",
                             "GeometrieOK ab",
                             "GeometrieOK bis",
                             "MaxKillBorder",
                             "KachelTyp",
                             "KachelBildbreite",
                             "KachelBildhoehe",
                             "KachelMaxHoehe",
                             "KachelMaxBreite",
                             "FesteBildHoehe",
                             "FesteBildBreite",
                             "Glaetten"};

std::uint32_t Le32(const std::vector<std::uint8_t>& b, std::size_t at) {
    return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<std::uint32_t>(b[at + 3]) << 24;
}

// Empty when the bitmap file is whole: its header's sizes match its length.
std::string BmpFault(const std::vector<std::uint8_t>& b) {
    if (b.size() < 54 || b[0] != 'B' || b[1] != 'M') return "no bitmap header";
    if (Le32(b, 2) != b.size()) return "file size field " + std::to_string(Le32(b, 2));
    const std::int32_t h = static_cast<std::int32_t>(Le32(b, 22));
    const std::uint64_t stride =
        (static_cast<std::uint64_t>(Le32(b, 18)) * (b[28] | b[29] << 8) + 31) / 32 * 4;
    if (Le32(b, 10) + stride * static_cast<std::uint64_t>(h < 0 ? -h : h) != b.size())
        return "pixel rows short";
    return "";
}

// Empty when the settings file is whole: every key a save writes is there.
std::string IniFault(const std::string& text) {
    if (text.rfind("[Optionen]\n", 0) != 0) return "no section header";
    for (const char* k : kKeys)
        if (text.find("\n" + std::string(k) + "=") == std::string::npos) return std::string("no ") + k;
    if (text.back() != '\n') return "last line cut";
    return "";
}
} // namespace

class WindowAndRunTest : public SandboxTest {
  protected:
    WindowAndRunTest() {
        fs::create_directories(tmp_ / "pics");
        CopyProgram(ExePath());
        pictures::WritePatternBmp((tmp_ / "pics" / "bild.bmp").string(), 640, 480);
        // The window and the run both set the wallpaper on the bare X root.
        for (const char* v : {"XDG_CURRENT_DESKTOP", "XDG_SESSION_DESKTOP", "DESKTOP_SESSION",
                              "DBUS_SESSION_BUS_ADDRESS", "SWAYSOCK"})
            env_.push_back(std::make_unique<ScopedEnv>(v, std::nullopt));
    }

    ~WindowAndRunTest() override { StopReader(); }
    void StopReader() {
        stop_ = true;
        if (reader_.joinable()) reader_.join();
    }

    pid_t StartRun() {
        std::string exe = ExePath(), arg = "/run";
        char* argv[] = {exe.data(), arg.data(), nullptr};
        const std::string err = (tmp_ / "stderr").string();
        posix_spawn_file_actions_t fa;
        posix_spawn_file_actions_init(&fa);
        posix_spawn_file_actions_addopen(&fa, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        pid_t pid = -1;
        const int rc = posix_spawn(&pid, argv[0], &fa, nullptr, argv, environ);
        posix_spawn_file_actions_destroy(&fa);
        return rc == 0 ? pid : -1;
    }

    void Reader() {
        std::string ini;
        std::vector<std::uint8_t> bmp;
        while (!stop_) {
            if (platform::ReadFile(IniPath(), ini)) Check("ini", IniFault(ini), iniReads_);
            if (platform::ReadFileBytes(Bmp(), bmp)) Check("bmp", BmpFault(bmp), bmpReads_);
        }
    }
    void Check(const char* what, const std::string& fault, std::atomic<int>& reads) {
        ++reads;
        if (fault.empty()) return;
        std::lock_guard<std::mutex> g(faultMutex_);
        faults_.push_back(std::string(what) + ": " + fault);
    }
    void ExpectStored(std::int32_t breite, const bool (&active)[4], int run) {
        TIniFile disk(IniPath());
        EXPECT_EQ(disk.ReadInteger(kS, "First", -1), 0) << "run " << run;
        EXPECT_EQ(disk.ReadInteger(kS, "KachelMaxBreite", -1), breite) << "run " << run;
        EXPECT_EQ(disk.ReadInteger(kS, "AnzVerz", -1), 4);
        for (int i = 0; i < 4; ++i)
            EXPECT_EQ(disk.ReadString(kS, "Verz" + std::to_string(i + 1) + "/Optionen", ""),
                      active[i] ? "A" : "")
                << "run " << run << " entry " << i + 1;
    }
    std::string Bmp() const { return (tmp_ / "bin" / "ulbrasen.bmp").string(); }

    std::vector<std::unique_ptr<ScopedEnv>> env_;
    std::thread reader_;
    std::atomic<bool> stop_{false};
    std::atomic<int> iniReads_{0}, bmpReads_{0};
    std::mutex faultMutex_;
    std::vector<std::string> faults_;
};

TEST_F(WindowAndRunTest, NeitherReadsATornFileNorUndoesTheOther) {
    WriteIni("[Optionen]\nAnzVerz=4\nVerz1=" + (tmp_ / "pics").string() +
             "\nVerz1/Optionen=A\nVerz2=/nirgends/a\nVerz3=/nirgends/b\nVerz4=/nirgends/c\nFirst=0\n");
    TOptionen window;
    window.SetKachelMaxBreite(1000); // the reader expects the whole section from here on
    reader_ = std::thread([this] { Reader(); });

    TIniFile handEdit(IniPath());
    std::int32_t breite = 1000;
    bool active[4] = {true, false, false, false};
    int step = 0;
    for (int run = 0; run < 30; ++run) {
        // A first start, the one case in which the run stores the settings:
        // it reads them, creates its shortcuts and writes them back with
        // First = 0. Meanwhile the window goes on saving.
        handEdit.WriteInteger(kS, "First", 1);
        for (const fs::path& d : {AutostartDir(), DesktopDir(), ProgramsDir()})
            fs::remove_all(d);
        const pid_t pid = StartRun();
        ASSERT_GT(pid, 0);
        int status = 0;
        do {
            ++step;
            if (step % 3 == 0) {
                const int entry = 1 + step / 3 % 3;
                active[entry] = !active[entry];
                window.SetDirectoryActive(entry, active[entry]);
            } else {
                window.SetKachelMaxBreite(++breite);
            }
            if (step % 25 == 0) window.ApplyWallpaper((tmp_ / "pics" / "bild.bmp").string());
        } while (waitpid(pid, &status, WNOHANG) == 0);
        ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << ReadAll(tmp_ / "stderr");
        EXPECT_EQ(ReadAll(tmp_ / "stderr"), "");

        // The window's saves kept the First = 1 it never showed, so the run
        // made its first start; the run's write kept every save the window
        // made meanwhile, and the window's next save keeps the run's First = 0.
        EXPECT_TRUE(fs::exists(AutostartDir()) && !fs::is_empty(AutostartDir())) << "run " << run;
        ExpectStored(breite, active, run);
        window.SetKachelMaxBreite(++breite);
        ExpectStored(breite, active, run);
    }
    StopReader();
    EXPECT_FALSE(window.First);
    EXPECT_GT(iniReads_, 100);
    EXPECT_GT(bmpReads_, 30);
    EXPECT_TRUE(faults_.empty()) << faults_.size() << " torn reads, first: " << faults_.front();
    EXPECT_TRUE(pictures::HoldsPattern(pictures::ReadBmp(Bmp()), 640, 480));
    for (auto& e : fs::directory_iterator(tmp_ / "bin"))
        EXPECT_TRUE(e.path().extension() != ".tmp" && e.path().filename().string()[0] != '.')
            << "left behind: " << e.path();
}
