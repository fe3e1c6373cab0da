#pragma once
// Special folders and shortcut files: ".lnk" shell links on Windows,
// freedesktop desktop entries on Linux.
#include <string>

// The shell's folder numbers (CSIDL values).
enum class Csidl : int { Programs = 2, Startup = 7, DesktopDirectory = 16 };

// "Hintergrundbild wechseln" and "Hintergrundbildwechsler konfigurieren" with
// the platform's shortcut extension.
extern const char* const kChangeLinkName;
extern const char* const kConfigLinkName;

// The folder's path ending in a separator; empty when it cannot be determined.
std::string GetSpecialFolder(Csidl folder);

// Writes a shortcut to target with the arguments and description; the working
// directory is the target's folder. False when nothing could be written.
bool CreateShellLink(const std::string& target, const std::string& arguments, const std::string& linkFile,
                     const std::string& description);

// The folder of target without its trailing separator; a root keeps it.
std::string WorkingDirectoryFor(const std::string& target);
