#pragma once
// The page "Bilder-Ladeoptionen": an edit that acts when the focus leaves it,
// and the two routines behind the size lists.
#include <FL/Fl_Choice.H>
#include <FL/Fl_Input.H>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// An edit whose callback runs each time the keyboard focus moves from it to
// another widget of the same window, whether or not its text changed. Hiding
// its page, closing the window or another window taking the focus is no exit.
class ExitEdit : public Fl_Input {
  public:
    ExitEdit(int X, int Y, int W, int H, const char* L = nullptr);
    int handle(int event) override;
};

// The eight items of both size lists, in list order; "1152x964" as it always was.
const std::vector<std::string>& SizeItems();

// Index of the first item that reads "<width>x<height>", 0 when none does.
int SelectSizeItem(const std::vector<std::string>& items, std::int32_t width, std::int32_t height);

struct SizeChoice {
    std::int32_t width = 0;
    std::int32_t height = 0;
};
// The size the selected item stands for: no value without a selection, 0 x 0
// for an item without "x".
std::optional<SizeChoice> ParseSizeItem(const Fl_Choice& list);
std::optional<SizeChoice> ParseSizeItem(const std::optional<std::string>& selectedText);
