#include "ui/DVerzeichnis.h"

#include "platform/Platform.h"
#include "ui/Clzenk.h"

#include <FL/Fl.H>
#include <FL/Fl_File_Chooser.H>

DirectoryEdit::DirectoryEdit(int X, int Y, int W, int H) : Fl_Group(X, Y, W, H) {
    const int bw = H;
    input_ = new Fl_Input(X, Y, W - bw, H);
    input_->when(FL_WHEN_CHANGED);
    browse_ = new Fl_Button(X + W - bw, Y, bw, H, "...");
    browse_->callback(browseClick, this);
    browse_->clear_visible_focus();
    end();
    resizable(input_);
}

void DirectoryEdit::value(const std::string& text) {
    input_->value(text.c_str());
    input_->do_callback();
}

std::string FolderChooserStart(const std::string& text) {
    if (!text.empty() && platform::DirectoryExists(text)) return text;
    return std::string(1, platform::kPathSeparator);
}

void DirectoryEdit::browseClick(Fl_Widget*, void* data) {
    auto* self = static_cast<DirectoryEdit*>(data);
    Fl_File_Chooser::show_label = "Anzeigen:";
    Fl_File_Chooser::hidden_label = "Versteckte Dateien";
    Fl_File_Chooser::filename_label = "Verzeichnis:";
    Fl_File_Chooser::preview_label = "Vorschau";
    Fl_File_Chooser::favorites_label = "Favoriten";
    const std::string start = FolderChooserStart(self->value());
    Fl_File_Chooser chooser(start.c_str(), "*", Fl_File_Chooser::DIRECTORY, "Verzeichnis wählen");
    // Choosing a folder here must not create one.
    chooser.newButton->hide();
    chooser.preview(0);
    chooser.show();
    while (chooser.shown())
        Fl::wait();
    if (chooser.value() && chooser.count() > 0) self->value(chooser.value());
}

TDlgVerzeichnis::TDlgVerzeichnis() : Fl_Double_Window(376, 96, "Verzeichnis eingeben") {
    {
        de = new DirectoryEdit(15, 12, 349, 21);
        de->change_callback(cb_de, this);
    }
    {
        butOK = new Fl_Return_Button(176, 64, 87, 24, "&OK");
        butOK->callback(cb_butOK, this);
        butOK->deactivate();
    }
    {
        Button2 = new Fl_Button(278, 64, 87, 24, "Abbruch");
        Button2->callback(cb_cancel, this);
    }
    {
        chkRek = new Fl_Check_Button(15, 41, 355, 16, "Rekursive Nutzung, also incl. Unterverzeichnissen");
        chkRek->value(1);
    }
    end();
    // Escape and the close box cancel.
    callback(cb_cancel, this);
}

void TDlgVerzeichnis::deChange() {
    if (de->value()[0] != '\0')
        butOK->activate();
    else
        butOK->deactivate();
}

int TDlgVerzeichnis::handle(int event) {
    // Enter belongs to the default button even while it is disabled; FLTK
    // would otherwise move the focus on to the next control.
    if ((event == FL_KEYBOARD || event == FL_SHORTCUT) &&
        (Fl::event_key() == FL_Enter || Fl::event_key() == FL_KP_Enter)) {
        if (butOK->active()) butOK->do_callback();
        return 1;
    }
    return Fl_Double_Window::handle(event);
}

bool TDlgVerzeichnis::ShowModal() {
    confirmed_ = false;
    set_modal();
    position((Fl::w() - w()) / 2, (Fl::h() - h()) / 2);
    show();
    de->input()->take_focus();
    while (shown())
        Fl::wait();
    return confirmed_;
}

void TDlgVerzeichnis::cb_de(Fl_Widget*, void* data) {
    static_cast<TDlgVerzeichnis*>(data)->deChange();
}

void TDlgVerzeichnis::cb_butOK(Fl_Widget*, void* data) {
    auto* self = static_cast<TDlgVerzeichnis*>(data);
    self->confirmed_ = true;
    self->hide();
}

void TDlgVerzeichnis::cb_cancel(Fl_Widget*, void* data) {
    auto* self = static_cast<TDlgVerzeichnis*>(data);
    self->confirmed_ = false;
    self->hide();
}

bool ShowDirectoryDialog(std::string& path, bool& recursive) {
    UseWindowFont();
    TDlgVerzeichnis dlg;
    dlg.de->value(path);
    dlg.chkRek->value(recursive ? 1 : 0);
    if (!dlg.ShowModal()) return false;
    path = dlg.de->value();
    recursive = dlg.chkRek->value() != 0;
    return true;
}
