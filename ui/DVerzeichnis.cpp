#include "ui/DVerzeichnis.h"

#include "platform/Platform.h"
#include "ui/Clzenk.h"

#include <FL/Fl.H>
#include <FL/Fl_File_Chooser.H>
#include <FL/Fl_Native_File_Chooser.H>

#ifndef _WIN32
#include <dlfcn.h>
#include <unistd.h>

#include <cstdlib>
#endif

namespace {
#ifndef _WIN32
bool OnPath(const std::string& program) {
    const char* path = std::getenv("PATH");
    if (!path) return false;
    std::string list = path;
    std::size_t start = 0;
    while (start <= list.size()) {
        const std::size_t end = std::min(list.find(':', start), list.size());
        const std::string dir = end > start ? list.substr(start, end - start) : ".";
        if (access((dir + "/" + program).c_str(), X_OK) == 0) return true;
        start = end + 1;
    }
    return false;
}

// FLTK looks for its helpers in this order (zenity goes through the desktop's
// portal where there is one); GTK is loaded at run time when installed.
bool HasGtk() {
    for (const char* lib : {"libgtk-3.so.0", "libgtk-3.so", "libgtk-x11-2.0.so.0"}) {
        if (void* h = dlopen(lib, RTLD_LAZY)) {
            dlclose(h);
            return true;
        }
    }
    return false;
}
#endif

bool IsSeparator(char c) {
#ifdef _WIN32
    return c == '\\' || c == '/';
#else
    return c == '/';
#endif
}

// The root of the path's file system: "/", or a drive's "C:\" on Windows.
std::size_t RootLength(const std::string& path) {
#ifdef _WIN32
    if (path.size() >= 3 && path[1] == ':' && IsSeparator(path[2])) return 3;
#endif
    return !path.empty() && IsSeparator(path[0]) ? 1 : 0;
}

// The folder chooser with the German texts and without what makes no sense
// for choosing a folder: creating one, a picture preview.
std::optional<std::string> ChooseWithOwnChooser(const std::string& start) {
    UseGermanTexts();
    Fl_File_Chooser chooser(start.c_str(), "*", Fl_File_Chooser::DIRECTORY, "Verzeichnis wählen");
    chooser.newButton->hide();
    chooser.previewButton->hide();
    chooser.preview(0);
    chooser.show();
    while (chooser.shown())
        Fl::wait();
    if (!chooser.value() || chooser.count() <= 0) return std::nullopt;
    return std::string(chooser.value());
}
} // namespace

FolderChooserKind NativeFolderChooser() {
#ifdef _WIN32
    return FolderChooserKind::Windows;
#else
    if (OnPath("zenity")) return FolderChooserKind::Zenity;
    if (OnPath("kdialog")) return FolderChooserKind::Kdialog;
    if (HasGtk()) return FolderChooserKind::Gtk;
    return FolderChooserKind::Own;
#endif
}

std::string WithoutTrailingSeparator(std::string path) {
    const std::size_t root = RootLength(path);
    while (path.size() > std::max<std::size_t>(root, 1) && IsSeparator(path.back()))
        path.pop_back();
    return path;
}

std::optional<std::string> ChooseFolder(const std::string& start) {
    const FolderChooserKind kind = NativeFolderChooser();
    if (kind == FolderChooserKind::Own) {
        const auto chosen = ChooseWithOwnChooser(start);
        if (!chosen) return std::nullopt;
        return WithoutTrailingSeparator(*chosen);
    }
    Fl::option(Fl::OPTION_FNFC_USES_ZENITY, kind == FolderChooserKind::Zenity);
    Fl::option(Fl::OPTION_FNFC_USES_KDIALOG, kind == FolderChooserKind::Kdialog);
    Fl::option(Fl::OPTION_FNFC_USES_GTK, kind == FolderChooserKind::Gtk);
    Fl_Native_File_Chooser chooser(Fl_Native_File_Chooser::BROWSE_DIRECTORY);
    chooser.title("Verzeichnis wählen");
    chooser.directory(start.c_str());
    if (chooser.show() != 0 || !chooser.filename() || !*chooser.filename()) return std::nullopt;
    return WithoutTrailingSeparator(chooser.filename());
}

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
    const auto chosen = ChooseFolder(FolderChooserStart(self->value()));
    if (chosen) self->value(*chosen);
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
