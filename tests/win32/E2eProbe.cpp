// The Windows side of the end-to-end scripts: makes test pictures and reads
// back what the real program left behind, the way another program would.
//   picture FILE W H        writes the pattern BMP
//   pattern FILE W H        exit 0 when FILE holds the pattern at W x H
//   folder startup|desktop|programs
//   link FILE               path, arguments, working directory, description
//   window TITLE SECONDS    waits for the window, prints its client size, closes it
#include "platform/Win32Text.h"
#include "tests/desktop/TestPictures.h"

#include <windows.h>
#include <objidl.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

std::string Ansi(const char* text) {
    return platform::WideToUtf8(platform::CodePageToWide(text, CP_ACP));
}

int PrintFolder(const std::string& which) {
    const int csidl = which == "startup"   ? CSIDL_STARTUP
                      : which == "desktop" ? CSIDL_DESKTOPDIRECTORY
                                           : CSIDL_PROGRAMS;
    char buf[MAX_PATH] = {};
    // As with links, a second look after a pause tells a prefix still
    // settling apart from a folder that is not there.
    if (!SHGetSpecialFolderPathA(nullptr, buf, csidl, FALSE) &&
        (Sleep(2000), !SHGetSpecialFolderPathA(nullptr, buf, csidl, FALSE))) {
        std::printf("no %s folder (error %lu)\n", which.c_str(), GetLastError());
        return 1;
    }
    std::printf("%s\n", Ansi(buf).c_str());
    return 0;
}

// Reads one link; on failure says which step failed, so a failing check
// shows the reason instead of an empty string.
HRESULT ReadLink(const std::string& file, std::string& out) {
    IShellLinkA* link = nullptr;
    HRESULT hr = CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                  reinterpret_cast<void**>(&link));
    if (FAILED(hr)) {
        out = "CoCreateInstance failed";
        return hr;
    }
    IPersistFile* pf = nullptr;
    hr = link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&pf));
    if (SUCCEEDED(hr)) {
        hr = pf->Load(platform::Utf8ToWide(file).c_str(), STGM_READ);
        if (SUCCEEDED(hr)) {
            char path[1024] = {}, args[1024] = {}, dir[1024] = {}, desc[1024] = {};
            link->GetPath(path, sizeof path, nullptr, 0);
            link->GetArguments(args, sizeof args);
            link->GetWorkingDirectory(dir, sizeof dir);
            link->GetDescription(desc, sizeof desc);
            out = Ansi(path) + "\n" + Ansi(args) + "\n" + Ansi(dir) + "\n" + Ansi(desc) + "\n";
        } else {
            out = "Load failed";
        }
        pf->Release();
    } else {
        out = "no IPersistFile";
    }
    link->Release();
    return hr;
}

int PrintLink(const std::string& file) {
    if (FAILED(CoInitialize(nullptr))) {
        std::printf("CoInitialize failed\n");
        return 1;
    }
    std::string out;
    HRESULT hr = ReadLink(file, out);
    if (FAILED(hr)) {
        // A fresh prefix may still be settling when the first link is read;
        // a second read tells that apart from a broken file.
        Sleep(2000);
        const std::string first = out;
        hr = ReadLink(file, out);
        if (SUCCEEDED(hr)) std::fprintf(stderr, "e2e_probe: %s on the first read of %s\n", first.c_str(), file.c_str());
    }
    CoUninitialize();
    if (FAILED(hr)) {
        std::printf("%s: %s (0x%08lx)\n", file.c_str(), out.c_str(), static_cast<unsigned long>(hr));
        return 1;
    }
    std::printf("%s", out.c_str());
    return 0;
}

int MeasureWindow(const std::string& title, int seconds) {
    const std::wstring wide = platform::Utf8ToWide(title);
    HWND wnd = nullptr;
    for (int i = 0; i < seconds * 10 && !wnd; ++i) {
        wnd = FindWindowW(nullptr, wide.c_str());
        if (!wnd) Sleep(100);
    }
    if (!wnd) {
        std::printf("no window\n");
        return 1;
    }
    // Let the window finish its first layout before measuring.
    Sleep(500);
    RECT r{};
    GetClientRect(wnd, &r);
    std::printf("%ldx%ld\n", r.right - r.left, r.bottom - r.top);
    PostMessageW(wnd, WM_CLOSE, 0, 0);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    const std::string cmd = argc > 1 ? argv[1] : "";
    if (cmd == "picture" && argc == 5) {
        pictures::WritePatternBmp(argv[2], std::atoi(argv[3]), std::atoi(argv[4]));
        return 0;
    }
    if (cmd == "pattern" && argc == 5) {
        const auto held =
            pictures::HoldsPattern(pictures::ReadBmp(argv[2]), std::atoi(argv[3]), std::atoi(argv[4]));
        if (!held) std::printf("%s\n", held.message());
        return held ? 0 : 1;
    }
    if (cmd == "folder" && argc == 3) return PrintFolder(argv[2]);
    if (cmd == "link" && argc == 3) return PrintLink(argv[2]);
    if (cmd == "window" && argc == 4) return MeasureWindow(argv[2], std::atoi(argv[3]));
    std::fprintf(stderr, "e2e_probe: unknown command\n");
    return 2;
}
