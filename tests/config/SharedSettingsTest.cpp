// Two real processes storing the same settings file at once, each changing
// its own key many times: neither may lose an update of the other.
#include "tests/support/TestSupport.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

#include <gtest/gtest.h>

extern char** environ;

using namespace testsupport;

namespace {
const char* kRacer = ZENKS_BINARY_DIR "/tests/config/settings_racer";
constexpr int kCount = 300;

pid_t Spawn(const std::vector<std::string>& args, const std::string& out) {
    std::vector<std::string> argv = {kRacer};
    argv.insert(argv.end(), args.begin(), args.end());
    std::vector<char*> cargv;
    for (auto& a : argv)
        cargv.push_back(a.data());
    cargv.push_back(nullptr);
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_addopen(&fa, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    pid_t pid = -1;
    const int rc = posix_spawn(&pid, kRacer, &fa, nullptr, cargv.data(), environ);
    posix_spawn_file_actions_destroy(&fa);
    return rc == 0 ? pid : -1;
}

int Wait(pid_t pid) {
    int status = 0;
    if (waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return -1;
    return WEXITSTATUS(status);
}
} // namespace

class SharedSettingsTest : public SandboxTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(SharedSettingsTest, TwoWritersLoseNoUpdate) {
    WriteIni("[Optionen]\nAnzVerz=1\nVerz1=/bilder\nVerz1/Optionen=A\nFirst=0\n[Andere]\nx=1\n");
    const std::string folder = (tmp_ / "bin").string();
    const pid_t a =
        Spawn({folder, GetParam(), "KachelMaxBreite", std::to_string(kCount)}, (tmp_ / "a").string());
    const pid_t b =
        Spawn({folder, GetParam(), "KachelMaxHoehe", std::to_string(kCount)}, (tmp_ / "b").string());
    ASSERT_GT(a, 0);
    ASSERT_GT(b, 0);
    EXPECT_EQ(Wait(a), 0) << ReadAll(tmp_ / "a");
    EXPECT_EQ(Wait(b), 0) << ReadAll(tmp_ / "b");

    const std::string ini = ReadAll(IniPath());
    EXPECT_NE(ini.find("KachelMaxBreite=" + std::to_string(1000 + kCount) + "\n"), std::string::npos) << ini;
    EXPECT_NE(ini.find("KachelMaxHoehe=" + std::to_string(1000 + kCount) + "\n"), std::string::npos) << ini;
    EXPECT_NE(ini.find("Verz1=/bilder\nVerz1/Optionen=A\n"), std::string::npos) << ini;
    EXPECT_NE(ini.find("[Andere]\nx=1\n"), std::string::npos) << ini;
    for (auto& e : fs::directory_iterator(tmp_ / "bin"))
        EXPECT_EQ(e.path().filename(), "ulbrasen.ini") << "left behind: " << e.path();
}

// "ini" stores single keys through the INI accessor, "options" the whole
// section through the settings object.
INSTANTIATE_TEST_SUITE_P(Writers, SharedSettingsTest, ::testing::Values("ini", "options"));
