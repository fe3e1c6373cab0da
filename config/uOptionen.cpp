#include "config/uOptionen.h"

#include "config/NumberFormat.h"
#include "platform/Platform.h"

#include <chrono>
#include <random>

namespace {
const std::string kSection = "Optionen";

std::mt19937_64& Generator() {
    static std::mt19937_64 gen;
    return gen;
}

template <class T, class U> void Assign(TOptionen& o, T& field, U value) {
    if (field == value) return;
    field = value;
    o.SaveSettings();
}
} // namespace

std::string ChangeFileExt(const std::string& path, const std::string& extension) {
    const std::size_t dot = path.rfind('.');
    const std::size_t sep = path.find_last_of(std::string("/") + platform::kPathSeparator);
    if (dot == std::string::npos || (sep != std::string::npos && sep > dot)) return path + extension;
    return path.substr(0, dot) + extension;
}

std::string ExecutableSibling(const std::string& extension) {
    return ChangeFileExt(platform::ExecutablePath(), extension);
}

void SeedRandom() {
    Generator().seed(static_cast<std::uint64_t>(std::chrono::system_clock::now().time_since_epoch().count()));
}

std::size_t RandomIndex(std::size_t count) {
    std::uniform_int_distribution<std::size_t> dist(0, count - 1);
    return dist(Generator());
}

TOptionen::TOptionen() : Ini(std::make_unique<TIniFile>(ExecutableSibling(".ini"))) {
    DetectShortcuts();
    LoadSettings();
}

TOptionen::TOptionen(ReadOnly, const std::string& iniPath) : Ini(std::make_unique<TIniFile>(iniPath)) {
    Loading = true;
    ReadSettings();
}

TOptionen::~TOptionen() = default;

void TOptionen::SaveSettings() {
    if (Loading) return;
    TIniFile::KeyValues keys;
    keys.reserve(Verzeichnisse.size() * 2 + 16);
    keys.emplace_back("AnzVerz", std::to_string(DirectoryCount()));
    for (int i = 0; i < DirectoryCount(); ++i) {
        const std::string n = std::to_string(i + 1);
        keys.emplace_back("Verz" + n, GetDirectoryPath(i));
        std::string flags;
        if (IsDirectoryActive(i)) flags += "A";
        if (IsDirectoryRecursive(i)) flags += "R";
        if (!flags.empty()) keys.emplace_back("Verz" + n + "/Optionen", flags);
    }
    auto flag = [](bool b) { return std::string(b ? "1" : "0"); };
    keys.emplace_back("First", flag(First));
    keys.emplace_back("Autowandlung_Groesse", flag(Autowandlung_Groesse));
    keys.emplace_back("Autowandlung_4zu3", flag(Autowandlung_4zu3));
    keys.emplace_back("Autowandlung_Kachelbild", flag(Autowandlung_Kachelbild));
    keys.emplace_back("Setze Kacheleigenschaft", flag(SetzeKacheleigenschaft));
    const char sep = platform::DecimalSeparator();
    keys.emplace_back("GeometrieOK ab", FormatFloat(GeometrieOKAb, sep));
    keys.emplace_back("GeometrieOK bis", FormatFloat(GeometrieOKBis, sep));
    keys.emplace_back("MaxKillBorder", FormatFloat(MaxKillBorder, sep));
    keys.emplace_back("KachelTyp", std::to_string(KachelTyp));
    keys.emplace_back("KachelBildbreite", std::to_string(KachelBildbreite));
    keys.emplace_back("KachelBildhoehe", std::to_string(KachelBildhoehe));
    keys.emplace_back("KachelMaxHoehe", std::to_string(KachelMaxHoehe));
    keys.emplace_back("KachelMaxBreite", std::to_string(KachelMaxBreite));
    keys.emplace_back("FesteBildHoehe", std::to_string(FesteBildHoehe));
    keys.emplace_back("FesteBildBreite", std::to_string(FesteBildBreite));
    // One atomic replacement instead of an erase and a write per key, so that
    // a crash or a full disk half-way can never leave the section torn.
    Ini->ReplaceSection(kSection, keys);
}

void TOptionen::LoadSettings() {
    Loading = true;
    ReadSettings();
    Loading = false;
    if (!First) return;
    if (!Autostart && VerknuepfungsModus[1] == 0 && VerknuepfungsModus[2] == 0) {
        SetAutostart(true);
        SetShortcutMode(1, 2);
        SetShortcutMode(2, 1);
    }
    First = false;
    SaveSettings();
}

void TOptionen::ReadSettings() {
    const int count = Ini->ReadInteger(kSection, "AnzVerz", 0);
    for (int n = 1; n <= count; ++n) {
        const std::string key = "Verz" + std::to_string(n);
        const std::string path = Ini->ReadString(kSection, key, "");
        if (path.empty()) continue;
        const int index = AddDirectory(path, false);
        const std::string flags = Ini->ReadString(kSection, key + "/Optionen", "");
        SetDirectoryActive(index, flags.find('A') != std::string::npos);
        SetDirectoryRecursive(index, flags.find('R') != std::string::npos);
    }
    First = Ini->ReadInteger(kSection, "First", 1) == 1;
    Autowandlung_Groesse = Ini->ReadInteger(kSection, "Autowandlung_Groesse", 0) == 1;
    Autowandlung_4zu3 = Ini->ReadInteger(kSection, "Autowandlung_4zu3", 0) == 1;
    Autowandlung_Kachelbild = Ini->ReadInteger(kSection, "Autowandlung_Kachelbild", 0) == 1;
    SetzeKacheleigenschaft = Ini->ReadInteger(kSection, "Setze Kacheleigenschaft", 1) == 1;
    SetGeometrieOKAb(Ini->ReadFloat(kSection, "GeometrieOK ab", 1.28));
    SetGeometrieOKBis(Ini->ReadFloat(kSection, "GeometrieOK bis", 1.38));
    SetMaxKillBorder(Ini->ReadFloat(kSection, "MaxKillBorder", 5));
    SetKachelTyp(Ini->ReadInteger(kSection, "KachelTyp", 0));
    SetKachelBildbreite(Ini->ReadInteger(kSection, "KachelBildbreite", 0));
    SetKachelBildhoehe(Ini->ReadInteger(kSection, "KachelBildhoehe", 0));
    SetKachelMaxHoehe(Ini->ReadInteger(kSection, "KachelMaxHoehe", 250));
    SetKachelMaxBreite(Ini->ReadInteger(kSection, "KachelMaxBreite", 250));
    SetFesteBildHoehe(Ini->ReadInteger(kSection, "FesteBildHoehe", 0));
    SetFesteBildBreite(Ini->ReadInteger(kSection, "FesteBildBreite", 0));
}

void TOptionen::SetAutowandlung_Groesse(bool value) {
    Assign(*this, Autowandlung_Groesse, value);
}
void TOptionen::SetAutowandlung_4zu3(bool value) {
    Assign(*this, Autowandlung_4zu3, value);
}
void TOptionen::SetGeometrieOKAb(double value) {
    Assign(*this, GeometrieOKAb, value);
}
void TOptionen::SetGeometrieOKBis(double value) {
    Assign(*this, GeometrieOKBis, value);
}
void TOptionen::SetMaxKillBorder(double value) {
    Assign(*this, MaxKillBorder, value);
}
void TOptionen::SetKachelMaxBreite(std::int32_t value) {
    Assign(*this, KachelMaxBreite, value);
}
void TOptionen::SetKachelMaxHoehe(std::int32_t value) {
    Assign(*this, KachelMaxHoehe, value);
}
void TOptionen::SetFesteBildBreite(std::int32_t value) {
    Assign(*this, FesteBildBreite, value);
}
void TOptionen::SetFesteBildHoehe(std::int32_t value) {
    Assign(*this, FesteBildHoehe, value);
}
void TOptionen::SetKachelBildbreite(std::int32_t value) {
    Assign(*this, KachelBildbreite, value);
}
void TOptionen::SetKachelBildhoehe(std::int32_t value) {
    Assign(*this, KachelBildhoehe, value);
}
void TOptionen::SetKachelTyp(std::int32_t value) {
    Assign(*this, KachelTyp, value);
}
