#pragma once
// The program's one settings object: the picture directories, the loading
// options kept in the section "Optionen" of the INI file beside the
// executable, and the observed state of the shortcut files.
#include "config/IniFile.h"
#include "platform/Platform.h"

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class TPicture;

// One byte per shortcut location: what its two shortcuts should be.
using ShortcutMode = std::uint8_t;

class TOptionen {
  public:
    TOptionen();
    // Only reads the section of iniPath: no shortcut detection, no first-run
    // actions, and nothing is ever written back (Loading stays set).
    struct ReadOnly {};
    TOptionen(ReadOnly, const std::string& iniPath);
    ~TOptionen();
    TOptionen(const TOptionen&) = delete;
    TOptionen& operator=(const TOptionen&) = delete;

    // Fields, read directly by the rest of the program; changed only through
    // the operations below. A directory entry is "1"/"0" (active), "1"/"0"
    // (recursive), then the path.
    std::vector<std::string> Verzeichnisse;
    std::unique_ptr<TIniFile> Ini;
    bool Loading = false;
    bool First = false;
    bool Autostart = false;
    bool Autowandlung_Groesse = false;
    bool Autowandlung_4zu3 = false;
    bool Autowandlung_Kachelbild = false;
    bool SetzeKacheleigenschaft = false;
    // Indexed 1..2 like the shortcut locations (1 desktop, 2 programs menu); [0] is unused.
    std::array<ShortcutMode, 3> VerknuepfungsModus{};
    std::array<std::string, 3> VerknuepfungsOrdner{};
    double GeometrieOKAb = 0;
    double GeometrieOKBis = 0;
    double MaxKillBorder = 0;
    std::int32_t KachelMaxHoehe = 0;
    std::int32_t KachelMaxBreite = 0;
    std::int32_t FesteBildHoehe = 0;
    std::int32_t FesteBildBreite = 0;
    std::int32_t KachelBildbreite = 0;
    std::int32_t KachelTyp = 0;
    std::int32_t KachelBildhoehe = 0;
    // Smooth stretching (area average when shrinking, bilinear when
    // enlarging); off draws one source pixel per target pixel.
    bool Glaetten = false;
    // With several monitors, /run draws and fits a picture for each.
    bool EigenesBildJeBildschirm = false;

    // Settings store (uOptionen.cpp).
    void SaveSettings();
    void LoadSettings();
    void SetAutowandlung_Groesse(bool value);
    void SetAutowandlung_4zu3(bool value);
    void SetGeometrieOKAb(double value);
    void SetGeometrieOKBis(double value);
    void SetMaxKillBorder(double value);
    void SetKachelMaxBreite(std::int32_t value);
    void SetKachelMaxHoehe(std::int32_t value);
    void SetFesteBildBreite(std::int32_t value);
    void SetFesteBildHoehe(std::int32_t value);
    void SetKachelBildbreite(std::int32_t value);
    void SetKachelBildhoehe(std::int32_t value);
    void SetKachelTyp(std::int32_t value);
    void SetGlaetten(bool value);
    void SetEigenesBildJeBildschirm(bool value);

    // Directory entries and the picture catalogue (Catalogue.cpp). Indexes
    // are 0-based; an invalid one throws.
    int DirectoryCount() const;
    std::string GetDirectoryPath(int index) const;
    void SetDirectoryPath(int index, const std::string& path);
    bool IsDirectoryActive(int index) const;
    void SetDirectoryActive(int index, bool active);
    bool IsDirectoryRecursive(int index) const;
    void SetDirectoryRecursive(int index, bool recursive);
    int AddDirectory(const std::string& path, bool recursive);
    void DeleteDirectory(int index);
    // Moves entry from to position to (the others close up), then saves.
    void MoveDirectory(int from, int to);
    void BuildCatalogue(std::vector<std::string>& target) const;
    std::string PickRandomPicture() const;

    // Fitting (compose/FitPicture.cpp).
    bool IsTileSize(int width, int height) const;
    std::string FitPicture(TPicture& target, const std::string& fileName) const;
    // The same with a monitor's size in place of the primary display's.
    std::string FitPicture(TPicture& target, const std::string& fileName, platform::ScreenDims screen) const;

    // Wallpaper application (desktop/ApplyWallpaper.cpp).
    void ApplyWallpaper(const std::string& fileName);
    // The automatic change: one random picture for all monitors, or with
    // EigenesBildJeBildschirm one for each, fitted to its monitor.
    void ApplyRandomWallpaper();

    // Shortcuts (desktop/Shortcuts.cpp).
    void SetAutostart(bool value);
    void SetShortcutMode(int location, ShortcutMode mode);

  private:
    void DetectShortcuts();
    void ReadSettings();
    void TakeNewerFromFile();
    void RememberStored();
    void CheckIndex(int index) const;

    // The section as this object last read or wrote it, to tell its own
    // changes from those another process stored meanwhile.
    std::vector<std::string> storedVerzeichnisse_;
    std::vector<std::string> storedValues_;
};

// Where the program's own files live (extension ".ini", ".aw" or ".bmp"):
// beside the executable, named after it, when its folder is writable (and no
// system folder such as /usr/bin) or already holds the INI (a portable copy);
// otherwise in the user's folders (the BMP in
// the data folder, the others in the configuration folder), created when
// missing. Decided once per executable path, on the first call.
std::string ProgramFilePath(const std::string& extension);
// Decides anew on the next call, as a new start of the program would.
void ForgetProgramFolderForTesting();
std::string ChangeFileExt(const std::string& path, const std::string& extension);

// The process-wide generator: seeded once from the clock at start-up.
void SeedRandom();
// A uniformly drawn position from 0 to count - 1 (count > 0).
std::size_t RandomIndex(std::size_t count);
