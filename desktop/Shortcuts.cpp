#include "config/uOptionen.h"
#include "desktop/uVerknuepfungen.h"
#include "platform/Platform.h"

namespace {
const char* const kChangeDescription = "Hintergrundbild wechseln";
const char* const kConfigDescription = "Hintergrundbildwechsler konfigurieren";

// Without a folder the bare file name would name a file in the current
// directory: then nothing is looked at, created or deleted.
bool LinkExists(const std::string& folder, const char* name) {
    return !folder.empty() && platform::FileExists(folder + name);
}
} // namespace

void TOptionen::DetectShortcuts() {
    Autostart = LinkExists(GetSpecialFolder(Csidl::Startup), kChangeLinkName);
    const Csidl folders[3] = {Csidl::Startup, Csidl::DesktopDirectory, Csidl::Programs};
    for (int i = 1; i <= 2; ++i) {
        VerknuepfungsOrdner[i] = GetSpecialFolder(folders[i]);
        const bool change = LinkExists(VerknuepfungsOrdner[i], kChangeLinkName);
        const bool config = LinkExists(VerknuepfungsOrdner[i], kConfigLinkName);
        VerknuepfungsModus[i] = change && config ? 3 : change ? 2 : config ? 1 : 0;
    }
}

void TOptionen::SetAutostart(bool value) {
    if (value == Autostart) return;
    Autostart = value;
    const std::string folder = GetSpecialFolder(Csidl::Startup);
    if (folder.empty()) return;
    const std::string link = folder + kChangeLinkName;
    if (value)
        CreateShellLink(platform::ExecutablePath(), "/run", link, kChangeDescription);
    else
        platform::DeleteFile(link);
}

void TOptionen::SetShortcutMode(int location, ShortcutMode mode) {
    if (location < 1 || location > 2 || mode == VerknuepfungsModus[location]) return;
    VerknuepfungsModus[location] = mode;
    const std::string& folder = VerknuepfungsOrdner[location];
    if (folder.empty() || mode > 3) return;
    const bool changePresent = LinkExists(folder, kChangeLinkName);
    const bool configPresent = LinkExists(folder, kConfigLinkName);
    const bool changeWanted = mode == 2 || mode == 3;
    const bool configWanted = mode == 1 || mode == 3;
    if (changePresent && !changeWanted)
        platform::DeleteFile(folder + kChangeLinkName);
    else if (!changePresent && changeWanted)
        CreateShellLink(platform::ExecutablePath(), "/run", folder + kChangeLinkName, kChangeDescription);
    if (configPresent && !configWanted)
        platform::DeleteFile(folder + kConfigLinkName);
    else if (!configPresent && configWanted)
        CreateShellLink(platform::ExecutablePath(), "", folder + kConfigLinkName, kConfigDescription);
}
