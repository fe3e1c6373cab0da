// The tools' UTF-8 check against GLib's own, which parses their arguments.
#include "desktop/RunCommand.h"

#include <glib.h>
#include <gtest/gtest.h>

#include <string>

namespace {
bool GlibSays(const std::string& s) {
    return g_utf8_validate(s.data(), static_cast<gssize>(s.size()), nullptr);
}
} // namespace

TEST(Utf8, AgreesWithGlibOnEveryShortSequenceAndTheBoundaries) {
    // Every one- and two-byte string.
    for (int a = 0; a < 256; ++a) {
        const std::string one(1, static_cast<char>(a));
        ASSERT_EQ(IsUtf8(one), GlibSays(one)) << a;
        for (int b = 0; b < 256; ++b) {
            const std::string two = one + static_cast<char>(b);
            ASSERT_EQ(IsUtf8(two), GlibSays(two)) << a << " " << b;
        }
    }
    // Three and four bytes around every limit: overlong forms, surrogates,
    // U+10FFFF, cut sequences, a NUL inside.
    for (const char* s : {"\xE0\x9F\xBF", "\xE0\xA0\x80", "\xED\x9F\xBF", "\xED\xA0\x80", "\xED\xBF\xBF",
                          "\xEE\x80\x80", "\xEF\xBF\xBF", "\xF0\x8F\xBF\xBF", "\xF0\x90\x80\x80",
                          "\xF4\x8F\xBF\xBF", "\xF4\x90\x80\x80", "\xF5\x80\x80\x80", "\xE2\x82",
                          "\xF0\x9F\x98", "Gr\xC3\xBC\xC3\x9F\x65", "Gr\xFC\xDF\x65", "\xC3"}) {
        const std::string text(s);
        EXPECT_EQ(IsUtf8(text), GlibSays(text)) << text;
    }
    EXPECT_FALSE(IsUtf8(std::string("a\0b", 3)));
    EXPECT_TRUE(IsUtf8("/home/jörg/Bilder 'x' ; äöü €"));
    EXPECT_EQ(Utf8ArgumentsEnv("/home/j\xC3\xB6rg"), std::vector<std::string>{"LC_ALL=C.UTF-8"});
    EXPECT_TRUE(Utf8ArgumentsEnv("/home/j\xF6rg").empty());
}
