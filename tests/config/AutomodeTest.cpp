#include "tests/support/TestSupport.h"

#include "config/Automode.h"
#include "config/Clzenk.h"
#include "desktop/uDirectXErkennung.h"
#include "config/uOptionen.h"
#include "platform/Platform.h"

using namespace testsupport;

TEST(ClzenkTest, ShortDateFormatGetsFourDigitYears) {
    EXPECT_EQ(FourDigitYearFormat("d.M.yy"), "d.M.yyyy");
    EXPECT_EQ(FourDigitYearFormat("dd/MM/yyyy"), "dd/MM/yyyy");
    EXPECT_EQ(FourDigitYearFormat("yyyy-MM-dd"), "yyyy-MM-dd");
    EXPECT_EQ(FourDigitYearFormat("MM/dd"), "dd.MM.yyyy");
    EXPECT_EQ(FourDigitYearFormat(""), "dd.MM.yyyy");
    // Only the first "yy" grows, and the comparison minds the case.
    EXPECT_EQ(FourDigitYearFormat("yy.MM.dd yy"), "yyyy.MM.dd yy");
    EXPECT_EQ(FourDigitYearFormat("d.M.YY"), "dd.MM.yyyy");
    // Only the first 20 characters count.
    EXPECT_EQ(FourDigitYearFormat("dddd, d. MMMM   xx yy"), "dd.MM.yyyy");
    EXPECT_EQ(FourDigitYearFormat("d. MMMM yy (dddd) ..."), "d. MMMM yyyy (dddd) ..");
}

TEST(AutomodeTest, OnlyAFirstArgumentOfRunInAnyCaseSelectsTheAutomaticChange) {
    auto selects = [](std::vector<std::string> args) {
        std::vector<char*> argv;
        for (auto& a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        return IsAutomaticChangeRequested(static_cast<int>(args.size()), argv.data());
    };
    for (const auto& yes : std::vector<std::vector<std::string>>{{"ulbrasen", "/run"},
                                                                 {"ulbrasen", "/RUN"},
                                                                 {"ulbrasen", "/Run"},
                                                                 {"ulbrasen", "/run", "-x", "y"}})
        EXPECT_TRUE(selects(yes)) << yes[1];
    for (const auto& no : std::vector<std::vector<std::string>>{{"ulbrasen"},
                                                                {"ulbrasen", "-run"},
                                                                {"ulbrasen", "run"},
                                                                {"ulbrasen", "/run2"},
                                                                {"ulbrasen", " /run"},
                                                                {"ulbrasen", ""},
                                                                {"ulbrasen", "x", "/run"},
                                                                {"ulbrasen", "/r\xC3\x9cN"}})
        EXPECT_FALSE(selects(no)) << (no.size() > 1 ? no[1] : "");
}

class RunAutomaticChangeTest : public SandboxTest {
  protected:
    ~RunAutomaticChangeTest() override { SetExclusiveModeForTesting(std::nullopt); }
};

TEST_F(RunAutomaticChangeTest, EmptyCatalogueEndsWithZeroAndWritesNothing) {
    WriteIni("[Optionen]\nFirst=0\nAnzVerz=1\nVerz1=" + (tmp_ / "leer").string() + "\nVerz1/Optionen=A\n");
    SetExclusiveModeForTesting(0);
    testing::internal::CaptureStderr();
    EXPECT_EQ(RunAutomaticChange(), 0);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_FALSE(fs::exists(tmp_ / "bin" / "ulbrasen.bmp"));
}

TEST_F(RunAutomaticChangeTest, UnwritableIniOnAFirstRunEndsWithOneAndTheGermanMessage) {
    // A folder where the INI should go refuses the write on every platform
    // (Wine runs as root and ignores read-only folders; a program folder
    // that cannot be written would move the INI to the user's folder).
    const fs::path exe = tmp_ / "bin" / "ulbrasen";
    fs::create_directories(tmp_ / "bin" / "ulbrasen.ini");
    platform::SetExecutablePathForTesting(exe.string());
    ForgetProgramFolderForTesting();
    testing::internal::CaptureStderr();
    EXPECT_EQ(RunAutomaticChange(), 1);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "nach " + ChangeFileExt(exe.string(), ".ini") + " kann nicht geschrieben werden\n");
}
