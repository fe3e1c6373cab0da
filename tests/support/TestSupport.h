#pragma once
// Helpers for tests that work on real files: a temporary folder that is
// removed afterwards, the executable path redirected into it, environment
// variables set for the test's duration.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace testsupport {

namespace fs = std::filesystem;

class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const fs::path& path() const { return path_; }
    std::string str() const { return path_.string(); }
    fs::path operator/(const std::string& rel) const { return path_ / rel; }

  private:
    fs::path path_;
};

// Sets (or with nullopt unsets) an environment variable; restores it on destruction.
class ScopedEnv {
  public:
    ScopedEnv(std::string name, std::optional<std::string> value);
    ~ScopedEnv();

  private:
    std::string name_;
    std::optional<std::string> old_;
};

// Root passes every permission check; while this lives, the process (run as
// root here and in CI) loses that override, so read-only folders really are.
class PermissionChecksOn {
  public:
    PermissionChecksOn();
    ~PermissionChecksOn();

  private:
    bool changed_ = false;
    std::uint32_t saved_[2] = {0, 0};
};

std::string ReadAll(const fs::path& p);
std::vector<std::uint8_t> ReadBytes(const fs::path& p);
void WriteAll(const fs::path& p, const std::string& content);
void WriteBytes(const fs::path& p, const std::vector<std::uint8_t>& content);
// A reference picture (PNG and the like) read through ImageMagick as 8-bit
// RGBA rows, top-down. Fails the test when ImageMagick is missing.
struct RgbaImage {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> rgba;
};
RgbaImage LoadReferenceImage(const fs::path& p);

// The shared third-party picture corpus (../shared/corpus beside the repository).
fs::path CorpusPath(const std::string& rel);

// Copies the built program to exe, with its window module (Linux) beside it.
void CopyProgram(const fs::path& exe);

// A fixture with a fresh HOME, XDG folders and executable path inside a
// temporary folder, so that settings, shortcuts and wallpaper files of a test
// never touch the real ones.
class SandboxTest : public ::testing::Test {
  protected:
    SandboxTest();
    ~SandboxTest() override;
    // The redirected executable: <tmp>/bin/ulbrasen; its .ini is beside it.
    std::string ExePath() const { return (tmp_ / "bin" / "ulbrasen").string(); }
    std::string IniPath() const { return (tmp_ / "bin" / "ulbrasen.ini").string(); }
    fs::path Home() const { return tmp_ / "home"; }
    fs::path AutostartDir() const { return Home() / ".config" / "autostart"; }
    fs::path DesktopDir() const { return Home() / "Desktop"; }
    fs::path ProgramsDir() const { return Home() / ".local" / "share" / "applications"; }
    // An INI with "First" = 0, so that constructing TOptionen creates no shortcuts.
    void WriteIni(const std::string& body);

    TempDir tmp_;

  private:
    std::vector<std::unique_ptr<ScopedEnv>> env_;
};

} // namespace testsupport
