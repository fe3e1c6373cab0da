// One of two processes that store the same settings file at once, each
// counting its own key up. Before every store it checks that its previous
// value is still in the file: a lost update shows as exit code 3.
//   settings_racer <folder> <options|ini> <key> <count>
#include "config/IniFile.h"
#include "config/uOptionen.h"
#include "platform/Platform.h"

#include <cstdio>
#include <exception>
#include <string>

int main(int argc, char** argv) {
    if (argc < 5) return 2;
    const std::string folder = argv[1], mode = argv[2], key = argv[3];
    const int count = std::stoi(argv[4]);
    platform::SetExecutablePathForTesting(folder + "/ulbrasen");
    const std::string iniPath = folder + "/ulbrasen.ini";
    try {
        TOptionen options;
        TIniFile ini(iniPath);
        for (int i = 1; i <= count; ++i) {
            const std::int32_t previous = TIniFile(iniPath).ReadInteger("Optionen", key, -1);
            if (i > 1 && previous != 1000 + i - 1) {
                std::printf("%s: %d in the file, %d stored last\n", key.c_str(), previous, 1000 + i - 1);
                return 3;
            }
            if (mode == "ini")
                ini.WriteInteger("Optionen", key, 1000 + i);
            else if (key == "KachelMaxBreite")
                options.SetKachelMaxBreite(1000 + i);
            else
                options.SetKachelMaxHoehe(1000 + i);
        }
        return 0;
    } catch (const std::exception& e) {
        std::printf("%s\n", e.what());
        return 1;
    }
}
