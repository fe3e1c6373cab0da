#pragma once
// Small modal boxes of the configuration window: the yes/no confirmation, the
// error box and the one-line input box.
#include <optional>
#include <string>

// True only when the user chose "&Ja". An empty caption gives the title
// "Bestätigung"; Escape and the close box answer No. The help context is
// accepted for the callers' sake; there is no help file to open.
bool AskYesNo(const std::string& caption, const std::string& text, bool yesIsDefault, int helpContext);

// The error box through which every failure that reaches the window is shown.
void ShowErrorMessage(const std::string& text);

// A one-line input box with "OK" and "Abbrechen"; nullopt when cancelled.
std::optional<std::string> InputQuery(const std::string& title, const std::string& prompt,
                                      const std::string& def);

// FLTK reads "@" in a label as a symbol code; doubled it is shown as typed.
std::string LiteralLabel(const std::string& text);

// A menu item's label shown as typed: "&" would mark a shortcut letter and
// "@" a symbol.
std::string MenuLabel(const std::string& text);

// Applies the window's font before widgets are built: FLTK's default is wider
// than the layout's 8-point font. Also sets the German texts below.
void UseWindowFont();

// German texts for everything FLTK shows by itself: the buttons of its message
// boxes, the context menu of text fields, its own file chooser.
void UseGermanTexts();
