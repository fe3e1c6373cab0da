#include "ui/Clzenk.h"

#include <FL/Fl.H>
#include <FL/Fl_Box.H>
#include <FL/Fl_Button.H>
#include <FL/Fl_Double_Window.H>
#include <FL/Fl_File_Chooser.H>
#include <FL/Fl_Input.H>
#include <FL/Fl_Return_Button.H>
#include <FL/fl_ask.H>
#include <FL/fl_draw.H>

#include <algorithm>
#include <cstdio>

namespace {
constexpr int kFontSize = 11;

struct ModalResult {
    Fl_Window* window = nullptr;
    int answer = 0;
};

void AnswerYes(Fl_Widget*, void* data) {
    auto* result = static_cast<ModalResult*>(data);
    result->answer = 1;
    result->window->hide();
}

void AnswerNo(Fl_Widget*, void* data) {
    auto* result = static_cast<ModalResult*>(data);
    result->answer = 0;
    result->window->hide();
}

// The window's close box and Escape both arrive as the window's callback.
void Dismiss(Fl_Widget* w, void* data) {
    AnswerNo(w, data);
}

// The focus is given once the window is shown: taken earlier, FLTK forgets
// that the window is modal.
void RunModal(Fl_Window& win, Fl_Widget* focus) {
    win.set_modal();
    win.position((Fl::w() - win.w()) / 2, (Fl::h() - win.h()) / 2);
    win.show();
    focus->take_focus();
    while (win.shown())
        Fl::wait();
}

// Height of a text wrapped to the given width in the window font.
void MeasureText(const std::string& text, int& w, int& h) {
    fl_font(FL_HELVETICA, kFontSize);
    w = 0;
    h = 0;
    fl_measure(text.c_str(), w, h, 1);
    if (w > 360) {
        w = 360;
        h = 0;
        fl_measure(text.c_str(), w, h, 1);
    }
}
} // namespace

std::string LiteralLabel(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        if (c == '@') out += '@';
        out += c;
    }
    return out;
}

std::string MenuLabel(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (char c : LiteralLabel(text)) {
        if (c == '&') out += '&';
        out += c;
    }
    return out;
}

void UseWindowFont() {
    FL_NORMAL_SIZE = kFontSize;
    fl_message_font(FL_HELVETICA, kFontSize);
    UseGermanTexts();
}

void UseGermanTexts() {
    fl_ok = "OK";
    fl_cancel = "Abbrechen";
    fl_yes = "Ja";
    fl_no = "Nein";
    fl_close = "Schließen";
    Fl_Input::cut_menu_text = "Ausschneiden";
    Fl_Input::copy_menu_text = "Kopieren";
    Fl_Input::paste_menu_text = "Einfügen";
    // FLTK's own chooser, the last fallback of the folder chooser.
    Fl_File_Chooser::add_favorites_label = "Zu den Favoriten hinzufügen";
    Fl_File_Chooser::all_files_label = "Alle Dateien (*)";
    Fl_File_Chooser::custom_filter_label = "Eigener Filter";
    Fl_File_Chooser::existing_file_label = "Bitte eine vorhandene Datei wählen!";
    Fl_File_Chooser::favorites_label = "Favoriten";
    Fl_File_Chooser::filename_label = "Verzeichnis:";
    Fl_File_Chooser::filesystems_label = "Dateisysteme";
    Fl_File_Chooser::manage_favorites_label = "Favoriten verwalten";
    Fl_File_Chooser::new_directory_label = "Neues Verzeichnis?";
    Fl_File_Chooser::new_directory_tooltip = "Ein neues Verzeichnis anlegen.";
    Fl_File_Chooser::preview_label = "Vorschau";
    Fl_File_Chooser::save_label = "Speichern";
    Fl_File_Chooser::show_label = "Anzeigen:";
    Fl_File_Chooser::hidden_label = "Versteckte Dateien zeigen";
}

bool AskYesNo(const std::string& caption, const std::string& text, bool yesIsDefault, int /*helpContext*/) {
    UseWindowFont();
    int tw = 0, th = 0;
    MeasureText(LiteralLabel(text), tw, th);
    const int textX = 60;
    const int bw = 75, bh = 23, gap = 8;
    const int W = std::max(textX + tw + 16, 2 * bw + gap + 32);
    const int textH = std::max(th, 32);
    const int H = 16 + textH + 16 + bh + 12;
    const std::string title = caption.empty() ? "Bestätigung" : caption;

    ModalResult result;
    Fl_Widget* initialFocus = nullptr;
    Fl_Double_Window win(W, H, title.c_str());
    result.window = &win;
    {
        auto* icon = new Fl_Box(14, 16, 32, 32, "?");
        icon->box(FL_ROUND_UP_BOX);
        icon->color(FL_BLUE);
        icon->labelcolor(FL_WHITE);
        icon->labelfont(FL_HELVETICA_BOLD);
        icon->labelsize(20);
        auto* label = new Fl_Box(textX, 16, W - textX - 12, textH);
        label->copy_label(LiteralLabel(text).c_str());
        label->align(FL_ALIGN_LEFT | FL_ALIGN_INSIDE | FL_ALIGN_WRAP);
        const int by = H - bh - 12;
        const int bx = (W - (2 * bw + gap)) / 2;
        Fl_Button* yes =
            yesIsDefault ? new Fl_Return_Button(bx, by, bw, bh, "&Ja") : new Fl_Button(bx, by, bw, bh, "&Ja");
        Fl_Button* no = yesIsDefault ? new Fl_Button(bx + bw + gap, by, bw, bh, "&Nein")
                                     : new Fl_Return_Button(bx + bw + gap, by, bw, bh, "&Nein");
        yes->callback(AnswerYes, &result);
        no->callback(AnswerNo, &result);
        initialFocus = yesIsDefault ? yes : no;
    }
    win.end();
    win.callback(Dismiss, &result);
    RunModal(win, initialFocus);
    return result.answer == 1;
}

void ShowErrorMessage(const std::string& text) {
    UseWindowFont();
    fl_message_title("Fehler");
    fl_alert("%s", LiteralLabel(text).c_str());
}

std::optional<std::string> InputQuery(const std::string& title, const std::string& prompt,
                                      const std::string& def) {
    UseWindowFont();
    int tw = 0, th = 0;
    MeasureText(prompt, tw, th);
    const int W = std::max(tw + 24, 300);
    const int bw = 75, bh = 23, gap = 8;
    const int H = 12 + th + 6 + 21 + 16 + bh + 12;

    ModalResult result;
    Fl_Double_Window win(W, H, title.c_str());
    result.window = &win;
    Fl_Input* input = nullptr;
    {
        auto* label = new Fl_Box(12, 12, W - 24, th);
        label->copy_label(LiteralLabel(prompt).c_str());
        label->align(FL_ALIGN_LEFT | FL_ALIGN_INSIDE | FL_ALIGN_WRAP);
        input = new Fl_Input(12, 12 + th + 6, W - 24, 21);
        input->value(def.c_str());
        const int by = H - bh - 12;
        auto* ok = new Fl_Return_Button(W - 12 - 2 * bw - gap, by, bw, bh, "OK");
        ok->callback(AnswerYes, &result);
        auto* cancel = new Fl_Button(W - 12 - bw, by, bw, bh, "Abbrechen");
        cancel->callback(AnswerNo, &result);
    }
    win.end();
    win.callback(Dismiss, &result);
    RunModal(win, input);
    if (result.answer != 1) return std::nullopt;
    return std::string(input->value());
}
