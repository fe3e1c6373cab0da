// The configuration window driven through its handlers and synthetic events,
// with the dialogs answered by the test; checks widgets, the INI file and the
// ".aw" file.
#include "UiTestSupport.h"

#include "config/uOptionen.h"
#include "desktop/uVerknuepfungen.h"
#include "tests/support/TestSupport.h"
#include "ui/OptionsPage.h"
#include "ui/PictureView.h"
#include "ui/SelectionSets.h"
#include "ui/ap.h"

#include <FL/Fl.H>
#include <FL/fl_draw.H>
#include <FL/x.H>
#include <X11/Xatom.h>
#include <X11/Xutil.h>
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <optional>

namespace {

namespace fs = std::filesystem;
using testsupport::ReadAll;
using testsupport::WriteAll;

struct Entry {
    std::string path;
    bool active;
    bool recursive;
};

class FrmMainTest : public testsupport::SandboxTest {
  protected:
    void SetUp() override {
        uitest::RequireDisplay();
        WriteIni("[Optionen]\nFirst=0\n");
    }

    void Seed(const std::vector<Entry>& entries) {
        TOptionen o;
        for (const Entry& e : entries) {
            const int i = o.AddDirectory(e.path, e.recursive);
            o.SetDirectoryActive(i, e.active);
        }
    }

    std::unique_ptr<TFrmMain> Open() {
        FrmMainDialogs d;
        d.directory = [this](std::string& path, bool& recursive) {
            directoryCalls.push_back({path, true, recursive});
            if (!directoryAnswer) return false;
            path = directoryAnswer->path;
            recursive = directoryAnswer->recursive;
            return true;
        };
        d.yesNo = [this](const std::string& caption, const std::string& text, bool yesDefault, int help) {
            questions.push_back(caption + "|" + text + "|" + (yesDefault ? "yes" : "no") + "|" +
                                std::to_string(help));
            return yesAnswer;
        };
        d.input = [this](const std::string& title, const std::string& prompt) {
            inputs.push_back(title + "|" + prompt);
            return inputAnswer;
        };
        d.error = [this](const std::string& text) { errors.push_back(text); };
        d.popup = [this](const std::vector<SelectionMenuItem>& items, int, int) {
            menu.clear();
            for (const auto& item : items)
                if (item.visible) menu.push_back(item.caption);
            for (std::size_t i = 0; i < items.size(); ++i)
                if (items[i].visible && items[i].caption == menuChoice) return static_cast<int>(i);
            return -1;
        };
        auto frm = std::make_unique<TFrmMain>(std::move(d));
        writes.emplace((tmp_ / "bin").string(), "ulbrasen.ini");
        return frm;
    }

    static std::vector<std::string> Rows(const TFrmMain& f) {
        std::vector<std::string> rows;
        for (int line = 1; line <= f.lVerz->size(); ++line)
            rows.push_back(std::string(f.lVerz->checked(line) ? "[x] " : "[ ] ") + f.lVerz->text(line));
        return rows;
    }

    // Chooses caption from the menu of the button.
    void Menu(TFrmMain&, Fl_Button* button, const std::string& caption) {
        menuChoice = caption;
        button->do_callback();
    }

    std::string AwPath() const { return (tmp_ / "bin" / "ulbrasen.aw").string(); }

    std::vector<Entry> directoryCalls;
    std::optional<Entry> directoryAnswer;
    std::vector<std::string> questions;
    bool yesAnswer = false;
    std::vector<std::string> inputs;
    std::optional<std::string> inputAnswer;
    std::vector<std::string> errors;
    std::vector<std::string> menu;
    std::string menuChoice;
    std::optional<uitest::FileWriteCounter> writes;
};

std::string WindowProperty(Window xid, const char* name) {
    Atom prop = XInternAtom(fl_display, name, False);
    Atom type;
    int format;
    unsigned long count, after;
    unsigned char* data = nullptr;
    std::string value;
    if (XGetWindowProperty(fl_display, xid, prop, 0, 1024, False, AnyPropertyType, &type, &format, &count,
                           &after, &data) == Success &&
        data) {
        const std::size_t item = format == 32 ? sizeof(long) : static_cast<std::size_t>(format / 8);
        value.assign(reinterpret_cast<char*>(data), count * item);
        XFree(data);
    }
    return value;
}

// The layout is in FLTK's units; on the X server the client area is that
// times the scale (FLTK_SCALING_FACTOR, or the desktop's setting).
TEST_F(FrmMainTest, WindowHasItsTitleAndFixedClientSizeOnTheXServer) {
    auto f = Open();
    uitest::ShowAndWait(*f);
    const float scale = Fl::screen_scale(f->screen_num());
    const int physW = static_cast<int>(546 * scale + 0.5f), physH = static_cast<int>(460 * scale + 0.5f);
    EXPECT_EQ(f->w(), 546);
    EXPECT_EQ(f->h(), 460);
    const Window xid = fl_xid(f.get());
    XWindowAttributes attr{};
    ASSERT_TRUE(XGetWindowAttributes(fl_display, xid, &attr));
    EXPECT_EQ(attr.width, physW);
    EXPECT_EQ(attr.height, physH);
    EXPECT_EQ(WindowProperty(xid, "_NET_WM_NAME"), "Zenks Hintergrundwechsler V1.0");
    XSizeHints hints{};
    long supplied = 0;
    ASSERT_TRUE(XGetWMNormalHints(fl_display, xid, &hints, &supplied));
    EXPECT_EQ(hints.min_width, physW);
    EXPECT_EQ(hints.max_width, physW);
    EXPECT_EQ(hints.min_height, physH);
    EXPECT_EQ(hints.max_height, physH);
    // No maximise box: the Motif hints leave out resizing and maximising
    // (functions "all but" resize and maximise).
    const std::string mwm = WindowProperty(xid, "_MOTIF_WM_HINTS");
    ASSERT_GE(mwm.size(), 2u);
    const long* prop = reinterpret_cast<const long*>(mwm.data());
    EXPECT_TRUE(prop[0] & 1) << "functions given";
    EXPECT_EQ(prop[1] & (1 | 2 | 16), 1 | 2 | 16) << "all functions but resize and maximise";
    // Centred on the screen of the test server, never above or left of it.
    EXPECT_EQ(f->x(), std::max(0, (Fl::w() - 546) / 2));
    EXPECT_EQ(f->y(), std::max(0, (Fl::h() - 460) / 2));

    EXPECT_EQ(f->pc->value(), f->pSettings);
    EXPECT_STREQ(f->pSettings->label(), "&Einstellungen");
    EXPECT_STREQ(f->pBilder->label(), "Bilderliste");
    EXPECT_STREQ(f->TabSheet1->label(), "Bilder-Ladeoptionen");
    EXPECT_FALSE(f->butSuchen->active());
    EXPECT_EQ(f->cbDesktop->size(), 5) << "four modes and the end marker";
    EXPECT_STREQ(f->cbDesktop->text(3), "Konfiguration && Bildwechsel");
    f->hide();
}

TEST_F(FrmMainTest, TabOrderFollowsTheLayout) {
    auto f = Open();
    const std::vector<Fl_Widget*> first = {
        f->lVerz,           f->butSuchen,           f->butEinfuegen,      f->butAendern, f->butLoeschen,
        f->butHoch,         f->butRunter,           f->butAlle,           f->butKein,    f->butInvert,
        f->butAuswahlLaden, f->butAuswahlSpeichern, f->butAuswahlLoeschen};
    for (std::size_t i = 0; i < first.size(); ++i)
        EXPECT_EQ(f->GroupBox1->child(static_cast<int>(i)), first[i]) << i;
    EXPECT_LT(f->pSettings->find(f->GroupBox1), f->pSettings->find(f->GroupBox2));
    EXPECT_LT(f->GroupBox2->find(f->cbDesktop), f->GroupBox2->find(f->cbStartmenu));
    EXPECT_LT(f->GroupBox2->find(f->cbStartmenu), f->GroupBox2->find(f->chkAutostart));
}

// Tab from the last control of a page goes round to the first, and Shift+Tab
// from the first to the last, as in any dialog.
TEST_F(FrmMainTest, TabWrapsAroundOnEveryPage) {
    auto f = Open();
    uitest::ShowAndWait(*f);
    struct Page {
        Fl_Group* page;
        Fl_Widget* first;
        Fl_Widget* last;
    };
    for (const Page& p :
         {Page{f->pSettings, f->lVerz, f->chkAutostart}, Page{f->TabSheet1, f->txtKachelBr, f->optKacheltyp2},
          Page{f->pBilder, f->lBilder, f->Button7}}) {
        f->pc->value(p.page);
        f->pc->do_callback();
        Fl::check();
        p.last->take_focus();
        uitest::PressKey(FL_Tab, "\t");
        const Fl_Widget* afterLast = Fl::focus();
        EXPECT_TRUE(afterLast == p.first || afterLast == f->pc)
            << p.page->label() << ": Tab left the last control for "
            << (afterLast ? afterLast->label() : "nothing");
        p.first->take_focus();
        uitest::PressKey(FL_Tab, "\t", FL_SHIFT);
        const Fl_Widget* beforeFirst = Fl::focus();
        EXPECT_TRUE(beforeFirst == p.last || beforeFirst == f->pc) << p.page->label();
    }
}

TEST_F(FrmMainTest, AddingAppendsAnActiveRowAndKeepsTheSelection) {
    auto f = Open();
    directoryAnswer = Entry{"/bilder/urlaub", true, true};
    f->butEinfuegen->do_callback();
    ASSERT_EQ(directoryCalls.size(), 1u);
    EXPECT_EQ(directoryCalls[0].path, "");
    EXPECT_FALSE(directoryCalls[0].recursive);
    EXPECT_EQ(Rows(*f), (std::vector<std::string>{"[x] /bilder/urlaub (rekursiv!)"}));
    EXPECT_EQ(f->SelectedRow(), -1);
    EXPECT_NE(ReadAll(IniPath()).find("Verz1=/bilder/urlaub\n"), std::string::npos);
    EXPECT_EQ(writes->Take(), 1);

    f->lVerz->value(1);
    directoryAnswer = Entry{"@zwei\tmit Tab", true, false};
    f->butEinfuegen->do_callback();
    EXPECT_EQ(Rows(*f), (std::vector<std::string>{"[x] /bilder/urlaub (rekursiv!)", "[x] @zwei\tmit Tab"}));
    EXPECT_EQ(f->SelectedRow(), 0) << "the new last row is not selected";

    directoryAnswer.reset();
    f->butEinfuegen->do_callback();
    EXPECT_EQ(f->lVerz->size(), 2);
    EXPECT_EQ(writes->Take(), 1) << "only the second add wrote";
}

TEST_F(FrmMainTest, EditingWritesPathAndRecursionButNotTheMark) {
    Seed({{"/a", false, true}, {"/b", true, false}});
    auto f = Open();
    f->butAendern->do_callback();
    EXPECT_TRUE(directoryCalls.empty()) << "nothing selected, no dialog";

    f->lVerz->value(1);
    directoryAnswer = Entry{"/a neu", true, false};
    f->butAendern->do_callback();
    ASSERT_EQ(directoryCalls.size(), 1u);
    EXPECT_EQ(directoryCalls[0].path, "/a");
    EXPECT_TRUE(directoryCalls[0].recursive);
    EXPECT_EQ(Rows(*f), (std::vector<std::string>{"[ ] /a neu", "[x] /b"}));
    EXPECT_EQ(f->SelectedRow(), 0);
    EXPECT_EQ(writes->Take(), 2) << "path and recursion save one after the other";

    directoryAnswer = Entry{"/a neu", true, false};
    f->butAendern->do_callback();
    EXPECT_EQ(writes->Take(), 0) << "unchanged values write nothing";
}

TEST_F(FrmMainTest, DeletingAsksAndMovesTheSelection) {
    Seed({{"/a", true, false}, {"/b", true, true}, {"/c", false, false}});
    auto f = Open();
    f->butLoeschen->do_callback();
    EXPECT_TRUE(questions.empty());

    f->lVerz->value(2);
    yesAnswer = false;
    f->butLoeschen->do_callback();
    ASSERT_EQ(questions.size(), 1u);
    EXPECT_EQ(questions[0],
              "Verzeichnis entfernen|Soll das Verzeichnis /b wirklich aus der Liste entfernt werden?|yes|0");
    EXPECT_EQ(f->lVerz->size(), 3);
    EXPECT_EQ(writes->Take(), 0);

    yesAnswer = true;
    f->butLoeschen->do_callback();
    EXPECT_EQ(Rows(*f), (std::vector<std::string>{"[x] /a", "[ ] /c"}));
    EXPECT_EQ(f->SelectedRow(), 1) << "the former next row";
    EXPECT_EQ(ReadAll(IniPath()).find("/b"), std::string::npos);

    f->butLoeschen->do_callback();
    EXPECT_EQ(Rows(*f), (std::vector<std::string>{"[x] /a"}));
    EXPECT_EQ(f->SelectedRow(), 0) << "the new last row";

    f->butLoeschen->do_callback();
    EXPECT_EQ(f->lVerz->size(), 0);
    EXPECT_EQ(f->SelectedRow(), -1);
    EXPECT_EQ(writes->Take(), 3);
}

TEST_F(FrmMainTest, MarkingAllNoneAndInvertWriteOncePerChangedRow) {
    auto empty = Open();
    empty->butAlle->do_callback();
    empty->butInvert->do_callback();
    EXPECT_EQ(writes->Take(), 0) << "an empty list does nothing";
    empty.reset();

    Seed({{"/a", true, false}, {"/b", false, false}, {"/c", false, true}});
    auto f = Open();
    f->lVerz->value(2);
    f->butAlle->do_callback();
    EXPECT_EQ(Rows(*f), (std::vector<std::string>{"[x] /a", "[x] /b", "[x] /c (rekursiv!)"}));
    EXPECT_EQ(writes->Take(), 2);
    f->butAlle->do_callback();
    EXPECT_EQ(writes->Take(), 0) << "all ticked already";
    f->butKein->do_callback();
    EXPECT_EQ(writes->Take(), 3);
    f->butAlle->do_callback();
    (void)writes->Take();
    f->butKein->do_callback();
    f->Optionen->SetDirectoryActive(0, true);
    f->RefreshDirectoryList();
    (void)writes->Take();

    f->butInvert->do_callback();
    EXPECT_EQ(Rows(*f), (std::vector<std::string>{"[ ] /a", "[x] /b", "[x] /c (rekursiv!)"}));
    EXPECT_EQ(writes->Take(), 3);
    f->butInvert->do_callback();
    EXPECT_EQ(Rows(*f), (std::vector<std::string>{"[x] /a", "[ ] /b", "[ ] /c (rekursiv!)"}));
    EXPECT_EQ(writes->Take(), 3);
    EXPECT_EQ(f->SelectedRow(), 1) << "marking leaves the selection alone";
    EXPECT_TRUE(f->Optionen->IsDirectoryActive(0));
    EXPECT_FALSE(f->Optionen->IsDirectoryActive(2));
}

TEST_F(FrmMainTest, ClickInTheBoxTogglesClickOnTheTextOnlySelects) {
    Seed({{"/a", true, false}, {"/b", false, false}});
    auto f = Open();
    uitest::ShowAndWait(*f);
    const int X = f->lVerz->x() + Fl::box_dx(f->lVerz->box());
    const int Y = f->lVerz->y() + Fl::box_dy(f->lVerz->box());
    fl_font(f->lVerz->textfont(), f->lVerz->textsize());
    const int rowH = fl_height();
    const int secondRowY = Y + rowH + rowH / 2;

    uitest::ClickAt(*f, X + 7, secondRowY);
    EXPECT_EQ(f->SelectedRow(), 1);
    EXPECT_EQ(Rows(*f), (std::vector<std::string>{"[x] /a", "[x] /b"}));
    EXPECT_TRUE(f->Optionen->IsDirectoryActive(1));
    EXPECT_EQ(writes->Take(), 1);

    uitest::ClickAt(*f, X + 60, Y + rowH / 2);
    EXPECT_EQ(f->SelectedRow(), 0);
    EXPECT_EQ(Rows(*f), (std::vector<std::string>{"[x] /a", "[x] /b"}));
    EXPECT_EQ(writes->Take(), 0);

    f->lVerz->take_focus();
    uitest::PressKey(' ', " ");
    EXPECT_EQ(Rows(*f), (std::vector<std::string>{"[ ] /a", "[x] /b"}));
    EXPECT_FALSE(f->Optionen->IsDirectoryActive(0));
    EXPECT_EQ(writes->Take(), 1);
    f->hide();
}

TEST_F(FrmMainTest, UpAndDownMoveTheEntryWithItsMarksAndTheSelectionFollows) {
    Seed({{"/a", true, false}, {"/b", false, true}, {"/c", true, false}});
    auto f = Open();
    f->butHoch->do_callback();
    f->butRunter->do_callback();
    EXPECT_EQ(writes->Take(), 0) << "no selection, nothing moves";

    f->lVerz->value(2);
    f->butHoch->do_callback();
    EXPECT_EQ(Rows(*f), (std::vector<std::string>{"[ ] /b (rekursiv!)", "[x] /a", "[x] /c"}));
    EXPECT_EQ(f->SelectedRow(), 0);
    const std::string ini = ReadAll(IniPath());
    EXPECT_LT(ini.find("=/b"), ini.find("=/a"));
    f->butHoch->do_callback();
    EXPECT_EQ(f->SelectedRow(), 0) << "the first row stays";

    f->butRunter->do_callback();
    f->butRunter->do_callback();
    EXPECT_EQ(Rows(*f), (std::vector<std::string>{"[x] /a", "[x] /c", "[ ] /b (rekursiv!)"}));
    EXPECT_EQ(f->SelectedRow(), 2);
    f->butRunter->do_callback();
    EXPECT_EQ(f->SelectedRow(), 2) << "the last row stays";
    EXPECT_EQ(writes->Take(), 3);

    TOptionen reread;
    EXPECT_EQ(reread.Verzeichnisse, (std::vector<std::string>{"10/a", "10/c", "01/b"}));
}

TEST_F(FrmMainTest, ShortcutControlsActOnTheFilesAtOnceWithoutWritingTheIni) {
    auto f = Open();
    EXPECT_EQ(f->cbDesktop->value(), 0);
    EXPECT_EQ(f->chkAutostart->value(), 0);

    f->cbDesktop->value(2);
    f->cbDesktop->do_callback();
    EXPECT_TRUE(fs::exists(DesktopDir() / kChangeLinkName));
    EXPECT_FALSE(fs::exists(DesktopDir() / kConfigLinkName));
    f->cbStartmenu->value(3);
    f->cbStartmenu->do_callback();
    EXPECT_TRUE(fs::exists(ProgramsDir() / kChangeLinkName));
    EXPECT_TRUE(fs::exists(ProgramsDir() / kConfigLinkName));
    f->chkAutostart->value(1);
    f->chkAutostart->do_callback();
    EXPECT_TRUE(fs::exists(AutostartDir() / kChangeLinkName));
    f->chkAutostart->value(0);
    f->chkAutostart->do_callback();
    EXPECT_FALSE(fs::exists(AutostartDir() / kChangeLinkName));
    EXPECT_EQ(writes->Take(), 0);
    f.reset();

    // A new window shows what is on disk.
    auto again = Open();
    EXPECT_EQ(again->cbDesktop->value(), 2);
    EXPECT_EQ(again->cbStartmenu->value(), 3);
    EXPECT_EQ(again->chkAutostart->value(), 0);
}

TEST_F(FrmMainTest, FailedIniWriteIsShownAndTheWindowKeepsWhatTheSettingsHold) {
    Seed({{"/a", false, false}, {"/b", false, false}});
    auto f = Open();
    testsupport::PermissionChecksOn strict;
    ASSERT_EQ(chmod((tmp_ / "bin").c_str(), 0555), 0);
    f->butAlle->do_callback();
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0], "nach " + IniPath() + " kann nicht geschrieben werden");
    // The first change stopped the loop: the list shows what the settings hold.
    EXPECT_EQ(Rows(*f), (std::vector<std::string>{"[x] /a", "[ ] /b"}));

    directoryAnswer = Entry{"/neu", true, false};
    f->butEinfuegen->do_callback();
    EXPECT_EQ(errors.size(), 2u);
    chmod((tmp_ / "bin").c_str(), 0755);
}

// Selection sets.

TEST_F(FrmMainTest, WithoutAFileOnlySavingIsOfferedAndOnlyItShowsNeu) {
    auto f = Open();
    EXPECT_FALSE(f->butAuswahlLaden->active());
    EXPECT_FALSE(f->butAuswahlLoeschen->active());
    EXPECT_TRUE(f->butAuswahlSpeichern->active());
    Menu(*f, f->butAuswahlSpeichern, "");
    EXPECT_EQ(menu, (std::vector<std::string>{"<Neu>"}));
    EXPECT_EQ(f->AuswahlAktion, 1);
    EXPECT_EQ(f->popAuswahlX, f->x_root() + f->butAuswahlSpeichern->x() + 62 / 3);
    EXPECT_EQ(f->popAuswahlY, f->y_root() + f->butAuswahlSpeichern->y() + 23 / 2);
    EXPECT_FALSE(fs::exists(AwPath()));
}

TEST_F(FrmMainTest, UrlaubIsSavedLoadedOverwrittenAndDeleted) {
    Seed({{"C:\\A", true, false}, {"C:\\B", false, false}, {"C:\\C", true, true}});
    auto f = Open();
    inputAnswer = "Urlaub";
    Menu(*f, f->butAuswahlSpeichern, "<Neu>");
    EXPECT_EQ(inputs,
              (std::vector<std::string>{
                  "Neue Auswahl speichern|Unter welchem Namen soll die Auswahl gespeichert werden?"}));
    EXPECT_EQ(ReadAll(AwPath()), "Urlaub=::C:\\A::C:\\C::\r\n");
    EXPECT_TRUE(f->butAuswahlLaden->active());
    EXPECT_TRUE(f->butAuswahlLoeschen->active());
    EXPECT_EQ(writes->Take(), 0) << "the INI file is not touched";

    // Load into a list with a fourth, active entry.
    f->Optionen->AddDirectory("C:\\D", false);
    f->Optionen->SetDirectoryActive(1, true);
    f->RefreshDirectoryList();
    (void)writes->Take();
    Menu(*f, f->butAuswahlLaden, "Urlaub");
    EXPECT_EQ(menu, (std::vector<std::string>{"Urlaub"})) << "no <Neu> when loading";
    EXPECT_EQ(Rows(*f),
              (std::vector<std::string>{"[x] C:\\A", "[ ] C:\\B", "[x] C:\\C (rekursiv!)", "[ ] C:\\D"}));
    EXPECT_EQ(writes->Take(), 2);

    // Save over it: same name, new value, no question.
    f->Optionen->SetDirectoryActive(3, true);
    inputs.clear();
    Menu(*f, f->butAuswahlSpeichern, "Urlaub");
    EXPECT_TRUE(inputs.empty());
    EXPECT_EQ(ReadAll(AwPath()), "Urlaub=::C:\\A::C:\\C::C:\\D::\r\n");

    Menu(*f, f->butAuswahlLoeschen, "Urlaub");
    EXPECT_EQ(menu, (std::vector<std::string>{"Urlaub"})) << "no <Neu> when deleting";
    EXPECT_TRUE(fs::exists(AwPath()));
    EXPECT_EQ(fs::file_size(AwPath()), 0u);
    EXPECT_FALSE(f->butAuswahlLaden->active());
    EXPECT_FALSE(f->butAuswahlLoeschen->active());
}

TEST_F(FrmMainTest, LoadingMatchesWholePathsWithTheirCase) {
    Seed({{"C:\\A", true, false}, {"C:\\AB", false, false}, {"c:\\ab", true, false}});
    WriteAll(AwPath(), "nur AB=::C:\\AB::\r\nleer=::\r\n");
    auto f = Open();
    Menu(*f, f->butAuswahlLaden, "nur AB");
    EXPECT_EQ(Rows(*f), (std::vector<std::string>{"[ ] C:\\A", "[x] C:\\AB", "[ ] c:\\ab"}));
    Menu(*f, f->butAuswahlLaden, "leer");
    EXPECT_EQ(Rows(*f), (std::vector<std::string>{"[ ] C:\\A", "[ ] C:\\AB", "[ ] c:\\ab"}));
}

TEST_F(FrmMainTest, FileIsReadWithAnyLineEndSortedAndRewrittenWithCrLf) {
    Seed({{"/x", true, false}});
    WriteAll(AwPath(), "b=::/b::\nA=::/a::\rohne Gleichheitszeichen\r\n=::/leer::\n\nB=::/doppelt::\n\n");
    auto f = Open();
    Menu(*f, f->butAuswahlLaden, "");
    EXPECT_EQ(menu, (std::vector<std::string>{"A", "b", "B"}))
        << "sorted ignoring case; unnamed lines not offered";
    EXPECT_TRUE(f->butAuswahlLaden->active());

    inputAnswer = "";
    Menu(*f, f->butAuswahlSpeichern, "<Neu>");
    inputAnswer.reset();
    Menu(*f, f->butAuswahlSpeichern, "<Neu>");
    EXPECT_EQ(ReadAll(AwPath()),
              "b=::/b::\nA=::/a::\rohne Gleichheitszeichen\r\n=::/leer::\n\nB=::/doppelt::\n\n")
        << "an empty or cancelled name saves nothing";

    inputAnswer = "a";
    Menu(*f, f->butAuswahlSpeichern, "<Neu>");
    EXPECT_EQ(ReadAll(AwPath()), "\r\n=::/leer::\r\nA=::/a::\r\na=::/x::\r\nb=::/b::\r\nB=::/doppelt::\r\n"
                                 "ohne Gleichheitszeichen\r\n");
    Menu(*f, f->butAuswahlLaden, "");
    EXPECT_EQ(menu, (std::vector<std::string>{"A", "a", "b", "B"})) << "a second set of the same name";
}

TEST_F(FrmMainTest, UnreadableOrUnwritableFileIsReportedAndTheListKept) {
    Seed({{"/x", true, false}});
    WriteAll(AwPath(), "alt=::/x::\r\n");
    testsupport::PermissionChecksOn strict;
    ASSERT_EQ(chmod(AwPath().c_str(), 0), 0);
    {
        auto f = Open();
        EXPECT_EQ(errors, (std::vector<std::string>{"Datei " + AwPath() + " kann nicht geöffnet werden"}));
        EXPECT_FALSE(f->butAuswahlLaden->active());
    }
    ASSERT_EQ(chmod(AwPath().c_str(), 0644), 0);
    errors.clear();
    auto f = Open();
    ASSERT_EQ(chmod((tmp_ / "bin").c_str(), 0555), 0);
    inputAnswer = "neu";
    Menu(*f, f->butAuswahlSpeichern, "<Neu>");
    EXPECT_EQ(errors, (std::vector<std::string>{"Datei " + AwPath() + " kann nicht erstellt werden"}));
    EXPECT_EQ(ReadAll(AwPath()), "alt=::/x::\r\n");
    Menu(*f, f->butAuswahlLaden, "");
    EXPECT_EQ(menu, (std::vector<std::string>{"alt", "neu"})) << "the list in memory keeps the new set";
    chmod((tmp_ / "bin").c_str(), 0755);
}

} // namespace
