#pragma once
// The current user's running processes, read from /proc: which desktop
// programs really run in this session, and the swaybg this program started.
#include <sys/types.h>

#include <string>
#include <vector>

struct UserProcess {
    pid_t pid = 0;
    std::vector<std::string> argv;
};

// This user's processes whose command name (/proc/PID/comm, the executed
// file's name, also for scripts) is `name`.
std::vector<UserProcess> UserProcessesNamed(const std::string& name);

// A variable from the process's environment; "" when unset or unreadable.
std::string ProcessEnv(pid_t pid, const std::string& name);

// Whether pid is a running (not zombie) process of this user named `name`.
bool IsUserProcessNamed(pid_t pid, const std::string& name);

// Whether a process of this user named `name` runs on this session's display
// (the same $WAYLAND_DISPLAY or $DISPLAY), with one of `args` among its
// arguments when any are given.
bool RunsInThisSession(const std::string& name, const std::vector<std::string>& args = {});
