// Settings files typed by hand: the INI accessor and the settings loader read
// whatever lies in the file, then write it back.
#include "config/IniFile.h"
#include "config/Messages.h"
#include "config/uOptionen.h"

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>

namespace {
std::string Folder() {
    static const std::string dir = [] {
        char tmpl[] = "/tmp/zenks-fuzz-ini-XXXXXX";
        const char* d = mkdtemp(tmpl);
        return std::string(d ? d : "/tmp");
    }();
    return dir;
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string path = Folder() + "/ulbrasen.ini";
    if (FILE* f = std::fopen(path.c_str(), "wb")) {
        std::fwrite(data, 1, size, f);
        std::fclose(f);
    }
    try {
        TOptionen options(TOptionen::ReadOnly{}, path);
        std::vector<std::string> catalogue;
        for (int i = 0; i < options.DirectoryCount() && i < 4; ++i) options.GetDirectoryPath(i);
        TIniFile ini(path);
        ini.ReadString("Optionen", "Verz1", "");
        ini.ReadInteger("optionen", "ANZVERZ", 0);
        ini.ReadFloat("Optionen", "GeometrieOK ab", 1.28);
        ini.ReplaceSection("Optionen", {{"AnzVerz", "0"}, {"First", "0"}});
        ini.ReadString("Optionen", "First", "");
    } catch (const ZenksError&) {
    }
    return 0;
}
