// The fitpicture tool as a user runs it.
#include "compose/BmpWriter.h"
#include "compose/Graphics.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <sys/wait.h>

using namespace testsupport;

namespace {

struct ToolRun {
    int exitCode = -1;
    std::string out;
};

ToolRun Tool(const std::string& args) {
    const std::string cmd = std::string(ZENKS_BINARY_DIR) + "/fitpicture " + args + " 2>/dev/null";
    ToolRun r;
    FILE* p = popen(cmd.c_str(), "r");
    if (!p) return r;
    char buf[512];
    std::size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, p)) > 0)
        r.out.append(buf, n);
    const int status = pclose(p);
    r.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return r;
}

class FitToolTest : public ::testing::Test {
  protected:
    std::string P(const std::string& name) const { return (tmp_ / name).string(); }
    TempDir tmp_;
};

TEST_F(FitToolTest, ComposesUnderTheIniAndScreenGivenAndLeavesTheIniAlone) {
    TBitmap picture(600, 800);
    SaveBitmapToFile(picture, P("tall.bmp"));
    // First=1 would make the program create shortcuts and rewrite the file.
    const std::string ini = "[Optionen]\nFirst=1\nAutowandlung_4zu3=1\n";
    WriteAll(P("opts.ini"), ini);

    ToolRun r = Tool("--ini " + P("opts.ini") + " " + P("tall.bmp") + " " + P("out.bmp"));
    EXPECT_EQ(r.exitCode, 0) << r.out;
    EXPECT_EQ(ReadAll(P("opts.ini")), ini);
    TPicture out;
    out.LoadFromFile(P("out.bmp"));
    EXPECT_EQ(out.Width(), 1067);
    EXPECT_EQ(out.Height(), 800);

    WriteAll(P("fixed.ini"), "[Optionen]\nAutowandlung_Groesse=1\n");
    r = Tool("--screen 640x480 --ini " + P("fixed.ini") + " " + P("tall.bmp") + " " + P("out.bmp"));
    EXPECT_EQ(r.exitCode, 0) << r.out;
    out.LoadFromFile(P("out.bmp"));
    EXPECT_EQ(out.Width(), 640);
    EXPECT_EQ(out.Height(), 480);
}

TEST_F(FitToolTest, FailurePrintsTheErrorTextAndWritesNoFile) {
    WriteAll(P("pic.psd"), "x");
    ToolRun r = Tool(P("pic.psd") + " " + P("out.bmp"));
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.out, "Fehler: \"Unbekannte Bilddateierweiterung (.psd)\"\n");
    EXPECT_FALSE(fs::exists(P("out.bmp")));

    // Composed, but the output cannot be created.
    WriteAll(P("empty.bmp"), "");
    r = Tool(P("empty.bmp") + " " + P("missing/out.bmp"));
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.out, "Fehler: \"Datei " + P("missing/out.bmp") + " kann nicht erstellt werden\"\n");

    EXPECT_EQ(Tool("--screen 0x5 " + P("empty.bmp") + " " + P("out.bmp")).exitCode, 2);
    EXPECT_EQ(Tool(P("empty.bmp")).exitCode, 2);
}

} // namespace
