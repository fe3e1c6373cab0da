#include "ui/CheckListBox.h"

#include <FL/Fl.H>
#include <FL/fl_draw.H>

#include <cstdint>

namespace {
// The mark lives in the row's data pointer, so it moves with the row.
void* MarkData(bool checked) {
    return reinterpret_cast<void*>(static_cast<std::intptr_t>(checked ? 1 : 0));
}
} // namespace

CheckListBox::CheckListBox(int X, int Y, int W, int H, const char* L) : Fl_Hold_Browser(X, Y, W, H, L) {
    // Paths are shown as they are: no "@" formatting, no tab columns.
    format_char(0);
    column_char(0);
    when(FL_WHEN_CHANGED);
}

void CheckListBox::AddRow(const std::string& text, bool checkedState) {
    add(text.c_str(), MarkData(checkedState));
}

bool CheckListBox::checked(int line) const {
    if (line < 1 || line > size()) return false;
    return data(line) != nullptr;
}

void CheckListBox::checked(int line, bool value) {
    if (line < 1 || line > size()) return;
    data(line, MarkData(value));
    redraw_line(find_line(line));
}

void CheckListBox::Toggle(int line) {
    checked(line, !checked(line));
    if (checkCb_) checkCb_(this, checkData_);
}

int CheckListBox::handle(int event) {
    switch (event) {
    case FL_PUSH: {
        if (Fl::event_button() != FL_LEFT_MOUSE) break;
        int X, Y, W, H;
        bbox(X, Y, W, H);
        if (!Fl::event_inside(X, Y, W, H) || Fl::event_x() >= X + kBoxColumn - hposition()) break;
        void* item = find_item(Fl::event_y());
        if (!item) break;
        const int line = lineno(item);
        if (Fl::visible_focus()) take_focus();
        if (value() != line) {
            value(line);
            do_callback();
        }
        Toggle(line);
        return 1;
    }
    case FL_KEYBOARD:
        if (Fl::event_key() == ' ' && !Fl::event_state(FL_SHIFT | FL_CTRL | FL_ALT | FL_META)) {
            if (value() > 0) Toggle(value());
            return 1;
        }
        break;
    default:
        break;
    }
    return Fl_Hold_Browser::handle(event);
}

void CheckListBox::item_draw(void* item, int X, int Y, int W, int H) const {
    const int line = lineno(item);
    const int size = 11;
    const int bx = X + 2, by = Y + (H - size) / 2;
    fl_draw_box(FL_DOWN_BOX, bx, by, size, size, FL_BACKGROUND2_COLOR);
    if (line > 0 && data(line)) {
        fl_color(active_r() ? FL_FOREGROUND_COLOR : fl_inactive(FL_FOREGROUND_COLOR));
        const int x0 = bx + 2, y0 = by + 5;
        // A tick of two strokes, two pixels thick.
        for (int d = 0; d < 2; ++d) {
            fl_line(x0, y0 + d, x0 + 2, y0 + 2 + d);
            fl_line(x0 + 2, y0 + 2 + d, x0 + 6, y0 - 2 + d);
        }
    }
    Fl_Hold_Browser::item_draw(item, X + kBoxColumn, Y, W - kBoxColumn, H);
}

int CheckListBox::item_width(void* item) const {
    return Fl_Hold_Browser::item_width(item) + kBoxColumn;
}
