#include "compose/BmpWriter.h"
#include "compose/Graphics.h"
#include "config/Messages.h"
#include "config/uOptionen.h"
#include "desktop/uDirectXErkennung.h"
#include "platform/Platform.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

using namespace testsupport;

namespace {
class HostilePaths : public SandboxTest {
  protected:
    HostilePaths() {
        WriteIni("[Optionen]\nFirst=0\n");
        platform::SetScreenSizeForTesting(platform::ScreenDims{1024, 768});
        // Leaves the real desktop alone: the guard reports a full-screen
        // program only where a test wants the change to be skipped.
        SetExclusiveModeForTesting(std::nullopt);
    }
    ~HostilePaths() override { SetExclusiveModeForTesting(std::nullopt); }

    static void WritePicture(const fs::path& p, int w, int h) {
        fs::create_directories(p.parent_path());
        TBitmap b(w, h);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                std::uint8_t* px = b.ScanLine(y) + x * 3;
                px[0] = static_cast<std::uint8_t>(x);
                px[1] = static_cast<std::uint8_t>(y);
                px[2] = 200;
            }
        SaveBitmapToFile(b, p.string());
    }
};
} // namespace

// Folder and file names with blanks, quotes, umlauts, "%" and "$" survive the
// settings file, the catalogue and the composition.
TEST_F(HostilePaths, QuotesUmlautsAndPercentWorkFromSettingsToComposition) {
    const fs::path folder = tmp_ / "Bilder \"Zitat\" 'x' Ümläut 100% $HOME";
    const fs::path picture = folder / "b i\"ld%ä.bmp";
    WritePicture(picture, 300, 260);
    {
        TOptionen o;
        o.AddDirectory(folder.string(), true);
    }
    TOptionen o;
    ASSERT_EQ(o.DirectoryCount(), 1);
    EXPECT_EQ(o.GetDirectoryPath(0), folder.string());
    std::vector<std::string> catalogue;
    o.BuildCatalogue(catalogue);
    ASSERT_EQ(catalogue, std::vector<std::string>{picture.string()});
    TPicture target;
    EXPECT_EQ(o.FitPicture(target, catalogue[0]), "");
    EXPECT_EQ(target.Bitmap().Width(), 300);
    EXPECT_EQ(target.Bitmap().Height(), 260);
}

TEST_F(HostilePaths, LineBreakInAPathIsRefusedBeforeAnythingChanges) {
    TOptionen o;
    o.AddDirectory("/bilder", false);
    const std::string before = ReadAll(IniPath());
    try {
        o.AddDirectory("/a\nFirst=1", false);
        FAIL() << "no error";
    } catch (const ZenksError& e) {
        EXPECT_STREQ(e.what(),
                     "Der Wert für Verz2 enthält einen Zeilenumbruch und kann nicht gespeichert werden");
    }
    EXPECT_THROW(o.SetDirectoryPath(0, "/b\r/c"), ZenksError);
    EXPECT_EQ(o.DirectoryCount(), 1);
    EXPECT_EQ(o.GetDirectoryPath(0), "/bilder");
    EXPECT_EQ(ReadAll(IniPath()), before);
}

// The picture or its folder goes away between the scan and the load: nothing
// is written and nothing is raised.
TEST_F(HostilePaths, PictureThatVanishesAfterTheScanChangesNothing) {
    const fs::path folder = tmp_ / "pics";
    WritePicture(folder / "a.bmp", 800, 600);
    TOptionen o;
    o.AddDirectory(folder.string(), false);
    const std::string picked = o.PickRandomPicture();
    ASSERT_EQ(picked, (folder / "a.bmp").string());
    fs::remove_all(folder);
    EXPECT_NO_THROW(o.ApplyWallpaper(picked));
    WriteAll(folder, "jetzt eine Datei");
    EXPECT_NO_THROW(o.ApplyWallpaper(picked));
    fs::remove(folder);
    WritePicture(folder / "a.bmp", 800, 600);
    {
        // Unreadable now: the folder keeps its name but lets nobody in.
        PermissionChecksOn strict;
        fs::permissions(folder, fs::perms::none);
        EXPECT_NO_THROW(o.ApplyWallpaper(picked));
        TPicture preview;
        EXPECT_EQ(o.FitPicture(preview, picked),
                  "Fehler: \"Datei " + picked + " kann nicht geöffnet werden\"");
        fs::permissions(folder, fs::perms::owner_all);
    }
    fs::remove_all(folder);
    EXPECT_FALSE(fs::exists(tmp_ / "bin" / "ulbrasen.bmp"));
    TPicture preview;
    EXPECT_EQ(o.FitPicture(preview, picked), "Fehler: \"Datei " + picked + " kann nicht geöffnet werden\"");
}
