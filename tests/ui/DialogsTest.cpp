// The two modal dialogs shown for real and driven by key and mouse events.
#include "UiTestSupport.h"

#include "tests/support/TestSupport.h"
#include "ui/Clzenk.h"
#include "ui/DVerzeichnis.h"

#include <FL/Fl.H>
#include <gtest/gtest.h>

namespace {

TDlgVerzeichnis* OpenDirectoryDialog() {
    return dynamic_cast<TDlgVerzeichnis*>(Fl::modal());
}

class DialogsTest : public ::testing::Test {
  protected:
    void SetUp() override { uitest::RequireDisplay(); }
};

TEST_F(DialogsTest, DirectoryDialogEnablesOkExactlyForNonEmptyText) {
    std::string path;
    bool recursive = false;
    bool emptyStart = false, uncheckedStart = false, enabledAfterTyping = false, disabledAfterErasing = false;
    bool openAfterEnter = false;
    uitest::EventScript script({
        [&] {
            auto* dlg = OpenDirectoryDialog();
            ASSERT_NE(dlg, nullptr);
            EXPECT_STREQ(dlg->label(), "Verzeichnis eingeben");
            EXPECT_EQ(dlg->w(), 376);
            EXPECT_EQ(dlg->h(), 96);
            emptyStart = dlg->de->value()[0] == '\0' && !dlg->butOK->active();
            uncheckedStart = dlg->chkRek->value() == 0;
            uitest::PressKey('x', "x");
            enabledAfterTyping = dlg->butOK->active();
            uitest::PressKey(FL_BackSpace);
            disabledAfterErasing = !dlg->butOK->active();
            uitest::PressKey(FL_Enter, "\r");
        },
        [&] {
            openAfterEnter = OpenDirectoryDialog() != nullptr;
            uitest::PressKey('/', "/");
            uitest::PressKey('b', "b");
            uitest::PressKey(0xe4, "ä");
            uitest::Click(*OpenDirectoryDialog()->chkRek);
            uitest::PressKey(FL_Enter, "\r");
        },
    });
    EXPECT_TRUE(ShowDirectoryDialog(path, recursive));
    EXPECT_TRUE(script.finished());
    EXPECT_TRUE(emptyStart);
    EXPECT_TRUE(uncheckedStart) << "the caller's flag wins over the design";
    EXPECT_TRUE(enabledAfterTyping);
    EXPECT_TRUE(disabledAfterErasing);
    EXPECT_TRUE(openAfterEnter) << "Enter on an empty field does not close";
    EXPECT_EQ(path, "/bä");
    EXPECT_TRUE(recursive);
}

TEST_F(DialogsTest, DirectoryDialogCancelKeepsTheCallersValues) {
    std::string path = "/bilder/alt";
    bool recursive = true;
    bool shownAsGiven = false;
    {
        uitest::EventScript escape({
            [&] {
                auto* dlg = OpenDirectoryDialog();
                ASSERT_NE(dlg, nullptr);
                shownAsGiven = std::string(dlg->de->value()) == "/bilder/alt" && dlg->butOK->active() &&
                               dlg->chkRek->value() == 1;
                uitest::PressKey('z', "z");
                uitest::Click(*dlg->chkRek);
                uitest::PressKey(FL_Escape, "\033");
            },
        });
        EXPECT_FALSE(ShowDirectoryDialog(path, recursive));
    }
    EXPECT_TRUE(shownAsGiven);
    EXPECT_EQ(path, "/bilder/alt");
    EXPECT_TRUE(recursive);
    {
        uitest::EventScript button({
            [&] {
                uitest::PressKey('z', "z");
                uitest::Click(*OpenDirectoryDialog()->Button2);
            },
        });
        EXPECT_FALSE(ShowDirectoryDialog(path, recursive));
    }
    EXPECT_EQ(path, "/bilder/alt");
    {
        uitest::EventScript closeBox({[&] { OpenDirectoryDialog()->do_callback(); }});
        EXPECT_FALSE(ShowDirectoryDialog(path, recursive));
    }
}

TEST_F(DialogsTest, FolderChooserStartsAtAnExistingFolderOrTheRoot) {
    testsupport::TempDir dir;
    EXPECT_EQ(FolderChooserStart(dir.str()), dir.str());
    EXPECT_EQ(FolderChooserStart(""), "/");
    EXPECT_EQ(FolderChooserStart(dir.str() + "/fehlt"), "/");
}

// Answers AskYesNo with one event and reports the title it saw.
bool Ask(bool yesIsDefault, const std::string& caption, std::function<void()> answer,
         std::string* title = nullptr) {
    uitest::EventScript script({[&] {
        Fl_Window* box = Fl::first_window();
        ASSERT_NE(box, nullptr);
        EXPECT_EQ(Fl::modal(), box);
        if (title) *title = box->label();
        answer();
    }});
    return AskYesNo(caption, "Soll das Verzeichnis /a@b & c wirklich aus der Liste entfernt werden?",
                    yesIsDefault, 0);
}

Fl_Widget* ButtonLabelled(const char* label) {
    Fl_Window* box = Fl::first_window();
    for (int i = 0; box && i < box->children(); ++i)
        if (box->child(i)->label() && std::string(box->child(i)->label()) == label) return box->child(i);
    return nullptr;
}

TEST_F(DialogsTest, AskYesNoAnswersByDefaultButtonEscapeAndCloseBox) {
    std::string title;
    EXPECT_TRUE(Ask(
        true, "Verzeichnis entfernen", [] { uitest::PressKey(FL_Enter, "\r"); }, &title));
    EXPECT_EQ(title, "Verzeichnis entfernen");
    EXPECT_FALSE(Ask(
        true, "", [] { uitest::PressKey(FL_Escape, "\033"); }, &title));
    EXPECT_EQ(title, "Bestätigung");
    EXPECT_FALSE(Ask(false, "x", [] { uitest::PressKey(FL_Enter, "\r"); }));
    EXPECT_FALSE(Ask(true, "x", [] { Fl::first_window()->do_callback(); }));
    EXPECT_TRUE(Ask(false, "x", [] {
        Fl_Widget* yes = ButtonLabelled("&Ja");
        ASSERT_NE(yes, nullptr);
        uitest::Click(*yes);
    }));
    EXPECT_FALSE(Ask(true, "x", [] {
        Fl_Widget* no = ButtonLabelled("&Nein");
        ASSERT_NE(no, nullptr);
        uitest::Click(*no);
    }));
}

TEST_F(DialogsTest, InputQueryReturnsTheTextOrNothingWhenCancelled) {
    {
        uitest::EventScript typed({[] {
            uitest::PressKey('U', "U");
            uitest::PressKey('r', "r");
            uitest::PressKey(FL_Enter, "\r");
        }});
        EXPECT_EQ(InputQuery("Neue Auswahl speichern", "Unter welchem Namen?", ""),
                  std::optional<std::string>("Ur"));
    }
    uitest::EventScript cancelled({[] {
        uitest::PressKey('U', "U");
        uitest::PressKey(FL_Escape, "\033");
    }});
    EXPECT_EQ(InputQuery("Neue Auswahl speichern", "Unter welchem Namen?", ""), std::nullopt);
}

TEST(LiteralLabel, DoublesEveryAtSign) {
    EXPECT_EQ(LiteralLabel("@a@@b"), "@@a@@@@b");
    EXPECT_EQ(LiteralLabel("&x"), "&x");
}

} // namespace
