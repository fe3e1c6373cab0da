// The page "Bilder-Ladeoptionen": filling from the INI file, the size lists,
// the radio buttons and the edits that act when the focus leaves them.
#include "UiTestSupport.h"

#include "config/uOptionen.h"
#include "platform/Platform.h"
#include "tests/support/TestSupport.h"
#include "ui/OptionsPage.h"
#include "ui/ap.h"

#include <FL/Fl.H>
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <optional>

namespace {

using testsupport::ReadAll;

class OptionsPageTest : public testsupport::SandboxTest {
  protected:
    void SetUp() override { uitest::RequireDisplay(); }
    void TearDown() override { platform::SetDecimalSeparatorForTesting(std::nullopt); }

    std::unique_ptr<TFrmMain> Open(const std::string& options = "") {
        WriteIni("[Optionen]\nFirst=0\n" + options);
        return Construct();
    }

    // The window on the INI file as it is.
    std::unique_ptr<TFrmMain> Construct() {
        writes.emplace((tmp_ / "bin").string(), "ulbrasen.ini");
        FrmMainDialogs d;
        d.directory = [](std::string&, bool&) { return false; };
        d.yesNo = [](const std::string&, const std::string&, bool, int) { return false; };
        d.input = [](const std::string&, const std::string&) { return std::optional<std::string>(); };
        d.error = [this](const std::string& text) { errors.push_back(text); };
        d.popup = [](const std::vector<SelectionMenuItem>&, int, int) { return -1; };
        return std::make_unique<TFrmMain>(std::move(d));
    }

    // Shows the window on the options page, as the user would see it.
    static void ShowPage(TFrmMain& f) {
        f.pc->value(f.TabSheet1);
        uitest::ShowAndWait(f);
    }

    // Types text into the edit and moves the focus on to a check box, so
    // that no other edit is left on the way.
    static void Leave(TFrmMain& f, Fl_Input* edit, const std::string& text) {
        ASSERT_TRUE(edit->take_focus());
        edit->value(text.c_str());
        ASSERT_TRUE(f.chk4zu3->take_focus());
        Fl::check();
    }

    static void Pick(Fl_Choice* list, const std::string& item) {
        for (int i = 0; i < list->size(); ++i)
            if (list->text(i) && item == list->text(i)) {
                list->picked(list->menu() + i);
                return;
            }
        ADD_FAILURE() << "no item " << item;
    }

    std::string Ini() const { return ReadAll(IniPath()); }

    std::vector<std::string> errors;
    std::optional<uitest::FileWriteCounter> writes;
};

TEST(SizeItems, SelectAndParse) {
    const auto& items = SizeItems();
    ASSERT_EQ(items.size(), 8u);
    EXPECT_EQ(items[0], "Aktuelle Auflösung");
    EXPECT_EQ(SelectSizeItem(items, 0, 0), 0);
    EXPECT_EQ(SelectSizeItem(items, 512, 384), 1);
    EXPECT_EQ(SelectSizeItem(items, 800, 600), 3);
    EXPECT_EQ(SelectSizeItem(items, 1152, 964), 5);
    EXPECT_EQ(SelectSizeItem(items, 1152, 864), 0);
    EXPECT_EQ(SelectSizeItem(items, 1600, 1200), 7);
    EXPECT_EQ(SelectSizeItem(items, 1400, 1050), 0);
    EXPECT_EQ(SelectSizeItem(items, 600, 800), 0);

    EXPECT_FALSE(ParseSizeItem(std::nullopt));
    const auto current = ParseSizeItem(std::optional<std::string>("Aktuelle Auflösung"));
    ASSERT_TRUE(current);
    EXPECT_EQ(current->width, 0);
    EXPECT_EQ(current->height, 0);
    const auto odd = ParseSizeItem(std::optional<std::string>("1152x964"));
    ASSERT_TRUE(odd);
    EXPECT_EQ(odd->width, 1152);
    EXPECT_EQ(odd->height, 964);
}

TEST_F(OptionsPageTest, FillingShowsTheSettingsAndNeverWritesTheFile) {
    const std::string options =
        "Autowandlung_Groesse=1\nAutowandlung_4zu3=0\nFesteBildBreite=1152\n"
        "FesteBildHoehe=964\nKachelTyp=1\nKachelBildbreite=1400\nKachelBildhoehe=1050\n"
        "KachelMaxBreite=300\nKachelMaxHoehe=-2\nGeometrieOK ab=1.3\n"
        "GeometrieOK bis=1.375\nMaxKillBorder=12.5\n";
    WriteIni("[Optionen]\nFirst=0\n" + options);
    // An old time stamp: a rewrite within the same second would still show.
    const std::string ini = IniPath();
    struct timespec old[2] = {{1000000000, 0}, {1000000000, 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, ini.c_str(), old, 0), 0);
    const std::string before = Ini();

    auto f = Construct();
    EXPECT_EQ(writes->Take(), 0);
    struct stat st {};
    ASSERT_EQ(stat(ini.c_str(), &st), 0);
    EXPECT_EQ(st.st_mtim.tv_sec, 1000000000);
    EXPECT_EQ(Ini(), before);

    EXPECT_EQ(f->chkSize->value(), 1);
    EXPECT_EQ(f->chk4zu3->value(), 0);
    EXPECT_STREQ(f->cbFestgroesse->text(), "1152x964");
    EXPECT_EQ(f->optKacheltyp1->value(), 0);
    EXPECT_EQ(f->optKacheltyp2->value(), 1);
    // 1400 x 1050 matches no item: the first is shown, the values are kept.
    EXPECT_EQ(f->cbKachelgroesse->value(), 0);
    EXPECT_EQ(f->Optionen->KachelBildbreite, 1400);
    EXPECT_EQ(f->Optionen->KachelBildhoehe, 1050);
    EXPECT_STREQ(f->txtKachelBr->value(), "300");
    EXPECT_STREQ(f->txtKachelH->value(), "-2");
    EXPECT_STREQ(f->txtGeometryOKab->value(), "1.3");
    EXPECT_STREQ(f->txtGeometryOKbis->value(), "1.375");
    EXPECT_STREQ(f->txtMaxKillBorder->value(), "12.5");
    EXPECT_TRUE(errors.empty());
}

TEST_F(OptionsPageTest, GermanSeparatorInTheShownValues) {
    platform::SetDecimalSeparatorForTesting(',');
    auto f = Open("GeometrieOK ab=1,28\nMaxKillBorder=5\n");
    EXPECT_STREQ(f->txtGeometryOKab->value(), "1,28");
    EXPECT_STREQ(f->txtGeometryOKbis->value(), "1,38");
    EXPECT_STREQ(f->txtMaxKillBorder->value(), "5");
}

TEST_F(OptionsPageTest, SizeListsStoreWidthThenHeight) {
    auto f = Open("FesteBildBreite=0\nFesteBildHoehe=0\nKachelBildbreite=1400\nKachelBildhoehe=1050\n");
    EXPECT_EQ(f->cbFestgroesse->value(), 0);
    EXPECT_EQ(f->cbKachelgroesse->value(), 0);
    ShowPage(*f);

    Pick(f->cbFestgroesse, "1152x964");
    EXPECT_EQ(f->Optionen->FesteBildBreite, 1152);
    EXPECT_EQ(f->Optionen->FesteBildHoehe, 964);
    EXPECT_EQ(writes->Take(), 2);
    EXPECT_NE(Ini().find("FesteBildHoehe=964\nFesteBildBreite=1152\n"), std::string::npos);

    // Only the height differs: one save.
    Pick(f->cbFestgroesse, "1152x964");
    EXPECT_EQ(writes->Take(), 0);

    // Picking the item already shown replaces a size that matches no item.
    Pick(f->cbKachelgroesse, "Aktuelle Auflösung");
    EXPECT_EQ(f->Optionen->KachelBildbreite, 0);
    EXPECT_EQ(f->Optionen->KachelBildhoehe, 0);
    EXPECT_EQ(writes->Take(), 2);

    // While the window fills its controls, a change is ignored.
    f->Initialisierung = true;
    Pick(f->cbKachelgroesse, "640x480");
    EXPECT_EQ(f->Optionen->KachelBildbreite, 0);
    EXPECT_EQ(writes->Take(), 0);
    EXPECT_TRUE(errors.empty());
}

TEST_F(OptionsPageTest, UnknownKachelTypChecksNeitherRadioButton) {
    auto f = Open("KachelTyp=7\n");
    EXPECT_EQ(f->optKacheltyp1->value(), 0);
    EXPECT_EQ(f->optKacheltyp2->value(), 0);
    EXPECT_EQ(f->Optionen->KachelTyp, 7);
    ShowPage(*f);
    uitest::Click(*f->optKacheltyp2);
    EXPECT_EQ(f->Optionen->KachelTyp, 1);
    uitest::Click(*f->optKacheltyp1);
    EXPECT_EQ(f->Optionen->KachelTyp, 0);
    EXPECT_EQ(f->optKacheltyp2->value(), 0);
    EXPECT_EQ(writes->Take(), 2);
}

TEST_F(OptionsPageTest, IntegerFieldsOnLeaving) {
    auto f = Open("KachelMaxHoehe=250\nKachelMaxBreite=250\n");
    ShowPage(*f);

    Leave(*f, f->txtKachelH, "12a");
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0], "'12a' ist kein gültiger Integerwert");
    EXPECT_EQ(f->Optionen->KachelMaxHoehe, 250);
    EXPECT_STREQ(f->txtKachelH->value(), "12a");
    EXPECT_EQ(writes->Take(), 0);

    struct Case {
        const char* text;
        std::optional<std::int32_t> value;
    };
    const Case cases[] = {
        {"  -5", -5},
        {"+7", 7},
        {"$1F", 31},
        {"0x10", 16},
        {"0", 0},
        {"2147483647", 2147483647},
        {"2147483648", std::nullopt},
        {"", std::nullopt},
        {"5 ", std::nullopt},
        {"1,5", std::nullopt},
        {"0x", std::nullopt},
    };
    for (const Case& c : cases) {
        errors.clear();
        const std::int32_t before = f->Optionen->KachelMaxBreite;
        Leave(*f, f->txtKachelBr, c.text);
        if (c.value) {
            EXPECT_TRUE(errors.empty()) << c.text;
            EXPECT_EQ(f->Optionen->KachelMaxBreite, *c.value) << c.text;
        } else {
            ASSERT_EQ(errors.size(), 1u) << c.text;
            EXPECT_EQ(errors[0], "'" + std::string(c.text) + "' ist kein gültiger Integerwert");
            EXPECT_EQ(f->Optionen->KachelMaxBreite, before) << c.text;
        }
    }
}

TEST_F(OptionsPageTest, DecimalFieldsFollowTheSeparator) {
    auto f = Open("GeometrieOK ab=1.28\n");
    ShowPage(*f);

    platform::SetDecimalSeparatorForTesting(',');
    Leave(*f, f->txtGeometryOKab, "1.3");
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0], "'1.3' ist kein gültiger Gleitkommawert");
    EXPECT_DOUBLE_EQ(f->Optionen->GeometrieOKAb, 1.28);
    EXPECT_STREQ(f->txtGeometryOKab->value(), "1.3");
    EXPECT_EQ(writes->Take(), 0);
    Leave(*f, f->txtGeometryOKab, "1,3");
    EXPECT_DOUBLE_EQ(f->Optionen->GeometrieOKAb, 1.3);
    Leave(*f, f->txtMaxKillBorder, " -1,5E1 ");
    EXPECT_DOUBLE_EQ(f->Optionen->MaxKillBorder, -15);
    // A lower bound above the upper one is stored as typed.
    Leave(*f, f->txtGeometryOKbis, "0,5");
    EXPECT_DOUBLE_EQ(f->Optionen->GeometrieOKBis, 0.5);
    EXPECT_EQ(errors.size(), 1u);

    platform::SetDecimalSeparatorForTesting('.');
    errors.clear();
    Leave(*f, f->txtGeometryOKab, "1,4");
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0], "'1,4' ist kein gültiger Gleitkommawert");
    EXPECT_DOUBLE_EQ(f->Optionen->GeometrieOKAb, 1.3);
    for (const char* bad : {"1.000.000", "1e999", "inf", "nan", "1.5x"}) {
        errors.clear();
        Leave(*f, f->txtMaxKillBorder, bad);
        EXPECT_EQ(errors.size(), 1u) << bad;
    }
    Leave(*f, f->txtGeometryOKab, "1.4");
    EXPECT_DOUBLE_EQ(f->Optionen->GeometrieOKAb, 1.4);
    EXPECT_DOUBLE_EQ(f->Optionen->MaxKillBorder, -15);
}

TEST_F(OptionsPageTest, OnlyARealFocusMoveCountsAsLeaving) {
    auto f = Open("KachelMaxBreite=250\n");
    ShowPage(*f);
    ASSERT_TRUE(f->txtKachelBr->take_focus());
    f->txtKachelBr->value("12a");
    f->pc->value(f->pSettings);
    Fl::check();
    f->pc->value(f->TabSheet1);
    Fl::check();
    f->hide();
    Fl::check();
    EXPECT_TRUE(errors.empty());
    EXPECT_EQ(writes->Take(), 0);
}

TEST_F(OptionsPageTest, TabWalksThePageInOrderAndLeavingUnchangedWritesNothing) {
    auto f = Open();
    ShowPage(*f);
    ASSERT_TRUE(f->txtKachelBr->take_focus());
    const std::vector<Fl_Widget*> expected = {f->txtKachelH,      f->chkSize,          f->chk4zu3,
                                              f->txtGeometryOKab, f->txtGeometryOKbis, f->txtMaxKillBorder,
                                              f->cbFestgroesse,   f->chkEigenesBild,   f->cbKachelgroesse,
                                              f->optKacheltyp1,   f->optKacheltyp2};
    for (Fl_Widget* next : expected) {
        uitest::PressKey(FL_Tab);
        EXPECT_EQ(Fl::focus(), next) << (next->label() ? next->label() : "(edit or list)");
    }
    EXPECT_TRUE(errors.empty());
    EXPECT_EQ(writes->Take(), 0);
}

TEST_F(OptionsPageTest, OwnPictureForEachMonitorIsSavedAtOnce) {
    auto f = Open("EigenesBildJeBildschirm=1\n");
    EXPECT_EQ(f->chkEigenesBild->value(), 1);
    EXPECT_STREQ(f->chkEigenesBild->label(), "Jeder Bildschirm bekommt ein eigenes Bild");
    EXPECT_EQ(f->chkEigenesBild->parent(), f->GroupBox4);
    ShowPage(*f);
    // In its free row: it overlaps none of the group's other controls.
    const Fl_Widget* c = f->chkEigenesBild;
    for (int i = 0; i < f->GroupBox4->children(); ++i) {
        const Fl_Widget* o = f->GroupBox4->child(i);
        if (o == c) continue;
        const bool apart = o->x() >= c->x() + c->w() || c->x() >= o->x() + o->w() ||
                           o->y() >= c->y() + c->h() || c->y() >= o->y() + o->h();
        EXPECT_TRUE(apart) << (o->label() ? o->label() : "(edit or list)");
    }
    f->chkEigenesBild->do_callback(); // unchanged: nothing to store
    EXPECT_EQ(writes->Take(), 0);
    f->chkEigenesBild->value(0);
    f->chkEigenesBild->do_callback();
    EXPECT_EQ(writes->Take(), 1);
    EXPECT_NE(Ini().find("EigenesBildJeBildschirm=0\n"), std::string::npos) << Ini();
    EXPECT_FALSE(f->Optionen->EigenesBildJeBildschirm);
}

TEST_F(OptionsPageTest, GermanAndEnglishProcessLocales) {
    // The same binary, run again with the locale set before the process starts.
    for (const auto& [locale, sep] : {std::pair{"de_DE.UTF-8", ','}, std::pair{"en_US.UTF-8", '.'}}) {
        const std::string cmd = std::string("env -u LANGUAGE LC_ALL=") + locale + " ZENKS_EXPECT_DECIMAL='" +
                                sep + "' /proc/" + std::to_string(getpid()) +
                                "/exe --gtest_filter=OptionsPageLocaleChild.* >/dev/null 2>&1";
        EXPECT_EQ(std::system(cmd.c_str()), 0) << locale;
    }
}

// Also run on its own, under whatever locale the test run has.
class OptionsPageLocaleChild : public OptionsPageTest {};

TEST_F(OptionsPageLocaleChild, AcceptsOnlyTheLocaleSeparator) {
    // The sandbox pins "."; here the process locale decides.
    platform::SetDecimalSeparatorForTesting(std::nullopt);
    const char sep = platform::DecimalSeparator();
    if (const char* expected = std::getenv("ZENKS_EXPECT_DECIMAL")) {
        ASSERT_EQ(sep, expected[0]);
    }
    auto f = Open(std::string("GeometrieOK ab=1") + sep + "28\n");
    EXPECT_EQ(f->txtGeometryOKab->value(), std::string("1") + sep + "28");
    ShowPage(*f);
    const std::string good = std::string("1") + sep + "3";
    const std::string bad = std::string("1") + (sep == ',' ? '.' : ',') + "3";
    Leave(*f, f->txtGeometryOKab, bad);
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0], "'" + bad + "' ist kein gültiger Gleitkommawert");
    Leave(*f, f->txtGeometryOKab, good);
    EXPECT_DOUBLE_EQ(f->Optionen->GeometrieOKAb, 1.3);
    EXPECT_EQ(errors.size(), 1u);
}

} // namespace
