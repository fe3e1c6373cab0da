#include "desktop/uVerknuepfungen.h"

#include "platform/Platform.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdlib>

const char* const kChangeLinkName = "Hintergrundbild wechseln.desktop";
const char* const kConfigLinkName = "Hintergrundbildwechsler konfigurieren.desktop";

namespace {
std::string Env(const char* name) {
    const char* v = std::getenv(name);
    return v ? v : "";
}

std::string Home() {
    std::string home = Env("HOME");
    return !home.empty() && home[0] == '/' ? home : "";
}

// An XDG base directory: the variable when it holds an absolute path, else
// the fallback below $HOME.
std::string BaseDir(const char* var, const char* fallback) {
    std::string v = Env(var);
    if (!v.empty() && v[0] == '/') return v;
    std::string home = Home();
    return home.empty() ? "" : home + "/" + fallback;
}

std::string WithSlash(std::string p) {
    if (!p.empty() && p.back() != '/') p += '/';
    return p;
}

// XDG_DESKTOP_DIR from user-dirs.dirs: a German system names it ~/Schreibtisch.
std::string DesktopDir() {
    const std::string home = Home();
    const std::string config = BaseDir("XDG_CONFIG_HOME", ".config");
    std::string text;
    if (!config.empty() && platform::ReadFile(config + "/user-dirs.dirs", text)) {
        std::size_t pos = 0;
        while (pos < text.size()) {
            std::size_t end = text.find('\n', pos);
            if (end == std::string::npos) end = text.size();
            std::string line = text.substr(pos, end - pos);
            pos = end + 1;
            const std::string key = "XDG_DESKTOP_DIR=";
            std::size_t k = line.find_first_not_of(" \t");
            if (k == std::string::npos || line.compare(k, key.size(), key) != 0) continue;
            std::string value = line.substr(k + key.size());
            if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
                value = value.substr(1, value.size() - 2);
            std::string path;
            for (std::size_t i = 0; i < value.size(); ++i) {
                if (value[i] == '\\' && i + 1 < value.size())
                    path += value[++i];
                else
                    path += value[i];
            }
            if (path.rfind("$HOME", 0) == 0) {
                if (home.empty()) return "";
                path = home + path.substr(5);
            }
            if (!path.empty() && path[0] == '/') return path;
        }
    }
    return home.empty() ? "" : home + "/Desktop";
}

bool MakeDirs(const std::string& dir) {
    if (dir.empty()) return false;
    std::string partial;
    std::size_t pos = 0;
    while (pos != std::string::npos) {
        pos = dir.find('/', pos + 1);
        partial = dir.substr(0, pos);
        if (partial.empty()) continue;
        if (mkdir(partial.c_str(), 0755) != 0 && errno != EEXIST) return false;
    }
    return platform::DirectoryExists(dir);
}

// Backslash escapes of desktop-entry values (\\, \n, \t, \r), so a path
// with such characters survives in one line of the launcher file.
std::string EscapeValue(const std::string& s) {
    std::string out;
    for (char c : s) {
        switch (c) {
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\t':
            out += "\\t";
            break;
        case '\r':
            out += "\\r";
            break;
        default:
            out += c;
        }
    }
    return out;
}

// One Exec argument: always quoted, with ", `, $ and \ escaped inside the
// quotes and % doubled for the field codes.
std::string QuoteExecArgument(const std::string& arg) {
    std::string out = "\"";
    for (char c : arg) {
        if (c == '"' || c == '`' || c == '$' || c == '\\') out += '\\';
        if (c == '%') out += '%';
        out += c;
    }
    return out + "\"";
}
} // namespace

std::string GetSpecialFolder(Csidl folder) {
    auto below = [](const std::string& base, const char* sub) { return base.empty() ? base : base + sub; };
    switch (folder) {
    case Csidl::Startup:
        return WithSlash(below(BaseDir("XDG_CONFIG_HOME", ".config"), "/autostart"));
    case Csidl::DesktopDirectory:
        return WithSlash(DesktopDir());
    case Csidl::Programs:
        return WithSlash(below(BaseDir("XDG_DATA_HOME", ".local/share"), "/applications"));
    }
    return "";
}

std::string WorkingDirectoryFor(const std::string& target) {
    const std::size_t sep = target.rfind('/');
    if (sep == std::string::npos) return "";
    return sep == 0 ? "/" : target.substr(0, sep);
}

bool CreateShellLink(const std::string& target, const std::string& arguments, const std::string& linkFile,
                     const std::string& description) {
    const std::size_t sep = linkFile.rfind('/');
    if (sep == std::string::npos || sep == 0) return false;
    // Autostart and menu folders are often missing on a fresh account.
    if (!MakeDirs(linkFile.substr(0, sep))) return false;
    std::string exec = QuoteExecArgument(target);
    // GLib looks the program up before it turns "%%" back into "%", so a
    // program in a folder with a "%" would never start from GNOME's menu or
    // autostart; "env" is found, and it gets the path with the "%" restored.
    if (target.find('%') != std::string::npos) exec = "env " + exec;
    if (!arguments.empty()) exec += " " + arguments;
    std::string text = "[Desktop Entry]\n"
                       "Type=Application\n"
                       "Name=" +
                       EscapeValue(description) +
                       "\n"
                       "Comment=" +
                       EscapeValue(description) +
                       "\n"
                       "Exec=" +
                       EscapeValue(exec) +
                       "\n"
                       "Path=" +
                       EscapeValue(WorkingDirectoryFor(target)) +
                       "\n"
                       "Icon=preferences-desktop-wallpaper\n"
                       "Terminal=false\n";
    // Desktops trust launchers on the desktop only when they are executable.
    return platform::AtomicWriteFile(linkFile, text, platform::FileMode::Executable);
}
