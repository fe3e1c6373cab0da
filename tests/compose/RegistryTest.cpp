#include "compose/Graphics.h"
#include "config/Messages.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

using namespace testsupport;

namespace {
std::string LoadError(TPicture& p, const std::string& file) {
    try {
        p.LoadFromFile(file);
    } catch (const ZenksError& e) {
        return e.what();
    }
    return "";
}
} // namespace

TEST(FormatRegistry, EveryRegisteredExtensionCaseBlindAndNothingElse) {
    for (const char* ext :
         {"wmf", "WMF",  "emf",  "bmp",  "Bmp",  "jpeg", "JPEG", "jpg", "JPG", "gif",  "GiF", "png",
          "PNG", "webp", "WebP", "avif", "heic", "HEIC", "heif", "tif", "TIF", "tiff", "jxl"})
        EXPECT_NE(CreateGraphicForExtension(ext), nullptr) << ext;
    for (const char* ext : {"ico", "psd", "jpe", "tiff2", "apng", "", "bmp ", ".bmp", "png "})
        EXPECT_EQ(CreateGraphicForExtension(ext), nullptr) << ext;
}

TEST(FormatRegistry, ExtensionIsTakenFromTheFileNameOnly) {
    EXPECT_EQ(ExtractFileExt("/a.b/c"), "");
    EXPECT_EQ(ExtractFileExt("/a/archiv.jpg.txt"), ".txt");
    EXPECT_EQ(ExtractFileExt("/a/.bmp"), ".bmp");
    EXPECT_EQ(ExtractFileExt("/a/x."), ".");
}

TEST(PictureHolder, MessagesForUnknownAndUnreadableFilesAndThePreviousPictureStays) {
    TempDir dir;
    TPicture p;
    p.SetGraphic(std::make_unique<TBitmap>(3, 2));
    TGraphic* before = p.Graphic();
    WriteAll(dir / "bild.psd", "x");
    WriteAll(dir / "BILD.PSD", "x");
    WriteAll(dir / "symbol.ico", "x");
    fs::create_directories(dir / "ordner.jpg");
    EXPECT_EQ(LoadError(p, (dir / "bild.psd").string()), "Unbekannte Bilddateierweiterung (.psd)");
    EXPECT_EQ(LoadError(p, (dir / "BILD.PSD").string()), "Unbekannte Bilddateierweiterung (.PSD)");
    EXPECT_EQ(LoadError(p, (dir / "symbol.ico").string()), "Unbekannte Bilddateierweiterung (.ico)");
    EXPECT_EQ(LoadError(p, (dir / "ohne").string()), "Unbekannte Bilddateierweiterung (.)");
    EXPECT_EQ(LoadError(p, ""), "Unbekannte Bilddateierweiterung (.)");
    const std::string missing = (dir / "fehlt.jpg").string();
    EXPECT_EQ(LoadError(p, missing), "Datei " + missing + " kann nicht geöffnet werden");
    const std::string folder = (dir / "ordner.jpg").string();
    EXPECT_EQ(LoadError(p, folder), "Datei " + folder + " kann nicht geöffnet werden");
    EXPECT_EQ(p.Graphic(), before);
    EXPECT_EQ(p.Width(), 3);
    EXPECT_EQ(p.Height(), 2);
}

TEST(PictureHolder, BitmapReplacesAnyOtherGraphic) {
    TempDir dir;
    WriteAll(dir / "leer.bmp", "");
    TPicture p;
    p.LoadFromFile((dir / "leer.bmp").string());
    EXPECT_EQ(p.Width(), 0);
    TBitmap& kept = p.Bitmap();
    EXPECT_EQ(&p.Bitmap(), &kept) << "a held bitmap is reused";
    p.SetGraphic(CreateGraphicForExtension("gif"));
    TBitmap& fresh = p.Bitmap();
    EXPECT_EQ(fresh.Width(), 0);
    EXPECT_EQ(p.Graphic(), &fresh);
}
