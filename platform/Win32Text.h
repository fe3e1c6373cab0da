#pragma once
// Conversions at the Win32 boundary: UTF-8 inside the program, UTF-16 for the
// wide API, the ANSI code page for the "A" functions and the user's old files.
#include <string>

namespace platform {

std::wstring Utf8ToWide(const std::string& text);
std::string WideToUtf8(const std::wstring& text);
std::string WideToCodePage(const std::wstring& text, unsigned codePage);
std::wstring CodePageToWide(const std::string& text, unsigned codePage);
// True when the UTF-8 text survives the way through the ANSI code page unchanged.
bool FitsAnsiCodePage(const std::string& text);

} // namespace platform
