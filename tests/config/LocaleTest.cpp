#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <cstdio>

using namespace testsupport;

namespace {
std::vector<std::string> Probe(const std::string& locale, const std::string& args = "") {
    const std::string cmd =
        "env -u LANGUAGE LC_ALL=" + locale + " '" ZENKS_BINARY_DIR "/tests/config/locale_probe' " + args;
    std::vector<std::string> lines;
    if (FILE* p = popen(cmd.c_str(), "r")) {
        char buf[4096];
        while (std::fgets(buf, sizeof buf, p)) {
            std::string l = buf;
            if (!l.empty() && l.back() == '\n') l.pop_back();
            lines.push_back(l);
        }
        pclose(p);
    }
    return lines;
}
} // namespace

// The locales come from scripts/install-deps (localedef de_DE and en_US).
TEST(ProcessLocale, DecimalSeparatorAndDateFormatFromTheLocale) {
    const auto de = Probe("de_DE.UTF-8");
    ASSERT_EQ(de.size(), 2u);
    EXPECT_EQ(de[0], ",");
    EXPECT_EQ(de[1], "dd.MM.yyyy");
    const auto en = Probe("en_US.UTF-8");
    ASSERT_EQ(en.size(), 2u);
    EXPECT_EQ(en[0], ".");
    EXPECT_EQ(en[1], "MM/dd/yyyy");
    EXPECT_EQ(Probe("C")[0], ".");
}

TEST(ProcessLocale, GermanFileReadUnderEnglishFallsBackToTheDefault) {
    TempDir dir;
    WriteAll(dir / "ulbrasen.ini", "[Optionen]\nFirst=0\n");
    const auto de = Probe("de_DE.UTF-8", "'" + dir.str() + "' 1.3");
    ASSERT_EQ(de.size(), 3u);
    EXPECT_NE(ReadAll(dir / "ulbrasen.ini").find("GeometrieOK ab=1,3\n"), std::string::npos);
    EXPECT_EQ(Probe("de_DE.UTF-8", "'" + dir.str() + "'")[2], "1.3");
    EXPECT_EQ(Probe("en_US.UTF-8", "'" + dir.str() + "'")[2], "1.28");
}
