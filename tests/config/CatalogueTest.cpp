#include "config/Messages.h"
#include "config/uOptionen.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <map>

using namespace testsupport;

class CatalogueTest : public SandboxTest {
  protected:
    CatalogueTest() { WriteIni("[Optionen]\nFirst=0\n"); }
    std::string Pics() const { return (tmp_ / "pics").string(); }
    void Touch(const std::string& rel) { WriteAll(tmp_ / "pics" / rel, "x"); }
    std::vector<std::string> Catalogue(TOptionen& o) {
        std::vector<std::string> out{"stale"};
        o.BuildCatalogue(out);
        return out;
    }
};

TEST_F(CatalogueTest, ExtensionsAreTestedCaseBlindAndPathsKeepTheirCase) {
    for (const char* f : {"Foto.JPG", "Bild.Jpeg", "x.gif", "plan.wmf", "a.bmp", "x.png", "x.jpe", "x.tif",
                          "archiv.jpg.txt", "ohnepunkt", "Ärger.JPG", ".bmp"})
        Touch(f);
    TOptionen o;
    o.AddDirectory(Pics(), false);
    const std::string d = Pics() + "/";
    EXPECT_EQ(Catalogue(o), (std::vector<std::string>{d + ".bmp", d + "a.bmp", d + "Bild.Jpeg",
                                                      d + "Foto.JPG", d + "plan.wmf", d + "x.gif",
                                                      d + "x.png", d + "x.tif", d + "Ärger.JPG"}));
}

TEST_F(CatalogueTest, TodaysFormatsJoinTheSameScanCaseBlind) {
    for (const char* f : {"a.PNG", "b.webp", "c.AVIF", "d.heic", "e.HEIF", "f.tif", "g.TIFF", "h.jxl",
                          "i.jpg", "x.psd", "x.apng", "x.tiff.bak", "x.jxl~"})
        Touch(f);
    TOptionen o;
    o.AddDirectory(Pics(), false);
    const std::string d = Pics() + "/";
    EXPECT_EQ(Catalogue(o),
              (std::vector<std::string>{d + "a.PNG", d + "b.webp", d + "c.AVIF", d + "d.heic", d + "e.HEIF",
                                        d + "f.tif", d + "g.TIFF", d + "h.jxl", d + "i.jpg"}));
}

TEST_F(CatalogueTest, DepthFirstPreOrderSortedWithoutRegardToCase) {
    for (const char* f :
         {"b.jpg", "A.jpg", "sub2/z.gif", "Sub1/y.gif", "Sub1/deep/x.bmp", ".thumbs/t.jpg", ".hidden.jpg"})
        Touch(f);
    TOptionen o;
    o.AddDirectory(Pics() + "/", true);
    const std::string d = Pics() + "/";
    EXPECT_EQ(Catalogue(o),
              (std::vector<std::string>{d + ".hidden.jpg", d + "A.jpg", d + "b.jpg", d + "Sub1/y.gif",
                                        d + "Sub1/deep/x.bmp", d + "sub2/z.gif"}));
}

TEST_F(CatalogueTest, NonRecursiveEntryStaysInItsFolder) {
    Touch("a.jpg");
    Touch("sub/b.jpg");
    TOptionen o;
    o.AddDirectory(Pics(), false);
    EXPECT_EQ(Catalogue(o).size(), 1u);
}

TEST_F(CatalogueTest, TrailingSeparatorOrNotGivesTheSamePaths) {
    Touch("a.jpg");
    TOptionen o;
    o.AddDirectory(Pics(), false);
    o.AddDirectory(Pics() + "/", false);
    EXPECT_EQ(Catalogue(o), (std::vector<std::string>{Pics() + "/a.jpg", Pics() + "/a.jpg"}));
}

TEST_F(CatalogueTest, NestedEntriesListTheChildTwiceInactiveOnesNever) {
    Touch("a.jpg");
    Touch("kind/b.jpg");
    TOptionen o;
    o.AddDirectory(Pics() + "/kind", false);
    o.AddDirectory(Pics(), true);
    o.AddDirectory(Pics(), true);
    o.SetDirectoryActive(2, false);
    EXPECT_EQ(Catalogue(o),
              (std::vector<std::string>{Pics() + "/kind/b.jpg", Pics() + "/a.jpg", Pics() + "/kind/b.jpg"}));
}

TEST_F(CatalogueTest, MissingUnreadableAndFileEntriesContributeNothing) {
    Touch("a.jpg");
    Touch("zu/c.jpg");
    TOptionen o;
    o.AddDirectory(Pics() + "/gibt es nicht", true);
    o.AddDirectory(Pics() + "/a.jpg", true);
    o.AddDirectory(Pics() + "/zu", true);
    o.AddDirectory(Pics(), false);
    fs::permissions(tmp_ / "pics" / "zu", fs::perms::none);
    PermissionChecksOn checks;
    EXPECT_EQ(Catalogue(o), (std::vector<std::string>{Pics() + "/a.jpg"}));
}

TEST_F(CatalogueTest, SymlinkCycleIsEnteredOnceAndLinkedFoldersAreFollowed) {
    Touch("a/x.jpg");
    Touch("elsewhere/y.jpg");
    fs::create_directory_symlink(tmp_ / "pics", tmp_ / "pics" / "a" / "loop");
    fs::create_directory_symlink(tmp_ / "pics" / "elsewhere", tmp_ / "pics" / "a" / "link");
    fs::create_symlink(tmp_ / "pics" / "a" / "x.jpg", tmp_ / "pics" / "a" / "z.jpg");
    TOptionen o;
    o.AddDirectory(Pics() + "/a", true);
    EXPECT_EQ(Catalogue(o),
              (std::vector<std::string>{Pics() + "/a/x.jpg", Pics() + "/a/z.jpg", Pics() + "/a/link/y.jpg"}))
        << "loop/ leads back to pics/, whose folders a and elsewhere were already walked";
}

TEST_F(CatalogueTest, EmptyCatalogueAndRandomPick) {
    TOptionen o;
    EXPECT_TRUE(Catalogue(o).empty());
    EXPECT_EQ(o.PickRandomPicture(), "");
    o.AddDirectory(Pics(), false);
    EXPECT_EQ(o.PickRandomPicture(), "");
    for (int i = 0; i < 4; ++i)
        Touch("p" + std::to_string(i) + ".jpg");
    SeedRandom();
    std::map<std::string, int> hits;
    for (int i = 0; i < 4000; ++i)
        ++hits[o.PickRandomPicture()];
    ASSERT_EQ(hits.size(), 4u);
    for (auto& [path, n] : hits)
        EXPECT_GT(n, 800) << path;
}

TEST_F(CatalogueTest, EntryOperations) {
    TOptionen o;
    o.AddDirectory("/a", false);
    o.AddDirectory("/b", false);
    o.AddDirectory("/c", false);
    EXPECT_EQ(o.AddDirectory("/d", true), 3);
    EXPECT_EQ(o.Verzeichnisse[3], "11/d");
    const auto before = ReadAll(IniPath());
    o.SetDirectoryActive(3, true);
    o.SetDirectoryPath(0, "/a");
    EXPECT_EQ(ReadAll(IniPath()), before);
    o.SetDirectoryPath(0, "/A");
    EXPECT_EQ(o.GetDirectoryPath(0), "/A");
    EXPECT_NE(ReadAll(IniPath()), before);
    o.DeleteDirectory(1);
    EXPECT_EQ(o.GetDirectoryPath(1), "/c");
    o.MoveDirectory(2, 0);
    EXPECT_EQ(o.Verzeichnisse, (std::vector<std::string>{"11/d", "10/A", "10/c"}));
    try {
        o.GetDirectoryPath(3);
        FAIL();
    } catch (const ZenksError& e) {
        EXPECT_STREQ(e.what(), "Listenindex überschreitet das Maximum (3)");
    }
}

TEST_F(CatalogueTest, HiddenFilesAndFoldersAreIncludedButDotFoldersAreNot) {
    Touch("versteckt/.a.jpg");
    Touch(".versteckt/b.jpg");
    TOptionen o;
    o.AddDirectory(Pics(), true);
    EXPECT_EQ(Catalogue(o), (std::vector<std::string>{Pics() + "/versteckt/.a.jpg"}));
}
