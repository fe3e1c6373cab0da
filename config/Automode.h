#pragma once
// The automatic change: "ulbrasen /run" picks a picture, makes it the
// wallpaper and ends, without initialising the GUI toolkit.

// True when the first argument is "/run" after lower-casing A to Z; later
// arguments do not count.
bool IsAutomaticChangeRequested(int argc, char** argv);

// Constructs the settings, applies a randomly picked picture and releases the
// settings again. Returns the process exit code: 0, also when nothing could
// be applied; 1 after printing an escaping error on stderr.
int RunAutomaticChange();
