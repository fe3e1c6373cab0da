#include "desktop/DesktopWallpaper.h"

#include "compose/Graphics.h"
#include "config/uOptionen.h"
#include "desktop/WallpaperBackend.h"
#include "platform/Platform.h"

#include <dirent.h>
#include <unistd.h>

#include <algorithm>
#include <ctime>
#include <memory>
#include <utility>
#include <vector>

#include <cstdio>
#include <cstdlib>
#include <fstream>

namespace {
enum class Kind { Gnome, Cinnamon, Mate, Xfce, Plasma, Lxqt, Sway };

std::string Env(const char* name) {
    const char* v = std::getenv(name);
    return v ? v : "";
}

void AddNamed(std::vector<Kind>& kinds, std::string name) {
    name = LowerAscii(name);
    if (name.rfind("x-", 0) == 0) name = name.substr(2);
    Kind k;
    if (name == "gnome" || name == "gnome-classic" || name == "gnome-flashback" || name == "ubuntu" ||
        name == "unity" || name == "budgie" || name == "budgie-desktop" || name == "pantheon")
        k = Kind::Gnome;
    else if (name == "cinnamon")
        k = Kind::Cinnamon;
    else if (name == "mate")
        k = Kind::Mate;
    else if (name == "xfce" || name == "xfce4" || name == "xubuntu")
        k = Kind::Xfce;
    else if (name == "kde" || name == "plasma" || name == "plasmawayland" || name == "plasmax11")
        k = Kind::Plasma;
    else if (name == "lxqt")
        k = Kind::Lxqt;
    else if (name == "sway")
        k = Kind::Sway;
    else
        return;
    for (Kind have : kinds)
        if (have == k) return;
    kinds.push_back(k);
}

void AddList(std::vector<Kind>& kinds, const std::string& list) {
    std::size_t pos = 0;
    while (pos <= list.size()) {
        std::size_t end = list.find(':', pos);
        if (end == std::string::npos) end = list.size();
        if (end > pos) AddNamed(kinds, list.substr(pos, end - pos));
        pos = end + 1;
    }
}

std::unique_ptr<WallpaperBackend> Make(Kind k) {
    switch (k) {
    case Kind::Gnome:
        return MakeGsettingsBackend(GsettingsDesktop::Gnome);
    case Kind::Cinnamon:
        return MakeGsettingsBackend(GsettingsDesktop::Cinnamon);
    case Kind::Mate:
        return MakeGsettingsBackend(GsettingsDesktop::Mate);
    case Kind::Xfce:
        return MakeXfceBackend();
    case Kind::Plasma:
        return MakePlasmaBackend();
    case Kind::Lxqt:
        return MakeLxqtBackend();
    case Kind::Sway:
        return MakeSwayBackend();
    }
    return nullptr;
}
} // namespace

std::vector<std::unique_ptr<WallpaperBackend>> CandidateBackends() {
    std::vector<Kind> kinds;
    AddList(kinds, Env("XDG_CURRENT_DESKTOP"));
    // The running session, for logins whose variable is unset or overridden.
    AddList(kinds, Env("XDG_SESSION_DESKTOP"));
    AddList(kinds, Env("DESKTOP_SESSION"));
    if (!Env("SWAYSOCK").empty()) AddNamed(kinds, "sway");
    if (!Env("KDE_FULL_SESSION").empty()) AddNamed(kinds, "kde");
    if (!Env("MATE_DESKTOP_SESSION_ID").empty()) AddNamed(kinds, "mate");
    if (!Env("GNOME_DESKTOP_SESSION_ID").empty()) AddNamed(kinds, "gnome");
    std::vector<std::unique_ptr<WallpaperBackend>> out;
    for (Kind k : kinds)
        out.push_back(Make(k));
    // Under Wayland the X root window of Xwayland is never shown.
    out.push_back(Env("WAYLAND_DISPLAY").empty() ? MakeRootWindowBackend() : MakeWaylandBackend());
    return out;
}

void SetDesktopWallpaper(const std::string& file, const TBitmap& bitmap, WallpaperStyle style,
                         PendingWrite* written) {
    for (auto& backend : CandidateBackends()) {
        if (!backend->Usable()) continue;
        if (written && backend->ReadsFile()) written->Wait();
        backend->Apply({file, bitmap, style, {}, written});
        return;
    }
}

std::vector<platform::Monitor> DesktopMonitors() {
    for (auto& backend : CandidateBackends())
        if (backend->Usable()) return backend->Monitors();
    return platform::Monitors();
}

void SetDesktopWallpapers(const std::vector<MonitorWallpaper>& monitors) {
    if (monitors.empty()) return;
    const MonitorWallpaper& primary = monitors.front();
    if (monitors.size() == 1) return SetDesktopWallpaper(primary.file, *primary.bitmap, primary.style);
    for (auto& backend : CandidateBackends()) {
        if (!backend->Usable()) continue;
        backend->Apply({primary.file, *primary.bitmap, primary.style, monitors});
        return;
    }
}

std::string PlainRuntimeDir() {
    const std::string dir = Env("XDG_RUNTIME_DIR");
    if (dir.empty() || dir[0] != '/') return "";
    for (char c : dir) {
        const bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                           c == '/' || c == '.' || c == '_' || c == '-';
        if (!plain) return "";
    }
    return platform::DirectoryExists(dir) ? dir : "";
}

std::string FileUri(const std::string& path) {
    static const char hex[] = "0123456789ABCDEF";
    std::string uri = "file://";
    for (unsigned char c : path) {
        const bool keep = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                          c == '-' || c == '.' || c == '_' || c == '~' || c == '/';
        if (keep) {
            uri += static_cast<char>(c);
        } else {
            uri += '%';
            uri += hex[c >> 4];
            uri += hex[c & 15];
        }
    }
    return uri;
}

namespace {
// The number in "<stem>-<number>.bmp", 0 when the name is not one of ours.
unsigned long long AliasNumber(const std::string& name, const std::string& prefix) {
    if (name.size() <= prefix.size() + 4 || name.compare(0, prefix.size(), prefix) != 0 ||
        name.compare(name.size() - 4, 4, ".bmp") != 0)
        return 0;
    const std::string digits = name.substr(prefix.size(), name.size() - prefix.size() - 4);
    // Numbers start at the clock's ten digits, so a monitor's own "-2" file
    // is never taken for an alias.
    if (digits.size() < 9 || digits.size() > 18 ||
        digits.find_first_not_of("0123456789") != std::string::npos)
        return 0;
    return std::stoull(digits);
}

// Our aliases in the folder of stem, by number.
std::vector<std::pair<unsigned long long, std::string>> Aliases(const std::string& stem) {
    const std::size_t slash = stem.rfind('/');
    const std::string dir = slash == std::string::npos ? "." : stem.substr(0, slash + 1);
    const std::string prefix = (slash == std::string::npos ? stem : stem.substr(slash + 1)) + "-";
    std::vector<std::pair<unsigned long long, std::string>> found;
    std::unique_ptr<DIR, int (*)(DIR*)> d(opendir(dir.c_str()), closedir);
    if (!d) return found;
    while (const dirent* e = readdir(d.get()))
        if (const unsigned long long n = AliasNumber(e->d_name, prefix))
            found.emplace_back(n, (slash == std::string::npos ? "" : dir) + e->d_name);
    std::sort(found.begin(), found.end());
    return found;
}
} // namespace

FreshName::FreshName(const std::string& file) : FreshName(file, ChangeFileExt(file, "")) {}

FreshName::FreshName(const std::string& file, const std::string& stem) : stem_(stem) {
    // GNOME keeps the image it once loaded for a name for as long as it runs,
    // so a name is never handed out twice: the number grows with every
    // change, and starts from the clock so that deleted aliases do not
    // bring an old number back.
    const auto aliases = Aliases(stem);
    unsigned long long number = static_cast<unsigned long long>(std::max<std::time_t>(std::time(nullptr), 1));
    if (!aliases.empty()) {
        previous_ = aliases.back().second;
        number = std::max(number, aliases.back().first + 1);
    }
    next_ = stem + "-" + std::to_string(number) + ".bmp";
    std::remove(next_.c_str());
    made_ = link(file.c_str(), next_.c_str()) == 0;
    if (made_) return;
    // A file system without hard links gets a copy.
    std::ifstream in(file, std::ios::binary);
    std::ofstream out(next_, std::ios::binary | std::ios::trunc);
    out << in.rdbuf();
    out.flush();
    if (!in || !out) {
        out.close();
        std::remove(next_.c_str());
        next_ = file;
        previous_.clear();
        return;
    }
    made_ = true;
}

void FreshName::DropPrevious() {
    if (!made_) return;
    // Also what a killed run left behind, and the two names older versions used.
    for (const auto& alias : Aliases(stem_))
        if (alias.second != next_) std::remove(alias.second.c_str());
    std::remove((stem_ + "-a.bmp").c_str());
    std::remove((stem_ + "-b.bmp").c_str());
}
