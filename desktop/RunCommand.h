#pragma once
// Runs a desktop's own command-line tool without a shell.
#include <chrono>
#include <string>
#include <vector>

// The full path of an executable found on $PATH, or "".
std::string FindOnPath(const std::string& name);

struct CommandResult {
    bool ok = false; // started and exited with status 0 in time
    std::string output;
};
// argv[0] is looked up on $PATH. stdin and stderr are /dev/null; stdout is
// captured only when asked, as a tool may leave a daemon holding it open.
// A tool still running after the timeout is killed and counts as failed.
CommandResult RunCommand(const std::vector<std::string>& argv, bool captureOutput = false,
                         std::chrono::milliseconds timeout = std::chrono::seconds(20));
