#include "desktop/RunCommand.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <thread>

extern char** environ;

namespace {
struct Fd {
    int fd = -1;
    ~Fd() {
        if (fd >= 0) close(fd);
    }
};
} // namespace

std::string FindOnPath(const std::string& name) {
    if (name.find('/') != std::string::npos) return access(name.c_str(), X_OK) == 0 ? name : "";
    const char* path = std::getenv("PATH");
    std::string dirs = path ? path : "/usr/local/bin:/usr/bin:/bin";
    std::size_t pos = 0;
    while (pos <= dirs.size()) {
        std::size_t end = dirs.find(':', pos);
        if (end == std::string::npos) end = dirs.size();
        // An empty entry means the current folder.
        const std::string dir = end > pos ? dirs.substr(pos, end - pos) : std::string(1, '.');
        pos = end + 1;
        const std::string candidate = dir + "/" + name;
        struct stat st;
        if (stat(candidate.c_str(), &st) == 0 && S_ISREG(st.st_mode) && access(candidate.c_str(), X_OK) == 0)
            return candidate;
    }
    return "";
}

bool IsUtf8(std::string_view text) {
    for (std::size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c == 0) return false;
        if (c < 0x80) {
            ++i;
            continue;
        }
        // Lead bytes of shortest forms only: C0, C1 and F5 to FF never are.
        std::size_t more = 0;
        char32_t cp = 0;
        if (c >= 0xC2 && c <= 0xDF) {
            more = 1;
            cp = c & 0x1F;
        } else if (c >= 0xE0 && c <= 0xEF) {
            more = 2;
            cp = c & 0x0F;
        } else if (c >= 0xF0 && c <= 0xF4) {
            more = 3;
            cp = c & 0x07;
        } else {
            return false;
        }
        if (text.size() - i <= more) return false;
        for (std::size_t k = 1; k <= more; ++k) {
            const auto b = static_cast<unsigned char>(text[i + k]);
            if ((b & 0xC0) != 0x80) return false;
            cp = cp << 6 | (b & 0x3F);
        }
        if ((more == 2 && cp < 0x800) || (more == 3 && (cp < 0x10000 || cp > 0x10FFFF)) ||
            (cp >= 0xD800 && cp <= 0xDFFF))
            return false;
        i += more + 1;
    }
    return true;
}

std::vector<std::string> Utf8ArgumentsEnv(const std::string& path) {
    if (!IsUtf8(path)) return {};
    return {"LC_ALL=C.UTF-8"};
}

CommandResult RunCommand(const std::vector<std::string>& argv, bool captureOutput,
                         std::chrono::milliseconds timeout, const std::vector<std::string>& env) {
    CommandResult result;
    if (argv.empty()) return result;
    const std::string exe = FindOnPath(argv[0]);
    if (exe.empty()) return result;

    int pipeFds[2] = {-1, -1};
    if (captureOutput && pipe2(pipeFds, O_CLOEXEC) != 0) return result;
    Fd readEnd{pipeFds[0]}, writeEnd{pipeFds[1]};

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    if (captureOutput)
        posix_spawn_file_actions_adddup2(&actions, writeEnd.fd, 1);
    else
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);

    std::vector<char*> args;
    for (const std::string& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    pid_t pid = 0;
    std::vector<char*> envp;
    for (const std::string& e : env)
        envp.push_back(const_cast<char*>(e.c_str()));
    for (char** e = environ; e && *e; ++e) {
        const std::string entry = *e;
        const std::string name = entry.substr(0, entry.find('=') + 1);
        bool replaced = false;
        for (const std::string& x : env)
            replaced = replaced || x.compare(0, name.size(), name) == 0;
        if (!replaced) envp.push_back(*e);
    }
    envp.push_back(nullptr);
    const int rc = posix_spawn(&pid, exe.c_str(), &actions, nullptr, args.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) return result;
    if (writeEnd.fd >= 0) {
        close(writeEnd.fd);
        writeEnd.fd = -1;
    }

    const auto deadline = std::chrono::steady_clock::now() + timeout;
    auto remainingMs = [&] {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline -
                                                                          std::chrono::steady_clock::now());
        return left.count() > 0 ? static_cast<int>(left.count()) : 0;
    };
    if (captureOutput) {
        char buf[4096];
        for (;;) {
            pollfd p{readEnd.fd, POLLIN, 0};
            const int ready = poll(&p, 1, remainingMs());
            if (ready < 0 && errno == EINTR) continue;
            if (ready <= 0) break;
            const ssize_t n = read(readEnd.fd, buf, sizeof buf);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) break;
            result.output.append(buf, static_cast<std::size_t>(n));
        }
    }
    int status = 0;
    for (;;) {
        const pid_t w = waitpid(pid, &status, WNOHANG);
        if (w == pid) break;
        if (w < 0 && errno != EINTR) return result;
        if (remainingMs() == 0) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            return result;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    result.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    return result;
}
