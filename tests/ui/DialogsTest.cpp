// The two modal dialogs shown for real and driven by key and mouse events.
#include "UiTestSupport.h"

#include "tests/support/TestSupport.h"
#include "ui/Clzenk.h"
#include "ui/DVerzeichnis.h"

#include <FL/Fl.H>
#include <FL/Fl_Button.H>
#include <FL/Fl_File_Chooser.H>
#include <FL/Fl_Input.H>
#include <FL/fl_ask.H>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

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

TEST(LiteralLabel, MenuLabelsShowAmpersandsAndAtSigns) {
    EXPECT_EQ(MenuLabel("Haus & Garten"), "Haus && Garten");
    EXPECT_EQ(MenuLabel("&&@"), "&&&&@@");
    EXPECT_EQ(MenuLabel("Urlaub"), "Urlaub");
}

TEST(FolderChooser, NoSeparatorAtTheEndButTheRootsOwn) {
    EXPECT_EQ(WithoutTrailingSeparator("/home/a/Bilder/"), "/home/a/Bilder");
    EXPECT_EQ(WithoutTrailingSeparator("/home/a/Bilder//"), "/home/a/Bilder");
    EXPECT_EQ(WithoutTrailingSeparator("/home/a/Bilder"), "/home/a/Bilder");
    EXPECT_EQ(WithoutTrailingSeparator("/"), "/");
    EXPECT_EQ(WithoutTrailingSeparator("//"), "/");
    EXPECT_EQ(WithoutTrailingSeparator(""), "");
}

// Every window FLTK opens by itself as part of a dialog, found through the
// modal window's children.
std::vector<std::string> ButtonLabels(Fl_Group* group) {
    std::vector<std::string> labels;
    for (int i = 0; group && i < group->children(); ++i) {
        Fl_Widget* w = group->child(i);
        if (dynamic_cast<Fl_Button*>(w) && w->visible() && w->label()) labels.push_back(w->label());
        if (auto* g = w->as_group()) {
            const auto inner = ButtonLabels(g);
            labels.insert(labels.end(), inner.begin(), inner.end());
        }
    }
    return labels;
}

// The dialogs open over the main window: transient for it, so that the
// window manager neither gives them minimise boxes of their own nor hides
// the program when one is minimised; and with German buttons.
TEST_F(DialogsTest, DialogsAreTransientForTheMainWindowWithGermanButtons) {
    Fl_Double_Window main(200, 100, "Hauptfenster");
    main.end();
    uitest::ShowAndWait(main);
    const unsigned long mainXid = uitest::XidOf(main);
    std::vector<std::string> errorButtons;
    unsigned long errorParent = 0, askParent = 0, inputParent = 0, dirParent = 0;
    {
        uitest::EventScript script({[&] {
            Fl_Window* box = Fl::modal();
            ASSERT_NE(box, nullptr);
            errorParent = uitest::TransientFor(box);
            errorButtons = ButtonLabels(box);
            box->hide();
        }});
        ShowErrorMessage("'12a' ist kein gültiger Integerwert");
    }
    EXPECT_EQ(errorParent, mainXid);
    ASSERT_FALSE(errorButtons.empty());
    for (const auto& label : errorButtons)
        EXPECT_TRUE(label == "OK" || label == "Schließen") << label;
    Ask(true, "x", [&] {
        askParent = uitest::TransientFor(Fl::modal());
        uitest::PressKey(FL_Escape, "\033");
    });
    EXPECT_EQ(askParent, mainXid);
    {
        uitest::EventScript script({[&] {
            inputParent = uitest::TransientFor(Fl::modal());
            uitest::PressKey(FL_Escape, "\033");
        }});
        InputQuery("Neue Auswahl speichern", "Unter welchem Namen?", "");
    }
    EXPECT_EQ(inputParent, mainXid);
    {
        std::string path;
        bool recursive = true;
        uitest::EventScript script({[&] {
            dirParent = uitest::TransientFor(Fl::modal());
            uitest::PressKey(FL_Escape, "\033");
        }});
        ShowDirectoryDialog(path, recursive);
    }
    EXPECT_EQ(dirParent, mainXid);
    main.hide();
}

TEST_F(DialogsTest, EveryTextFltkShowsItselfIsGerman) {
    UseWindowFont();
    for (const char* text :
         {fl_ok, fl_cancel, fl_yes, fl_no, fl_close, Fl_Input::cut_menu_text, Fl_Input::copy_menu_text,
          Fl_Input::paste_menu_text, Fl_File_Chooser::all_files_label, Fl_File_Chooser::add_favorites_label,
          Fl_File_Chooser::favorites_label, Fl_File_Chooser::filename_label, Fl_File_Chooser::show_label,
          Fl_File_Chooser::hidden_label, Fl_File_Chooser::manage_favorites_label,
          Fl_File_Chooser::filesystems_label, Fl_File_Chooser::new_directory_tooltip,
          Fl_File_Chooser::preview_label}) {
        const std::string t = text;
        for (const char* english : {"Close", "Cancel", "Yes", "No", "Copy", "Paste", "Cut", "All Files",
                                    "Favorites", "Filename", "Show", "Preview", "directory", "File Systems"})
            EXPECT_EQ(t.find(english), std::string::npos) << t;
    }
}

// With zenity installed the browse button opens it, not FLTK's own chooser.
// A stand-in zenity first on PATH answers the way the real one does, with a
// "/" after the folder, and notes how it was asked.
TEST_F(DialogsTest, NativeFolderChooserIsUsedAndItsPathHasNoTrailingSeparator) {
    testsupport::TempDir dir;
    const std::string target = dir.str() + "/Urlaub Bilder";
    std::filesystem::create_directories(target);
    const std::string script = dir.str() + "/zenity";
    testsupport::WriteAll(script, "#!/bin/sh\n"
                                  "[ \"$1\" = --version ] && { echo 3.44.0; exit 0; }\n"
                                  "echo \"$@\" >'" +
                                      dir.str() +
                                      "/args'\n"
                                      "echo '" +
                                      target + "/'\n");
    std::filesystem::permissions(script, std::filesystem::perms::owner_all);
    const char* oldPath = std::getenv("PATH");
    testsupport::ScopedEnv path("PATH", dir.str() + ":" + (oldPath ? oldPath : "/usr/bin:/bin"));
    EXPECT_EQ(NativeFolderChooser(), FolderChooserKind::Zenity);
    // As behind the browse button: FLTK waits for the chooser only while a
    // window of its own is open.
    Fl_Double_Window owner(376, 96, "Verzeichnis eingeben");
    owner.end();
    uitest::ShowAndWait(owner);
    const auto chosen = ChooseFolder(dir.str());
    owner.hide();
    ASSERT_TRUE(chosen.has_value());
    EXPECT_EQ(*chosen, target);
    const std::string args = testsupport::ReadAll(dir.str() + "/args");
    EXPECT_NE(args.find("--file-selection --directory"), std::string::npos) << args;
    EXPECT_NE(args.find("Verzeichnis wählen"), std::string::npos) << args;
}

} // namespace
