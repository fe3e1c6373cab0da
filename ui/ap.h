#pragma once
// The interactive start: the configuration window and its message loop.
int RunInteractive(int argc, char** argv);
