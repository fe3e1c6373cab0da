#pragma once
// Starts the configuration window and returns the exit code. On Linux the
// window, FLTK and the libraries under it live in a module that only this
// opens, so that "/run" loads none of them.
int OpenWindow(int argc, char** argv);
