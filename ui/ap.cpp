#include "ui/ap.h"

#include "config/Messages.h"
#include "config/uOptionen.h"
#include "platform/Platform.h"
#include "ui/Clzenk.h"
#include "ui/DSuchen.h"
#include "ui/DVerzeichnis.h"
#include "ui/SelectionSets.h"

#include <FL/Fl.H>
#include <FL/Fl_Menu_Button.H>
#include <FL/Fl_Menu_Item.H>
#include <FL/fl_draw.H>

#include <algorithm>
#include <exception>

namespace {
// Top left corner of a page's client area inside the window.
constexpr int kPageX = 11;
constexpr int kPageY = 28;
const char* const kRecursiveSuffix = " (rekursiv!)";

void AddShortcutModes(Fl_Choice* cb) {
    // The item index is the ShortcutMode value; "&&" shows one "&".
    cb->add("Keine Verknüpfungen", 0, nullptr, nullptr, 0);
    cb->add("Konfigurationsprogramm", 0, nullptr, nullptr, 0);
    cb->add("Bildwechsel", 0, nullptr, nullptr, 0);
    cb->add("Konfiguration && Bildwechsel", 0, nullptr, nullptr, 0);
}

// The host of popAuswahl: FLTK takes a popup's font and placement from a menu widget.
Fl_Menu_Button* PopupHost(Fl_Group& window) {
    for (int i = 0; i < window.children(); ++i)
        if (auto* m = dynamic_cast<Fl_Menu_Button*>(window.child(i))) return m;
    return nullptr;
}
} // namespace

GroupBox::GroupBox(int X, int Y, int W, int H, const char* L) : Fl_Group(X, Y, W, H, L) {
    box(FL_NO_BOX);
    align(FL_ALIGN_TOP_LEFT | FL_ALIGN_INSIDE);
}

void GroupBox::draw() {
    if (damage() & ~FL_DAMAGE_CHILD) {
        fl_rectf(x(), y(), w(), h(), color());
        fl_font(labelfont(), labelsize());
        const int lineY = y() + fl_height() / 2;
        fl_draw_box(FL_ENGRAVED_FRAME, x(), lineY, w(), h() - (lineY - y()), color());
        if (label()) {
            const int tw = static_cast<int>(fl_width(label()));
            fl_color(color());
            fl_rectf(x() + 8, y(), tw, fl_height());
            fl_color(active_r() ? labelcolor() : fl_inactive(labelcolor()));
            fl_draw(label(), x() + 8, y() + fl_height() - fl_descent());
        }
    }
    draw_children();
}

TabPage::TabPage(int X, int Y, int W, int H, const char* L) : Fl_Group(X, Y, W, H, L) {
    box(FL_THIN_UP_BOX);
    set_flag(SHORTCUT_LABEL);
}

int TabPage::handle(int event) {
    if (Fl_Group::handle(event)) return 1;
    // FLTK stops at the last control of a page (the window has nothing else
    // to go to); Tab goes round to the first, Shift+Tab to the last.
    if (event != FL_KEYBOARD || Fl::event_key() != FL_Tab || Fl::event_state(FL_CTRL | FL_ALT | FL_META) ||
        !contains(Fl::focus()))
        return 0;
    const bool back = Fl::event_state(FL_SHIFT) != 0;
    for (int k = 0; k < children(); ++k)
        if (child(back ? children() - 1 - k : k)->take_focus()) return 1;
    return 0;
}

FrmMainDialogs FrmMainDialogs::Real(TFrmMain& owner) {
    FrmMainDialogs d;
    d.directory = ShowDirectoryDialog;
    d.yesNo = AskYesNo;
    d.input = [](const std::string& title, const std::string& prompt) {
        return InputQuery(title, prompt, "");
    };
    d.error = ShowErrorMessage;
    d.popup = [&owner](const std::vector<SelectionMenuItem>& items, int screenX, int screenY) {
        std::vector<Fl_Menu_Item> menu;
        std::vector<std::string> labels;
        std::vector<int> indexes;
        labels.reserve(items.size());
        for (std::size_t i = 0; i < items.size(); ++i) {
            if (!items[i].visible) continue;
            labels.push_back(MenuLabel(items[i].caption));
            indexes.push_back(static_cast<int>(i));
        }
        for (const auto& label : labels)
            menu.push_back({label.c_str(), 0, nullptr, nullptr, 0, 0, 0, 0, 0});
        menu.push_back({nullptr, 0, nullptr, nullptr, 0, 0, 0, 0, 0});
        // Coordinates are relative to the host's window.
        const Fl_Menu_Item* picked = menu.front().popup(screenX - owner.x_root(), screenY - owner.y_root(),
                                                        nullptr, nullptr, PopupHost(owner));
        if (!picked || !picked->label()) return -1;
        return indexes[static_cast<std::size_t>(picked - menu.data())];
    };
    return d;
}

TFrmMain::TFrmMain(std::optional<FrmMainDialogs> dialogs) : Fl_Double_Window(546, 460) {
    Dialogs = dialogs ? std::move(*dialogs) : FrmMainDialogs::Real(*this);
    UseWindowFont();
    {
        pc = new Fl_Tabs(7, 4, 528, 448);
        {
            pSettings = new TabPage(7, 24, 528, 428, "&Einstellungen");
            {
                GroupBox1 = new GroupBox(kPageX + 13, kPageY + 10, 492, 291, " Verzeichnisliste: ");
                const int gx = GroupBox1->x(), gy = GroupBox1->y();
                {
                    lVerz = new CheckListBox(gx + 16, gy + 22, 303, 255);
                    lVerz->check_callback(cb_lVerzCheck, this);
                }
                {
                    butSuchen = new Fl_Button(gx + 339, gy + 22, 131, 24, "Bilderverz. suchen ...");
                    butSuchen->deactivate();
                }
                {
                    butEinfuegen = new Fl_Button(gx + 339, gy + 52, 131, 24, "Verzeichnis einfügen");
                    butEinfuegen->callback(Trampoline<&TFrmMain::butEinfuegenClick>, this);
                }
                {
                    butAendern = new Fl_Button(gx + 339, gy + 82, 62, 22, "Edit ...");
                    butAendern->callback(Trampoline<&TFrmMain::butAendernClick>, this);
                }
                {
                    butLoeschen = new Fl_Button(gx + 407, gy + 82, 62, 22, "Löschen");
                    butLoeschen->callback(Trampoline<&TFrmMain::butLoeschenClick>, this);
                }
                {
                    butHoch = new Fl_Button(gx + 339, gy + 109, 62, 22, "&Hoch");
                    butHoch->callback(Trampoline<&TFrmMain::butHochClick>, this);
                }
                {
                    butRunter = new Fl_Button(gx + 407, gy + 109, 62, 22, "&Runter");
                    butRunter->callback(Trampoline<&TFrmMain::butRunterClick>, this);
                }
                {
                    butAlle = new Fl_Button(gx + 339, gy + 143, 131, 23, "Alle auswählen");
                    butAlle->callback(Trampoline<&TFrmMain::butAlleClick>, this);
                }
                {
                    butKein = new Fl_Button(gx + 339, gy + 170, 131, 23, "Alle abwählen");
                    butKein->callback(Trampoline<&TFrmMain::butKeinClick>, this);
                }
                {
                    butInvert = new Fl_Button(gx + 339, gy + 197, 131, 23, "Auswahl umkehren");
                    butInvert->callback(Trampoline<&TFrmMain::butInvertClick>, this);
                }
                {
                    butAuswahlLaden = new Fl_Button(gx + 339, gy + 229, 131, 23, "Auswahl laden");
                    butAuswahlLaden->callback(cb_butAuswahl, this);
                }
                {
                    butAuswahlSpeichern = new Fl_Button(gx + 339, gy + 256, 62, 23, "Speichern");
                    butAuswahlSpeichern->callback(cb_butAuswahl, this);
                }
                {
                    butAuswahlLoeschen = new Fl_Button(gx + 408, gy + 256, 62, 23, "Löschen");
                    butAuswahlLoeschen->callback(cb_butAuswahl, this);
                }
                GroupBox1->end();
            }
            {
                GroupBox2 = new GroupBox(kPageX + 13, kPageY + 314, 493, 92,
                                         " Verknüpfungen / Automatischer Wechsel beim Windows-Start ");
                const int gx = GroupBox2->x(), gy = GroupBox2->y();
                {
                    Label1 = new Fl_Box(gx + 22, gy + 25, 240, 13, "Verknüpfung auf dem Desktop:");
                    Label1->align(FL_ALIGN_LEFT | FL_ALIGN_INSIDE);
                }
                {
                    Label2 = new Fl_Box(gx + 22, gy + 46, 240, 13,
                                        "Verknüpfung im Startmenü unter \"Programme\":");
                    Label2->align(FL_ALIGN_LEFT | FL_ALIGN_INSIDE);
                    // One point smaller, or the text would run under cbStartmenu.
                    Label1->labelsize(FL_NORMAL_SIZE - 1);
                    Label2->labelsize(FL_NORMAL_SIZE - 1);
                }
                {
                    cbDesktop = new Fl_Choice(gx + 264, gy + 17, 213, 21);
                    AddShortcutModes(cbDesktop);
                    cbDesktop->callback(Trampoline<&TFrmMain::cbDesktopChange>, this);
                }
                {
                    cbStartmenu = new Fl_Choice(gx + 264, gy + 44, 213, 21);
                    AddShortcutModes(cbStartmenu);
                    cbStartmenu->callback(Trampoline<&TFrmMain::cbStartmenuChange>, this);
                }
                {
                    chkAutostart = new Fl_Check_Button(gx + 24, gy + 68, 399, 16,
                                                       " Automatischer Bild-Wechsel bei jedem Windows-Start");
                    chkAutostart->callback(Trampoline<&TFrmMain::chkAutostartClick>, this);
                }
                GroupBox2->end();
            }
            pSettings->end();
        }
        {
            pBilder = new TabPage(7, 24, 528, 428, "Bilderliste");
            BuildPicturesPage();
            pBilder->end();
            pBilder->hide();
        }
        {
            TabSheet1 = new TabPage(7, 24, 528, 428, "Bilder-Ladeoptionen");
            BuildOptionsPage();
            TabSheet1->end();
            TabSheet1->hide();
        }
        pc->end();
    }
    {
        auto* host = new Fl_Menu_Button(0, 0, 1, 1);
        host->type(Fl_Menu_Button::POPUP3);
        host->textsize(FL_NORMAL_SIZE);
        host->hide();
    }
    end();
    // A fixed frame: the window manager offers no resizing and no maximising.
    size_range(546, 460, 546, 460);
    callback(cb_close, this);
    // Centred; on a screen smaller than the window its title bar stays on it.
    position(std::max(0, (Fl::w() - w()) / 2), std::max(0, (Fl::h() - h()) / 2));
    FormCreate();
}

TFrmMain::~TFrmMain() {
    FormDestroy();
}

void TFrmMain::FormCreate() {
    label("Zenks Hintergrundwechsler V1.0");
    Optionen = std::make_unique<TOptionen>();
    Auswahlen = std::make_unique<SelectionSetList>();
    LoadSelectionSets();
    pc->value(pSettings);
    Zoomed = false;
    Initialisierung = true;
    chkAutostart->value(Optionen->Autostart ? 1 : 0);
    cbDesktop->value(Optionen->VerknuepfungsModus[1]);
    cbStartmenu->value(Optionen->VerknuepfungsModus[2]);
    FillOptionsPage();
    Initialisierung = false;
    RefreshDirectoryList();
}

void TFrmMain::FormDestroy() {
    Auswahlen.reset();
}

int TFrmMain::SelectedRow() const {
    return lVerz->value() - 1;
}

void TFrmMain::RefreshDirectoryList() {
    const int selected = SelectedRow();
    lVerz->clear();
    for (int i = 0; i < Optionen->DirectoryCount(); ++i) {
        std::string text = Optionen->GetDirectoryPath(i);
        if (Optionen->IsDirectoryRecursive(i)) text += kRecursiveSuffix;
        lVerz->AddRow(text, Optionen->IsDirectoryActive(i));
    }
    if (selected < lVerz->size())
        lVerz->value(selected + 1);
    else
        lVerz->value(lVerz->size());
}

void TFrmMain::butEinfuegenClick() {
    std::string path;
    bool recursive = false;
    if (!Dialogs.directory(path, recursive)) return;
    Optionen->AddDirectory(path, recursive);
    RefreshDirectoryList();
}

void TFrmMain::butAendernClick() {
    const int i = SelectedRow();
    if (i < 0) return;
    std::string path = Optionen->GetDirectoryPath(i);
    bool recursive = Optionen->IsDirectoryRecursive(i);
    if (!Dialogs.directory(path, recursive)) return;
    Optionen->SetDirectoryPath(i, path);
    Optionen->SetDirectoryRecursive(i, recursive);
    RefreshDirectoryList();
}

void TFrmMain::butLoeschenClick() {
    const int i = SelectedRow();
    if (i < 0) return;
    if (!Dialogs.yesNo("Verzeichnis entfernen",
                       "Soll das Verzeichnis " + Optionen->GetDirectoryPath(i) +
                           " wirklich aus der Liste entfernt werden?",
                       true, 0))
        return;
    Optionen->DeleteDirectory(i);
    RefreshDirectoryList();
}

void TFrmMain::butHochClick() {
    const int i = SelectedRow();
    if (i <= 0) return;
    Optionen->MoveDirectory(i, i - 1);
    lVerz->value(i);
    RefreshDirectoryList();
}

void TFrmMain::butRunterClick() {
    const int i = SelectedRow();
    if (i < 0 || i + 1 >= Optionen->DirectoryCount()) return;
    Optionen->MoveDirectory(i, i + 1);
    lVerz->value(i + 2);
    RefreshDirectoryList();
}

void TFrmMain::SetAllMarks(Marks how) {
    for (int line = 1; line <= lVerz->size(); ++line) {
        const bool mark = how == Marks::Tick ? true : how == Marks::Untick ? false : !lVerz->checked(line);
        lVerz->checked(line, mark);
        Optionen->SetDirectoryActive(line - 1, mark);
    }
}

void TFrmMain::butAlleClick() {
    SetAllMarks(Marks::Tick);
}
void TFrmMain::butKeinClick() {
    SetAllMarks(Marks::Untick);
}
void TFrmMain::butInvertClick() {
    SetAllMarks(Marks::Invert);
}

void TFrmMain::lVerzClickCheck() {
    const int i = SelectedRow();
    if (i < 0) return;
    Optionen->SetDirectoryActive(i, lVerz->checked(i + 1));
}

void TFrmMain::chkAutostartClick() {
    Optionen->SetAutostart(chkAutostart->value() != 0);
}

void TFrmMain::cbDesktopChange() {
    if (cbDesktop->value() >= 0) Optionen->SetShortcutMode(1, static_cast<ShortcutMode>(cbDesktop->value()));
}

void TFrmMain::cbStartmenuChange() {
    if (cbStartmenu->value() >= 0)
        Optionen->SetShortcutMode(2, static_cast<ShortcutMode>(cbStartmenu->value()));
}

void TFrmMain::UpdateSelectionButtons() {
    if (Auswahlen->Count() > 0) {
        butAuswahlLaden->activate();
        butAuswahlLoeschen->activate();
    } else {
        butAuswahlLaden->deactivate();
        butAuswahlLoeschen->deactivate();
    }
    butAuswahlSpeichern->activate();
}

void TFrmMain::LoadSelectionSets() {
    const std::string file = ProgramFilePath(".aw");
    const bool read = ReadSelectionFile(file, *Auswahlen);
    UpdateSelectionButtons();
    if (!read) ShowFailure(FormatMsg(Msg::CannotOpen, {file}));
}

void TFrmMain::SaveSelectionSets() {
    const std::string file = ProgramFilePath(".aw");
    const bool written = WriteSelectionFile(file, Auswahlen->Lines());
    UpdateSelectionButtons();
    if (!written) Throw(Msg::CannotCreate, {file});
}

void TFrmMain::butAuswahlActionClick(Fl_Button* button) {
    popAuswahlX = x_root() + button->x() + button->w() / 3;
    popAuswahlY = y_root() + button->y() + button->h() / 2;
    // The button's tag: 0 load, 1 save, 2 delete.
    AuswahlAktion = button == butAuswahlLaden ? 0 : button == butAuswahlSpeichern ? 1 : 2;
    popAuswahl.resize(1);
    popAuswahl[0] = {"<Neu>", -1, AuswahlAktion == 1};
    for (int i = 0; i < Auswahlen->Count(); ++i) {
        const SelectionSetParts parts = SplitSelectionSet((*Auswahlen)[i]);
        if (!parts.name.empty()) popAuswahl.push_back({parts.name, i, true});
    }
    const int chosen = Dialogs.popup(popAuswahl, popAuswahlX, popAuswahlY);
    if (chosen >= 0) SelectionSetMenuClick(chosen);
}

void TFrmMain::SelectionSetMenuClick(int item) {
    if (item < 0 || item >= static_cast<int>(popAuswahl.size()) || !popAuswahl[item].visible) return;
    const int tag = popAuswahl[item].tag;
    switch (AuswahlAktion) {
    case 0:
        if (item == 0) return;
        ApplySelectionValue(*Optionen, SplitSelectionSet((*Auswahlen)[tag]).value);
        RefreshDirectoryList();
        break;
    case 1: {
        const std::string value = BuildSelectionValue(*Optionen);
        if (item == 0) {
            const auto name = Dialogs.input("Neue Auswahl speichern",
                                            "Unter welchem Namen soll die Auswahl gespeichert werden?");
            if (!name || name->empty()) return;
            Auswahlen->Add(*name + "=" + value);
        } else {
            Auswahlen->Replace(tag, SplitSelectionSet((*Auswahlen)[tag]).name + "=" + value);
        }
        SaveSelectionSets();
        break;
    }
    case 2:
        if (item == 0) return;
        Auswahlen->Delete(tag);
        SaveSelectionSets();
        break;
    default:
        break;
    }
}

void TFrmMain::ShowFailure(const std::string& text) {
    if (Dialogs.error) Dialogs.error(text);
}

template <void (TFrmMain::*Handler)()> void TFrmMain::Trampoline(Fl_Widget*, void* data) {
    auto* self = static_cast<TFrmMain*>(data);
    try {
        (self->*Handler)();
    } catch (const std::exception& e) {
        self->ShowFailure(e.what());
        // Marks already flipped on screen must show what the settings hold.
        try {
            self->RefreshDirectoryList();
        } catch (const std::exception&) {}
    }
}

void TFrmMain::cb_butAuswahl(Fl_Widget* w, void* data) {
    auto* self = static_cast<TFrmMain*>(data);
    try {
        self->butAuswahlActionClick(static_cast<Fl_Button*>(w));
    } catch (const std::exception& e) {
        self->ShowFailure(e.what());
        try {
            self->RefreshDirectoryList();
        } catch (const std::exception&) {}
    }
}

void TFrmMain::cb_close(Fl_Widget*, void* data) {
    // Escape reaches a window as its callback; only the close box ends the program.
    if (Fl::event() == FL_SHORTCUT && Fl::event_key() == FL_Escape) return;
    static_cast<TFrmMain*>(data)->hide();
}

void TFrmMain::cb_lVerzCheck(Fl_Widget* w, void* data) {
    Trampoline<&TFrmMain::lVerzClickCheck>(w, data);
}

int RunInteractive(int argc, char** argv) {
    (void)argc;
    (void)argv;
    UseWindowFont();
    std::unique_ptr<TFrmMain> main;
    try {
        main = std::make_unique<TFrmMain>();
    } catch (const std::exception& e) {
        ShowErrorMessage(e.what());
        return 1;
    }
    TForm1 form1;
    main->show();
    return Fl::run();
}
