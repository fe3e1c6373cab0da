#pragma once
// The outputs in the JSON answer of "swaymsg -r -t get_outputs".
#include "platform/Platform.h"

#include <string>
#include <vector>

// The active outputs with their name and rect in sway's order (sway knows no
// primary output, and the focused one changes); empty for anything that is
// not such an answer.
std::vector<platform::Monitor> ParseSwayOutputs(const std::string& json);
