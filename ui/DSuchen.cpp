#include "ui/DSuchen.h"

TForm1::TForm1() : Fl_Window(0, 0, 200, 100, "Form1") {
    end();
}
