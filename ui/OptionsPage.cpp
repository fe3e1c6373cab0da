// The page "Bilder-Ladeoptionen" of the configuration window: the tile limits,
// the options for pictures and for tiles. Every control writes straight
// through the setters of TOptionen, which save only what changed.
#include "ui/OptionsPage.h"

#include "config/Messages.h"
#include "config/NumberFormat.h"
#include "config/uOptionen.h"
#include "platform/Platform.h"
#include "ui/ap.h"

#include <FL/Fl.H>

#include <exception>

namespace {
// Top left corner of a page's client area inside the window.
constexpr int kPageX = 11;
constexpr int kPageY = 28;
constexpr int kLabelH = 13;

Fl_Box* NewLabel(int X, int Y, int W, const char* text) {
    auto* box = new Fl_Box(X, Y, W, kLabelH, text);
    box->align(FL_ALIGN_LEFT | FL_ALIGN_INSIDE);
    return box;
}

Fl_Choice* NewSizeList(int X, int Y, int W, int H) {
    auto* cb = new Fl_Choice(X, Y, W, H);
    for (const auto& item : SizeItems())
        cb->add(item.c_str(), 0, nullptr, nullptr, 0);
    // Picking the item already shown still counts: it is how a size that
    // matches no item (shown as the first one) is replaced by 0 x 0.
    cb->when(FL_WHEN_RELEASE | FL_WHEN_NOT_CHANGED);
    return cb;
}

std::vector<std::string> ItemsOf(const Fl_Choice& list) {
    std::vector<std::string> items;
    for (int i = 0; i < list.size(); ++i) {
        const char* text = list.text(i);
        if (text) items.emplace_back(text);
    }
    return items;
}

std::int32_t IntegerOf(const Fl_Input& edit) {
    const std::string text = edit.value();
    const auto v = ParseInteger(text);
    if (!v) Throw(Msg::NotInteger, {text});
    return *v;
}

double FloatOf(const Fl_Input& edit) {
    const std::string text = edit.value();
    const auto v = ParseFloat(text, platform::DecimalSeparator());
    if (!v) Throw(Msg::NotFloat, {text});
    return *v;
}

std::string FloatText(double v) {
    return FormatFloat(v, platform::DecimalSeparator());
}
} // namespace

ExitEdit::ExitEdit(int X, int Y, int W, int H, const char* L) : Fl_Input(X, Y, W, H, L) {
    // Neither Enter nor hiding the page runs the callback; only handle() does.
    when(FL_WHEN_NEVER);
}

int ExitEdit::handle(int event) {
    const int result = Fl_Input::handle(event);
    if (event == FL_UNFOCUS) {
        // FLTK also drops the focus when the window loses the X focus (a
        // message box opens) or the page is hidden; only a move to a sibling
        // control is the user leaving the edit.
        Fl_Widget* to = Fl::focus();
        if (to && to != this && to->top_window() == top_window()) do_callback();
    }
    return result;
}

const std::vector<std::string>& SizeItems() {
    static const std::vector<std::string> items = {
        "Aktuelle Auflösung", "512x384",  "640x480",   "800x600",
        "1024x768",           "1152x964", "1280x1024", "1600x1200",
    };
    return items;
}

int SelectSizeItem(const std::vector<std::string>& items, std::int32_t width, std::int32_t height) {
    const std::string wanted = std::to_string(width) + "x" + std::to_string(height);
    for (std::size_t i = 0; i < items.size(); ++i)
        if (items[i] == wanted) return static_cast<int>(i);
    return 0;
}

std::optional<SizeChoice> ParseSizeItem(const std::optional<std::string>& selectedText) {
    if (!selectedText) return std::nullopt;
    const std::string& text = *selectedText;
    const auto x = text.find('x');
    if (x == std::string::npos) return SizeChoice{0, 0};
    const auto width = ParseInteger(text.substr(0, x));
    if (!width) Throw(Msg::NotInteger, {text.substr(0, x)});
    const auto height = ParseInteger(text.substr(x + 1));
    if (!height) Throw(Msg::NotInteger, {text.substr(x + 1)});
    return SizeChoice{*width, *height};
}

std::optional<SizeChoice> ParseSizeItem(const Fl_Choice& list) {
    const Fl_Menu_Item* item = list.mvalue();
    if (!item || !item->label()) return ParseSizeItem(std::nullopt);
    return ParseSizeItem(std::optional<std::string>(item->label()));
}

void TFrmMain::BuildOptionsPage() {
    // Children are created in tab order; labels take no focus.
    {
        GroupBox3 = new GroupBox(kPageX + 22, kPageY + 15, 475, 65,
                                 " Unterscheidung von \"Kacheln\" und \"Bildern\" ");
        const int gx = GroupBox3->x(), gy = GroupBox3->y();
        Label9 = NewLabel(gx + 19, gy + 31, 180, "Bild ist \"Kachel\", wenn Breite kleiner");
        {
            txtKachelBr = new ExitEdit(gx + 200, gy + 29, 38, 21);
            txtKachelBr->callback(cb_OptionsPage, this);
        }
        Label10 = NewLabel(gx + 246, gy + 32, 91, "oder Höhe kleiner");
        {
            txtKachelH = new ExitEdit(gx + 338, gy + 30, 37, 21);
            txtKachelH->callback(cb_OptionsPage, this);
        }
        Label12 = NewLabel(gx + 387, gy + 33, 80, "Pixel ist.");
        GroupBox3->end();
    }
    {
        GroupBox4 = new GroupBox(kPageX + 22, kPageY + 93, 475, 198, " Optionen für Bilder ");
        const int gx = GroupBox4->x(), gy = GroupBox4->y();
        {
            chkSize = new Fl_Check_Button(gx + 15, gy + 38, 190, 16, "Bildgröße auf festes Format setzen:");
            chkSize->callback(cb_OptionsPage, this);
        }
        {
            chk4zu3 =
                new Fl_Check_Button(gx + 15, gy + 85, 380, 16,
                                    " 4 : 3 - Geometrie einhalten (ggf. werden schwarze Ränder eingefügt)");
            chk4zu3->callback(cb_OptionsPage, this);
        }
        Label4 = NewLabel(gx + 35, gy + 118, 231, "Keine Korrektur, wenn Breite : Höhe zwischen:");
        {
            txtGeometryOKab = new ExitEdit(gx + 267, gy + 115, 46, 21);
            txtGeometryOKab->callback(cb_OptionsPage, this);
        }
        {
            Label5 = new Fl_Box(gx + 316, gy + 118, 76, kLabelH, "<   1.33...   <");
            Label5->align(FL_ALIGN_CENTER | FL_ALIGN_INSIDE);
        }
        {
            txtGeometryOKbis = new ExitEdit(gx + 394, gy + 114, 54, 21);
            txtGeometryOKbis->callback(cb_OptionsPage, this);
        }
        Label6 = NewLabel(gx + 35, gy + 148, 318,
                          "An Gegenseite kürzen (\"Aufzoomen\"), wenn nötiger Rand kleiner");
        {
            txtMaxKillBorder = new ExitEdit(gx + 354, gy + 145, 39, 21);
            txtMaxKillBorder->callback(cb_OptionsPage, this);
        }
        Label13 = NewLabel(gx + 407, gy + 148, 60, "Prozent");
        Label14 = NewLabel(gx + 35, gy + 166, 300, "der Originalbreite bzw. -höhe.");
        {
            cbFestgroesse = NewSizeList(gx + 212, gy + 36, 144, 21);
            cbFestgroesse->callback(cb_OptionsPage, this);
        }
        {
            // In the free row between the fixed size and the 4:3 option; made
            // last, so its tab stop follows the group's original controls.
            chkEigenesBild =
                new Fl_Check_Button(gx + 15, gy + 61, 300, 16, "Jeder Bildschirm bekommt ein eigenes Bild");
            chkEigenesBild->callback(cb_OptionsPage, this);
        }
        GroupBox4->end();
    }
    {
        GroupBox5 = new GroupBox(kPageX + 22, kPageY + 307, 475, 90, " Optionen für Kacheln ");
        const int gx = GroupBox5->x(), gy = GroupBox5->y();
        {
            cbKachelgroesse = NewSizeList(gx + 236, gy + 51, 144, 21);
            cbKachelgroesse->callback(cb_OptionsPage, this);
        }
        {
            optKacheltyp1 =
                new Fl_Round_Button(gx + 14, gy + 26, 337, 17,
                                    " Eigenschaft \"Kachel\" in win.ini aktivieren => Windows \"kachelt\"");
            optKacheltyp1->type(FL_RADIO_BUTTON);
            optKacheltyp1->callback(cb_OptionsPage, this);
        }
        {
            optKacheltyp2 =
                new Fl_Round_Button(gx + 14, gy + 53, 212, 17, " Kachelbild folgender Größe erzeugen:");
            optKacheltyp2->type(FL_RADIO_BUTTON);
            optKacheltyp2->callback(cb_OptionsPage, this);
        }
        GroupBox5->end();
    }
}

void TFrmMain::FillOptionsPage() {
    // Setting values in code runs no callback, so nothing is stored or saved.
    chkSize->value(Optionen->Autowandlung_Groesse ? 1 : 0);
    chk4zu3->value(Optionen->Autowandlung_4zu3 ? 1 : 0);
    cbFestgroesse->value(
        SelectSizeItem(ItemsOf(*cbFestgroesse), Optionen->FesteBildBreite, Optionen->FesteBildHoehe));
    optKacheltyp1->value(Optionen->KachelTyp == 0 ? 1 : 0);
    optKacheltyp2->value(Optionen->KachelTyp == 1 ? 1 : 0);
    cbKachelgroesse->value(
        SelectSizeItem(ItemsOf(*cbKachelgroesse), Optionen->KachelBildbreite, Optionen->KachelBildhoehe));
    txtKachelBr->value(std::to_string(Optionen->KachelMaxBreite).c_str());
    txtKachelH->value(std::to_string(Optionen->KachelMaxHoehe).c_str());
    txtGeometryOKab->value(FloatText(Optionen->GeometrieOKAb).c_str());
    txtGeometryOKbis->value(FloatText(Optionen->GeometrieOKBis).c_str());
    txtMaxKillBorder->value(FloatText(Optionen->MaxKillBorder).c_str());
    chkEigenesBild->value(Optionen->EigenesBildJeBildschirm ? 1 : 0);
}

void TFrmMain::chkSizeClick() {
    Optionen->SetAutowandlung_Groesse(chkSize->value() != 0);
}

void TFrmMain::chk4zu3Click() {
    Optionen->SetAutowandlung_4zu3(chk4zu3->value() != 0);
}

void TFrmMain::chkEigenesBildClick() {
    Optionen->SetEigenesBildJeBildschirm(chkEigenesBild->value() != 0);
}

void TFrmMain::cbFestgroesseChange() {
    if (Initialisierung) return;
    const auto size = ParseSizeItem(*cbFestgroesse);
    if (!size) return;
    Optionen->SetFesteBildBreite(size->width);
    Optionen->SetFesteBildHoehe(size->height);
}

void TFrmMain::cbKachelgroesseChange() {
    if (Initialisierung) return;
    const auto size = ParseSizeItem(*cbKachelgroesse);
    if (!size) return;
    Optionen->SetKachelBildbreite(size->width);
    Optionen->SetKachelBildhoehe(size->height);
}

void TFrmMain::optKacheltypClick() {
    Optionen->SetKachelTyp(optKacheltyp1->value() ? 0 : 1);
}

void TFrmMain::txtKachelBrExit() {
    Optionen->SetKachelMaxBreite(IntegerOf(*txtKachelBr));
}

void TFrmMain::txtKachelHExit() {
    Optionen->SetKachelMaxHoehe(IntegerOf(*txtKachelH));
}

void TFrmMain::txtGeometryOKabExit() {
    Optionen->SetGeometrieOKAb(FloatOf(*txtGeometryOKab));
}

void TFrmMain::txtGeometryOKbisExit() {
    Optionen->SetGeometrieOKBis(FloatOf(*txtGeometryOKbis));
}

void TFrmMain::txtMaxKillBorderExit() {
    Optionen->SetMaxKillBorder(FloatOf(*txtMaxKillBorder));
}

void TFrmMain::cb_OptionsPage(Fl_Widget* w, void* data) {
    auto* self = static_cast<TFrmMain*>(data);
    try {
        if (w == self->chkSize)
            self->chkSizeClick();
        else if (w == self->chk4zu3)
            self->chk4zu3Click();
        else if (w == self->cbFestgroesse)
            self->cbFestgroesseChange();
        else if (w == self->chkEigenesBild)
            self->chkEigenesBildClick();
        else if (w == self->cbKachelgroesse)
            self->cbKachelgroesseChange();
        else if (w == self->optKacheltyp1 || w == self->optKacheltyp2)
            self->optKacheltypClick();
        else if (w == self->txtKachelBr)
            self->txtKachelBrExit();
        else if (w == self->txtKachelH)
            self->txtKachelHExit();
        else if (w == self->txtGeometryOKab)
            self->txtGeometryOKabExit();
        else if (w == self->txtGeometryOKbis)
            self->txtGeometryOKbisExit();
        else if (w == self->txtMaxKillBorder)
            self->txtMaxKillBorderExit();
    } catch (const std::exception& e) {
        self->ShowFailure(e.what());
    }
}
