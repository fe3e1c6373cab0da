#pragma once
// Desktop programs that only have to be seen running (xfdesktop, pcmanfm-qt,
// swaybg): the backends look at their names, arguments and display only; and
// what the recording stand-ins of desktop tools were called with.
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace desktopprograms {
// A shell script that loops until it is killed.
inline const char kRunning[] = "#!/bin/sh\nPATH=/usr/bin:/bin\nwhile :; do sleep 0.1; done\n";

// Writes a looping program named `name` into dir and starts it with args in
// this process's environment; the caller stops it with Stop.
inline pid_t Start(const std::filesystem::path& dir, const std::string& name, std::vector<std::string> args) {
    std::filesystem::create_directories(dir);
    const std::filesystem::path p = dir / name;
    testsupport::WriteAll(p, kRunning);
    std::filesystem::permissions(p, std::filesystem::perms::owner_all);
    args.insert(args.begin(), p.string());
    std::vector<char*> argv;
    for (std::string& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid = 0;
    EXPECT_EQ(posix_spawn(&pid, p.c_str(), nullptr, nullptr, argv.data(), environ), 0);
    // Running once the shell has read its script.
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    return pid;
}

// The calls the recording stand-ins wrote to log, one a line; the log is
// emptied, so the next look sees only newer calls.
inline std::vector<std::string> TakeCalls(const std::filesystem::path& log) {
    std::vector<std::string> lines;
    const std::string text = std::filesystem::exists(log) ? testsupport::ReadAll(log) : "";
    std::filesystem::remove(log);
    for (std::size_t pos = 0; pos < text.size();) {
        const std::size_t end = text.find('\n', pos);
        lines.push_back(text.substr(pos, end - pos));
        pos = end == std::string::npos ? text.size() : end + 1;
    }
    return lines;
}

inline void Stop(pid_t pid) {
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
}
} // namespace desktopprograms
