#include "config/Messages.h"

#include <gtest/gtest.h>

TEST(Messages, PlaceholdersAreFilledInOrder) {
    EXPECT_EQ(FormatMsg(Msg::IniWriteFailed, {std::string("/x/ulbrasen.ini")}),
              "nach /x/ulbrasen.ini kann nicht geschrieben werden");
    EXPECT_EQ(FormatMsg(Msg::JpegError, {53LL}), "JPEG-Fehler #53");
    EXPECT_EQ(FormatMsg(Msg::UnknownExtension, {std::string("png")}),
              "Unbekannte Bilddateierweiterung (.png)");
    EXPECT_EQ(FormatMsg(Msg::RegistrySetFailed, {std::string("TileWallpaper")}),
              "Konnte Daten für 'TileWallpaper' nicht setzen");
}

TEST(Messages, HexPlaceholderIsTwoUpperCaseDigits) {
    EXPECT_EQ(FormatMsg(Msg::GifExtension, {0x2ALL}), "Unerkannter Erweiterungsblock: 2A");
    EXPECT_EQ(FormatMsg(Msg::GifExtension, {0x0BLL}), "Unerkannter Erweiterungsblock: 0B");
}

TEST(Messages, ErrorCarriesTextAndCode) {
    try {
        Throw(Msg::StreamRead);
    } catch (const ZenksError& e) {
        EXPECT_STREQ(e.what(), "Stream-Read-Fehler");
        EXPECT_EQ(e.code(), Msg::StreamRead);
    }
}
