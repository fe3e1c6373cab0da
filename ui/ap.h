#pragma once
// The configuration window: the page control with the directory list, the
// shortcut choices and the selection sets; and the interactive start.
#include "compose/Graphics.h"
#include "ui/CheckListBox.h"

#include <FL/Fl_Box.H>
#include <FL/Fl_Button.H>
#include <FL/Fl_Check_Button.H>
#include <FL/Fl_Choice.H>
#include <FL/Fl_Double_Window.H>
#include <FL/Fl_Group.H>
#include <FL/Fl_Round_Button.H>
#include <FL/Fl_Tabs.H>

#include <array>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class TOptionen;
class SelectionSetList;
class ExitEdit;
class PictureListBox;
class PreviewFrame;
class PictureImage;
class GlyphButton;

// The interactive start: the configuration window and its message loop.
int RunInteractive(int argc, char** argv);

// A framed group with its caption on the frame's top line.
class GroupBox : public Fl_Group {
  public:
    GroupBox(int X, int Y, int W, int H, const char* L);

  protected:
    void draw() override;
};

// A page of the page control; "&" in its caption marks the shortcut letter.
class TabPage : public Fl_Group {
  public:
    TabPage(int X, int Y, int W, int H, const char* L);
    int handle(int event) override;
};

// One item of popAuswahl. Item 0 is mnuNeu; the others carry in tag the
// index of their line in Auswahlen.
struct SelectionMenuItem {
    std::string caption;
    int tag = -1;
    bool visible = true;
};

// Everything that waits for the user, replaceable so that tests can answer.
struct FrmMainDialogs {
    std::function<bool(std::string& path, bool& recursive)> directory;
    std::function<bool(const std::string& caption, const std::string& text, bool yesIsDefault,
                       int helpContext)>
        yesNo;
    std::function<std::optional<std::string>(const std::string& title, const std::string& prompt)> input;
    std::function<void(const std::string& text)> error;
    // Opens popAuswahl at the screen point; the index of the chosen item or -1.
    std::function<int(const std::vector<SelectionMenuItem>& items, int screenX, int screenY)> popup;

    static FrmMainDialogs Real(class TFrmMain& owner);
};

class TFrmMain : public Fl_Double_Window {
  public:
    // Builds the controls and runs FormCreate; without dialogs the real ones.
    explicit TFrmMain(std::optional<FrmMainDialogs> dialogs = std::nullopt);
    ~TFrmMain() override;

    Fl_Tabs* pc;
    TabPage* pSettings;
    TabPage* pBilder;
    TabPage* TabSheet1;

    GroupBox* GroupBox1;
    CheckListBox* lVerz;
    Fl_Button* butSuchen;
    Fl_Button* butEinfuegen;
    Fl_Button* butAendern;
    Fl_Button* butLoeschen;
    Fl_Button* butHoch;
    Fl_Button* butRunter;
    Fl_Button* butAlle;
    Fl_Button* butKein;
    Fl_Button* butInvert;
    Fl_Button* butAuswahlLaden;
    Fl_Button* butAuswahlSpeichern;
    Fl_Button* butAuswahlLoeschen;

    GroupBox* GroupBox2;
    Fl_Box* Label1;
    Fl_Box* Label2;
    Fl_Choice* cbDesktop;
    Fl_Choice* cbStartmenu;
    Fl_Check_Button* chkAutostart;

    GroupBox* GroupBox3;
    Fl_Box* Label9;
    ExitEdit* txtKachelBr;
    Fl_Box* Label10;
    ExitEdit* txtKachelH;
    Fl_Box* Label12;

    GroupBox* GroupBox4;
    Fl_Check_Button* chkSize;
    Fl_Choice* cbFestgroesse;
    Fl_Check_Button* chk4zu3;
    Fl_Box* Label4;
    ExitEdit* txtGeometryOKab;
    Fl_Box* Label5;
    ExitEdit* txtGeometryOKbis;
    Fl_Box* Label6;
    ExitEdit* txtMaxKillBorder;
    Fl_Box* Label13;
    Fl_Box* Label14;
    Fl_Check_Button* chkEigenesBild;

    GroupBox* GroupBox5;
    Fl_Round_Button* optKacheltyp1;
    Fl_Round_Button* optKacheltyp2;
    Fl_Choice* cbKachelgroesse;

    // Page "Bilderliste" (PicturesPage.cpp).
    PictureListBox* lBilder;
    PreviewFrame* PicBorder;
    PictureImage* Bild;
    Fl_Box* labInfo;
    Fl_Group* frButtons;
    Fl_Button* Button7;
    GlyphButton* butZoomIn;
    Fl_Group* frMinibuttons;
    GlyphButton* but1st;
    GlyphButton* butPrev;
    GlyphButton* butNext;
    GlyphButton* butLast;
    GlyphButton* butZoomOut;
    GlyphButton* SpeedButton1;
    // The lines of lBilder: the picture catalogue.
    std::vector<std::string> BilderLines;

    std::unique_ptr<TOptionen> Optionen;
    std::unique_ptr<SelectionSetList> Auswahlen;
    // 0 load, 1 save, 2 delete: the tag of the last selection-set button clicked.
    int AuswahlAktion = 0;
    bool Initialisierung = false;
    bool Zoomed = false;
    // PicBorder's place on its page, normal [0] and enlarged [1]; all zero
    // until the page is first shown.
    std::array<TRect, 2> PreviewRects{};
    std::vector<SelectionMenuItem> popAuswahl;
    // Where popAuswahl opened last, in screen coordinates.
    int popAuswahlX = 0;
    int popAuswahlY = 0;

    FrmMainDialogs Dialogs;

    void FormCreate();
    void FormDestroy();
    void RefreshDirectoryList();

    void butEinfuegenClick();
    void butAendernClick();
    void butLoeschenClick();
    void butHochClick();
    void butRunterClick();
    void butAlleClick();
    void butKeinClick();
    void butInvertClick();
    void lVerzClickCheck();
    void chkAutostartClick();
    void cbDesktopChange();
    void cbStartmenuChange();

    // Page "Bilder-Ladeoptionen" (OptionsPage.cpp).
    void BuildOptionsPage();
    void FillOptionsPage();
    void chkSizeClick();
    void chk4zu3Click();
    void chkEigenesBildClick();
    void cbFestgroesseChange();
    void cbKachelgroesseChange();
    void optKacheltypClick();
    void txtKachelBrExit();
    void txtKachelHExit();
    void txtGeometryOKabExit();
    void txtGeometryOKbisExit();
    void txtMaxKillBorderExit();

    void LoadSelectionSets();
    void SaveSelectionSets();
    void butAuswahlActionClick(Fl_Button* button);
    void SelectionSetMenuClick(int item);

    // Index of the selected row of lVerz, -1 when none.
    int SelectedRow() const;

    void BuildPicturesPage();
    void pcChange();
    void lBilderClick();
    void but1stClick();
    void butPrevClick();
    void butNextClick();
    void butLastClick();
    void BildDblClick();
    void butZoomOutClick();
    void SpeedButton1Click();
    void butSlideshowClick();
    void Button7Click();
    // Index of the selected line of lBilder, -1 when none.
    int SelectedPicture() const;
    // Selects line i of lBilder and runs lBilderClick; nothing when i lies outside.
    void SelectPicture(int i);

  private:
    enum class Marks { Tick, Untick, Invert };
    void SetAllMarks(Marks how);
    void UpdateSelectionButtons();
    // Shows what reached a callback; the window keeps running.
    void ShowFailure(const std::string& text);

    template <void (TFrmMain::*Handler)()> static void Trampoline(Fl_Widget*, void* data);
    static void cb_butAuswahl(Fl_Widget* w, void* data);
    static void cb_close(Fl_Widget*, void* data);
    static void cb_lVerzCheck(Fl_Widget*, void* data);
    static void cb_OptionsPage(Fl_Widget* w, void* data);
};
