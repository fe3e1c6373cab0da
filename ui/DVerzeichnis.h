#pragma once
// The directory dialog: a path with a browse button and the recursive tick.
#include <FL/Fl_Button.H>
#include <FL/Fl_Check_Button.H>
#include <FL/Fl_Double_Window.H>
#include <FL/Fl_Group.H>
#include <FL/Fl_Input.H>
#include <FL/Fl_Return_Button.H>

#include <optional>
#include <string>

// A one-line text field with a browse button at its right end that opens a
// folder chooser.
class DirectoryEdit : public Fl_Group {
  public:
    DirectoryEdit(int X, int Y, int W, int H);
    Fl_Input* input() const { return input_; }
    Fl_Button* browseButton() const { return browse_; }
    const char* value() const { return input_->value(); }
    // Sets the text and reports the change, as typing would.
    void value(const std::string& text);
    void change_callback(Fl_Callback* cb, void* data) { input_->callback(cb, data); }

  private:
    static void browseClick(Fl_Widget*, void* data);

    Fl_Input* input_;
    Fl_Button* browse_;
};

// The folder where the chooser opens: the text when it names an existing
// folder, otherwise the root.
std::string FolderChooserStart(const std::string& text);

// Which folder chooser the browse button opens: the desktop's own where one is
// installed, FLTK's only when none is.
enum class FolderChooserKind { Zenity, Kdialog, Gtk, Windows, Own };
FolderChooserKind NativeFolderChooser();

// Shows the folder chooser at start; the chosen folder, or nullopt when cancelled.
std::optional<std::string> ChooseFolder(const std::string& start);

// The path without separators at its end, except a root's own ("/", "C:\").
std::string WithoutTrailingSeparator(std::string path);

class TDlgVerzeichnis : public Fl_Double_Window {
  public:
    TDlgVerzeichnis();

    DirectoryEdit* de;
    Fl_Return_Button* butOK;
    Fl_Button* Button2;
    Fl_Check_Button* chkRek;

    void deChange();
    // Shows the window modally; true when it was closed with "&OK".
    bool ShowModal();
    bool confirmed() const { return confirmed_; }
    int handle(int event) override;

  private:
    static void cb_de(Fl_Widget*, void* data);
    static void cb_butOK(Fl_Widget*, void* data);
    static void cb_cancel(Fl_Widget*, void* data);

    bool confirmed_ = false;
};

// True when the user closed the dialog with "&OK"; then path and recursive
// hold the dialog's text and tick, otherwise both are left as they came.
bool ShowDirectoryDialog(std::string& path, bool& recursive);
