// Shows the configuration window with sample entries and pictures, and writes one PNG
// screenshot per page, preview state, slide show and dialog into the folder given as
// argument: the client area at the screen's own pixels, captured by FLTK itself, so the
// same program serves X11, Wayland and Windows. Run by scripts/screenshots; with
// ZENKS_SCREEN_GRAB set, that command is also run with the name of a PNG file of the
// whole screen (grim under Wayland, where only the compositor sees the frame).
#include "compose/BmpWriter.h"
#include "compose/Graphics.h"
#include "config/uOptionen.h"
#include "tests/support/TestSupport.h"
#include "platform/Platform.h"
#include "ui/Clzenk.h"
#include "ui/DVerzeichnis.h"
#include "ui/ap.h"

#include <FL/Fl.H>
#include <FL/Fl_PNG_Image.H>
#include <FL/platform.H>
#include <FL/fl_draw.H>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace fs = std::filesystem;

namespace {
std::string outDir;

void Grab(Fl_Window* w, const std::string& name) {
    for (int i = 0; i < 50; ++i)
        Fl::wait(0.02);
    Fl::flush();
    const std::string file = outDir + "/" + name + ".png";
    Fl_RGB_Image* image = fl_capture_window(w, 0, 0, w->w(), w->h());
    if (!image || fl_write_png(file.c_str(), image) != 0)
        std::fprintf(stderr, "capture failed for %s\n", name.c_str());
    delete image;
    if (const char* grab = std::getenv("ZENKS_SCREEN_GRAB")) {
        const std::string cmd = std::string(grab) + " '" + outDir + "/" + name + "-screen.png'";
        if (std::system(cmd.c_str()) != 0) std::fprintf(stderr, "%s failed for %s\n", grab, name.c_str());
    }
}

// A sky-like gradient with a darker band, large enough to be stretched.
void WriteGradient(const fs::path& file, int width, int height) {
    TBitmap b(width, height);
    for (int y = 0; y < height; ++y) {
        std::uint8_t* p = b.ScanLine(y);
        for (int x = 0; x < width; ++x, p += 3) {
            const bool band = y > height * 2 / 3;
            p[0] = static_cast<std::uint8_t>(band ? 40 : 255 - y * 120 / height);
            p[1] = static_cast<std::uint8_t>(band ? 90 + x * 60 / width : 160 - y * 60 / height);
            p[2] = static_cast<std::uint8_t>(band ? 30 : 60 + x * 80 / width);
        }
    }
    SaveBitmapToFile(b, file.string());
}

// The popup menu is no modal window: the newest window is it.
void GrabMenuAndClose(void* data) {
    Fl_Window* w = Fl::first_window();
    if (!w) return;
    Grab(w, static_cast<const char*>(data));
    // The menu is the last picture. A popup menu cannot be closed from
    // outside under every system (Wayland), so the program ends here.
    std::_Exit(0);
}

void GrabModalAndClose(void* data) {
    Fl_Window* w = Fl::modal();
    if (!w) return;
    Grab(w, static_cast<const char*>(data));
    w->hide();
}
} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: ui_screenshots OUTDIR\n");
        return 2;
    }
    outDir = argv[1];
    const fs::path base = fs::path(outDir) / "sandbox";
    fs::create_directories(base);
#ifdef _WIN32
    _putenv_s("HOME", base.string().c_str());
#else
    setenv("HOME", base.c_str(), 1);
#endif
    platform::SetExecutablePathForTesting((base / "ulbrasen").string());
    std::ofstream(base / "ulbrasen.ini") << "[Optionen]\nFirst=0\n";
    std::ofstream(base / "ulbrasen.aw")
        << "Urlaub=::/bilder/urlaub::\r\nHaus & Garten=::/bilder/garten::\r\n";
    {
        TOptionen o;
        o.AddDirectory("/home/zenk/Bilder/Urlaub 2003", true);
        o.AddDirectory("/home/zenk/Bilder/Hintergründe", false);
        o.AddDirectory("/media/cdrom/@Sammlung/Gemälde mit einem sehr langen Namen", false);
        o.SetDirectoryActive(1, false);
        const fs::path pictures = base / "Bilder";
        fs::create_directories(pictures);
        WriteGradient(pictures / "abendhimmel.bmp", 1024, 768);
        fs::copy_file(testsupport::CorpusPath("jpeg/ljt-testorig.jpg"), pictures / "testorig.jpg");
        fs::copy_file(testsupport::CorpusPath("bmp/bmpsuite-g-rgb24.bmp"), pictures / "kachel.bmp");
        std::ofstream(pictures / "kaputt.bmp") << "kein Bitmap";
        o.AddDirectory(pictures.string(), false);
    }
    fl_open_display();
    TFrmMain frm;
    frm.show();
    frm.lVerz->value(2);
    Grab(&frm, "einstellungen");
    frm.pc->value(frm.pBilder);
    frm.pc->do_callback();
    Grab(&frm, "bilderliste");
    frm.SelectPicture(1);
    Grab(&frm, "bilderliste-kachel");
    frm.SelectPicture(2);
    Grab(&frm, "bilderliste-fehler");
    frm.SelectPicture(3);
    frm.BildDblClick();
    Grab(&frm, "bilderliste-gross");
    Fl::add_timeout(0.5, GrabModalAndClose, const_cast<char*>("diashow"));
    frm.SpeedButton1Click();
    frm.BildDblClick();
    frm.SelectPicture(2);
    Fl::add_timeout(0.5, GrabModalAndClose, const_cast<char*>("diashow-fehler"));
    frm.SpeedButton1Click();
    frm.pc->value(frm.TabSheet1);
    Grab(&frm, "ladeoptionen");
    frm.pc->value(frm.pSettings);

    Fl::add_timeout(0.5, GrabModalAndClose, const_cast<char*>("verzeichnis"));
    std::string path = "/home/zenk/Bilder";
    bool recursive = true;
    ShowDirectoryDialog(path, recursive);
    Fl::add_timeout(0.5, GrabModalAndClose, const_cast<char*>("frage"));
    AskYesNo("Verzeichnis entfernen",
             "Soll das Verzeichnis /home/zenk/Bilder/Urlaub 2003 wirklich aus der Liste entfernt werden?",
             true, 0);
    Fl::add_timeout(0.5, GrabModalAndClose, const_cast<char*>("eingabe"));
    InputQuery("Neue Auswahl speichern", "Unter welchem Namen soll die Auswahl gespeichert werden?", "");
    Fl::add_timeout(0.5, GrabModalAndClose, const_cast<char*>("fehler"));
    ShowErrorMessage("'12a' ist kein gültiger Integerwert");
    Fl::add_timeout(0.5, GrabMenuAndClose, const_cast<char*>("auswahl-laden"));
    frm.butAuswahlLaden->do_callback();
    frm.hide();
    platform::SetExecutablePathForTesting(std::nullopt);
    return 0;
}
