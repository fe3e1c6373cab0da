#pragma once
// Runs a desktop's own command-line tool without a shell.
#include <chrono>
#include <string>
#include <string_view>
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
// `env` holds "NAME=value" entries that replace or add to this process's
// environment for the tool.
CommandResult RunCommand(const std::vector<std::string>& argv, bool captureOutput = false,
                         std::chrono::milliseconds timeout = std::chrono::seconds(20),
                         const std::vector<std::string>& env = {});

// The environment for a tool that takes a path among its arguments and
// converts them from the locale's character set to UTF-8, as GLib's and
// Qt's option parsers do: under the C locale any umlaut fails that
// conversion. A path that is valid UTF-8 gets a UTF-8 locale; any other
// keeps the user's, whose character set it may be in.
std::vector<std::string> Utf8ArgumentsEnv(const std::string& path);
// Well-formed UTF-8 without NUL, as GLib's g_utf8_validate takes it: shortest
// forms only, no surrogates, nothing past U+10FFFF.
bool IsUtf8(std::string_view text);
