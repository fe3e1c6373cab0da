#pragma once
// An empty window that is created at start-up and never shown.
#include <FL/Fl_Window.H>

class TForm1 : public Fl_Window {
  public:
    TForm1();
};
