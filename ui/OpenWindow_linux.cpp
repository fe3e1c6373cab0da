#include "ui/OpenWindow.h"

#include "platform/Platform.h"

#include <dlfcn.h>
#include <unistd.h>

#include <cstdio>
#include <string>

namespace {
const char kModule[] = "ulbrasen-fenster.so";
const char kEntry[] = "ZenksRunWindow";
} // namespace

int OpenWindow(int argc, char** argv) {
    const std::string exe = platform::ExecutablePath();
    const std::string dir = exe.substr(0, exe.find_last_of('/') + 1);
    // Beside the program (a build or a portable copy), or where the package
    // puts it: /usr/lib/ulbrasen for /usr/bin/ulbrasen.
    std::string error = "nicht gefunden";
    for (const std::string& path : {dir + kModule, dir + "../lib/ulbrasen/" + kModule}) {
        if (access(path.c_str(), F_OK) != 0) continue;
        void* module = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (!module) {
            const char* why = dlerror();
            error = why ? why : path;
            break;
        }
        using Entry = int (*)(int, char**);
        const auto run = reinterpret_cast<Entry>(dlsym(module, kEntry));
        if (!run) {
            error = path + ": " + kEntry + " fehlt";
            break;
        }
        return run(argc, argv);
    }
    std::fprintf(stderr, "Das Programmfenster (%s) kann nicht geladen werden: %s\n", kModule, error.c_str());
    return 1;
}
