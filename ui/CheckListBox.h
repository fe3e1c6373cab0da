#pragma once
// A single-selection list with a check box in front of every row. A click in
// the box or the space key toggles the row's mark and reports it through the
// check callback; a click on the text only selects the row.
#include <FL/Fl_Hold_Browser.H>

#include <string>

class CheckListBox : public Fl_Hold_Browser {
  public:
    CheckListBox(int X, int Y, int W, int H, const char* L = nullptr);

    // Rows are 1-based like Fl_Browser's lines.
    void AddRow(const std::string& text, bool checked);
    bool checked(int line) const;
    void checked(int line, bool value);

    // Called after the user changed a mark; that row is then the selected one.
    void check_callback(Fl_Callback* cb, void* data) {
        checkCb_ = cb;
        checkData_ = data;
    }

    int handle(int event) override;

    // Width of the box column at the left of each row.
    static constexpr int kBoxColumn = 16;

  protected:
    void item_draw(void* item, int X, int Y, int W, int H) const override;
    int item_width(void* item) const override;

  private:
    void Toggle(int line);

    Fl_Callback* checkCb_ = nullptr;
    void* checkData_ = nullptr;
};
