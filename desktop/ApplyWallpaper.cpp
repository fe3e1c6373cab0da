#include "config/uOptionen.h"

// Placeholder until wallpaper application lands.
void TOptionen::ApplyWallpaper(const std::string& /*fileName*/) {}
