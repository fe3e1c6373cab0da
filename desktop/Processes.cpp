#include "desktop/Processes.h"

#include "platform/Platform.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>

namespace {
// Empty when the process has gone or keeps it from us.
std::string ReadProcFile(pid_t pid, const char* what) {
    std::string content;
    platform::ReadFile("/proc/" + std::to_string(pid) + "/" + what, content);
    return content;
}

std::vector<std::string> SplitNul(const std::string& s) {
    std::vector<std::string> out;
    std::size_t pos = 0;
    while (pos < s.size()) {
        std::size_t end = s.find('\0', pos);
        if (end == std::string::npos) end = s.size();
        out.push_back(s.substr(pos, end - pos));
        pos = end + 1;
    }
    return out;
}

bool Matches(pid_t pid, const std::string& name) {
    struct stat st;
    const std::string dir = "/proc/" + std::to_string(pid);
    if (stat(dir.c_str(), &st) != 0 || st.st_uid != getuid()) return false;
    // "PID (comm) S ...": a zombie has exited already.
    const std::string stat = ReadProcFile(pid, "stat");
    const std::size_t close = stat.rfind(')');
    if (close == std::string::npos || close + 2 >= stat.size() || stat[close + 2] == 'Z') return false;
    std::string comm = ReadProcFile(pid, "comm");
    if (!comm.empty() && comm.back() == '\n') comm.pop_back();
    // The kernel keeps 15 bytes of the name.
    return !comm.empty() && comm == name.substr(0, 15);
}
} // namespace

std::vector<UserProcess> UserProcessesNamed(const std::string& name) {
    std::vector<UserProcess> out;
    DIR* proc = opendir("/proc");
    if (!proc) return out;
    while (dirent* e = readdir(proc)) {
        char* end = nullptr;
        const long pid = std::strtol(e->d_name, &end, 10);
        if (pid <= 0 || !end || *end != '\0') continue;
        if (!Matches(static_cast<pid_t>(pid), name)) continue;
        out.push_back({static_cast<pid_t>(pid), SplitNul(ReadProcFile(static_cast<pid_t>(pid), "cmdline"))});
    }
    closedir(proc);
    return out;
}

std::string ProcessEnv(pid_t pid, const std::string& name) {
    const std::string prefix = name + "=";
    for (const std::string& entry : SplitNul(ReadProcFile(pid, "environ")))
        if (entry.compare(0, prefix.size(), prefix) == 0) return entry.substr(prefix.size());
    return "";
}

bool IsUserProcessNamed(pid_t pid, const std::string& name) {
    return pid > 0 && Matches(pid, name);
}

namespace {
// ":0.0" and ":0" name the same X display.
std::string WithoutScreen(std::string display) {
    const std::size_t colon = display.rfind(':');
    const std::size_t dot = display.rfind('.');
    if (colon != std::string::npos && dot != std::string::npos && dot > colon) display.erase(dot);
    return display;
}

bool OnOurDisplay(pid_t pid) {
    bool any = false;
    for (const char* var : {"WAYLAND_DISPLAY", "DISPLAY"}) {
        const char* v = std::getenv(var);
        const std::string ours = WithoutScreen(v ? v : "");
        if (ours.empty()) continue;
        any = true;
        if (WithoutScreen(ProcessEnv(pid, var)) == ours) return true;
    }
    return !any;
}
} // namespace

bool RunsInThisSession(const std::string& name, const std::vector<std::string>& args) {
    for (const UserProcess& p : UserProcessesNamed(name)) {
        const bool argOk =
            args.empty() ||
            std::any_of(p.argv.begin() + (p.argv.empty() ? 0 : 1), p.argv.end(), [&](const std::string& a) {
                return std::find(args.begin(), args.end(), a) != args.end();
            });
        if (argOk && OnOurDisplay(p.pid)) return true;
    }
    return false;
}
