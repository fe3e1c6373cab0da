#pragma once
// Reads desktop entries the way a desktop does, for the tests of the
// launchers the program writes.
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

namespace testsupport {
// Reads an entry's key the way a desktop does: string escapes undone.
inline std::string EntryValue(const std::string& text, const std::string& key) {
    std::size_t pos = text.find("\n" + key + "=");
    if (pos == std::string::npos) return "<missing>";
    pos += key.size() + 2;
    std::string raw = text.substr(pos, text.find('\n', pos) - pos), out;
    for (std::size_t i = 0; i < raw.size(); ++i) {
        if (raw[i] != '\\' || i + 1 == raw.size()) {
            out += raw[i];
            continue;
        }
        const char c = raw[++i];
        out += c == 's' ? ' ' : c == 'n' ? '\n' : c == 't' ? '\t' : c == 'r' ? '\r' : c;
    }
    return out;
}

// Splits an Exec value into arguments the way a desktop launches it: double
// quotes group an argument, \", \`, \$ and \\ stand for the character, and
// "%%" stands for "%".
inline std::vector<std::string> ExecArguments(const std::string& exec) {
    std::vector<std::string> args;
    std::string cur;
    bool inArg = false, quoted = false;
    for (std::size_t i = 0; i < exec.size(); ++i) {
        const char c = exec[i];
        if (quoted) {
            if (c == '\\' && i + 1 < exec.size() &&
                std::string("\"`$\\").find(exec[i + 1]) != std::string::npos)
                cur += exec[++i];
            else if (c == '"')
                quoted = false;
            else if (c == '%' && i + 1 < exec.size() && exec[i + 1] == '%')
                cur += exec[++i];
            else
                cur += c;
        } else if (c == ' ') {
            if (inArg) args.push_back(cur);
            cur.clear();
            inArg = false;
        } else if (c == '"') {
            quoted = inArg = true;
        } else if (c == '%' && i + 1 < exec.size() && exec[i + 1] == '%') {
            cur += exec[++i];
            inArg = true;
        } else {
            cur += c;
            inArg = true;
        }
    }
    if (inArg) args.push_back(cur);
    return args;
}

inline int RunValidator(const std::filesystem::path& file) {
    const std::string cmd = "desktop-file-validate '" + file.string() + "' 2>&1";
    FILE* p = popen(cmd.c_str(), "r");
    if (!p) return -1;
    char buf[512];
    std::string out;
    while (std::fgets(buf, sizeof buf, p))
        out += buf;
    const int rc = pclose(p);
    if (!out.empty()) std::printf("desktop-file-validate: %s", out.c_str());
    return rc;
}
} // namespace testsupport
