#include "desktop/uVerknuepfungen.h"

#include "platform/ComPtr_win32.h"
#include "platform/Win32Text.h"

#include <windows.h>
#include <objidl.h>
#include <shlobj.h>
#include <shobjidl.h>

const char* const kChangeLinkName = "Hintergrundbild wechseln.lnk";
const char* const kConfigLinkName = "Hintergrundbildwechsler konfigurieren.lnk";

namespace {
struct ItemIdList {
    LPITEMIDLIST p = nullptr;
    ~ItemIdList() {
        if (p) CoTaskMemFree(p);
    }
};

bool IsSeparator(char c) {
    return c == '\\' || c == '/';
}

// Fills and saves one link through the given interface; the ANSI one gets
// its strings in the system code page, the wide one in UTF-16.
template <class Link, class Convert>
bool SaveLink(REFIID iid, Convert convert, const std::string& target, const std::string& arguments,
              const std::string& linkFile, const std::string& description) {
    ComPtr<Link> link;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, iid, link.out())) || !link.p)
        return false;
    link.p->SetPath(convert(target).c_str());
    link.p->SetDescription(convert(description).c_str());
    link.p->SetWorkingDirectory(convert(WorkingDirectoryFor(target)).c_str());
    link.p->SetArguments(convert(arguments).c_str());
    ComPtr<IPersistFile> file;
    if (FAILED(link.p->QueryInterface(IID_IPersistFile, file.out())) || !file.p) return false;
    return SUCCEEDED(file.p->Save(platform::Utf8ToWide(linkFile).c_str(), TRUE));
}
} // namespace

std::string GetSpecialFolder(Csidl folder) {
    ItemIdList pidl;
    if (FAILED(SHGetSpecialFolderLocation(nullptr, static_cast<int>(folder), &pidl.p)) || !pidl.p) return "";
    wchar_t buf[MAX_PATH + 1] = {};
    if (!SHGetPathFromIDListW(pidl.p, buf)) return "";
    std::string path = platform::WideToUtf8(buf);
    if (!path.empty() && path.back() != '\\') path += '\\';
    return path;
}

std::string WorkingDirectoryFor(const std::string& target) {
    std::size_t sep = target.size();
    while (sep > 0 && !IsSeparator(target[sep - 1]))
        --sep;
    if (sep == 0) return "";
    std::string folder = target.substr(0, sep - 1);
    // A drive root keeps its backslash: "C:\", not "C:".
    if (folder.size() == 2 && folder[1] == ':') return folder + '\\';
    if (folder.empty()) return target.substr(0, 1);
    return folder;
}

bool CreateShellLink(const std::string& target, const std::string& arguments, const std::string& linkFile,
                     const std::string& description) {
    if (platform::FitsAnsiCodePage(target) && platform::FitsAnsiCodePage(arguments) &&
        platform::FitsAnsiCodePage(description))
        return SaveLink<IShellLinkA>(
            IID_IShellLinkA,
            [](const std::string& s) { return platform::WideToCodePage(platform::Utf8ToWide(s), CP_ACP); },
            target, arguments, linkFile, description);
    // A folder name outside the ANSI code page would come out as '?' through
    // the ANSI interface and the link would point nowhere.
    return SaveLink<IShellLinkW>(
        IID_IShellLinkW, [](const std::string& s) { return platform::Utf8ToWide(s); }, target, arguments,
        linkFile, description);
}
