#include "config/uOptionen.h"

#include "config/NumberFormat.h"
#include "platform/Platform.h"

#include <algorithm>
#include <chrono>
#include <iterator>
#include <mutex>
#include <optional>
#include <random>
#include <variant>

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

namespace {
struct ProgramFolder {
    std::string exePath;
    bool portable = true;
    std::string configDir, dataDir, stem;
};

std::mutex g_folderMutex;
std::optional<ProgramFolder> g_folder;

ProgramFolder DecideProgramFolder(const std::string& exe) {
    ProgramFolder f;
    f.exePath = exe;
    const std::size_t sep = exe.find_last_of(std::string("/") + platform::kPathSeparator);
    std::string dir = sep == std::string::npos ? "." : sep == 0 ? exe.substr(0, 1) : exe.substr(0, sep);
    // "C:" alone would name the drive's current folder, not its root.
    if (dir.back() == ':') dir += platform::kPathSeparator;
    if (platform::FileExists(ChangeFileExt(exe, ".ini")) ||
        (platform::DirectoryWritable(dir) && !platform::IsSystemProgramFolder(dir)))
        return f;
    f.configDir = platform::UserFolderPath(platform::UserFolder::Config);
    f.dataDir = platform::UserFolderPath(platform::UserFolder::Data);
    // Without a home folder there is nowhere better: the files stay beside
    // the executable and a save reports the folder it cannot write.
    if (f.configDir.empty() || f.dataDir.empty()) return f;
    f.portable = false;
    f.stem = ChangeFileExt(sep == std::string::npos ? exe : exe.substr(sep + 1), "");
    platform::CreateDirectories(f.configDir);
    platform::CreateDirectories(f.dataDir);
    return f;
}
} // namespace

std::string ProgramFilePath(const std::string& extension) {
    const std::string exe = platform::ExecutablePath();
    const std::lock_guard<std::mutex> lock(g_folderMutex);
    if (!g_folder || g_folder->exePath != exe) g_folder = DecideProgramFolder(exe);
    if (g_folder->portable) return ChangeFileExt(exe, extension);
    const std::string& dir = extension == ".bmp" ? g_folder->dataDir : g_folder->configDir;
    return dir + platform::kPathSeparator + g_folder->stem + extension;
}

void ForgetProgramFolderForTesting() {
    const std::lock_guard<std::mutex> lock(g_folderMutex);
    g_folder.reset();
}

void SeedRandom() {
    Generator().seed(static_cast<std::uint64_t>(std::chrono::system_clock::now().time_since_epoch().count()));
}

std::size_t RandomIndex(std::size_t count) {
    std::uniform_int_distribution<std::size_t> dist(0, count - 1);
    return dist(Generator());
}

TOptionen::TOptionen() : Ini(std::make_unique<TIniFile>(ProgramFilePath(".ini"))) {
    DetectShortcuts();
    LoadSettings();
}

TOptionen::TOptionen(ReadOnly, const std::string& iniPath) : Ini(std::make_unique<TIniFile>(iniPath)) {
    Loading = true;
    ReadSettings();
}

TOptionen::~TOptionen() = default;

namespace {
using StoredField = std::variant<bool TOptionen::*, double TOptionen::*, std::int32_t TOptionen::*>;
struct StoredKey {
    const char* key;
    StoredField field;
};
// The keys after the directory entries, in the order they are written.
const StoredKey kStoredKeys[] = {
    {"First", &TOptionen::First},
    {"Autowandlung_Groesse", &TOptionen::Autowandlung_Groesse},
    {"Autowandlung_4zu3", &TOptionen::Autowandlung_4zu3},
    {"Autowandlung_Kachelbild", &TOptionen::Autowandlung_Kachelbild},
    {"Setze Kacheleigenschaft", &TOptionen::SetzeKacheleigenschaft},
    {"GeometrieOK ab", &TOptionen::GeometrieOKAb},
    {"GeometrieOK bis", &TOptionen::GeometrieOKBis},
    {"MaxKillBorder", &TOptionen::MaxKillBorder},
    {"KachelTyp", &TOptionen::KachelTyp},
    {"KachelBildbreite", &TOptionen::KachelBildbreite},
    {"KachelBildhoehe", &TOptionen::KachelBildhoehe},
    {"KachelMaxHoehe", &TOptionen::KachelMaxHoehe},
    {"KachelMaxBreite", &TOptionen::KachelMaxBreite},
    {"FesteBildHoehe", &TOptionen::FesteBildHoehe},
    {"FesteBildBreite", &TOptionen::FesteBildBreite},
    // Added later: after the original keys, so older copies read the file alike.
    {"Glaetten", &TOptionen::Glaetten},
    {"EigenesBildJeBildschirm", &TOptionen::EigenesBildJeBildschirm},
};

std::string StoredText(const TOptionen& o, const StoredField& field) {
    struct {
        const TOptionen& o;
        std::string operator()(bool TOptionen::*m) const { return o.*m ? "1" : "0"; }
        std::string operator()(double TOptionen::*m) const {
            return FormatFloat(o.*m, platform::DecimalSeparator());
        }
        std::string operator()(std::int32_t TOptionen::*m) const { return std::to_string(o.*m); }
    } text{o};
    return std::visit(text, field);
}
} // namespace

void TOptionen::SaveSettings() {
    if (Loading) return;
    // Another process (the automatic change, a second window) may have
    // stored the file since this one read it; under the lock, its newer
    // values are taken for everything this object has not changed itself,
    // so that a save never brings back what it never showed.
    TIniFile::Lock lock(*Ini);
    TakeNewerFromFile();
    TIniFile::KeyValues keys;
    keys.reserve(Verzeichnisse.size() * 2 + std::size(kStoredKeys) + 1);
    keys.emplace_back("AnzVerz", std::to_string(DirectoryCount()));
    for (int i = 0; i < DirectoryCount(); ++i) {
        const std::string n = std::to_string(i + 1);
        keys.emplace_back("Verz" + n, GetDirectoryPath(i));
        std::string flags;
        if (IsDirectoryActive(i)) flags += "A";
        if (IsDirectoryRecursive(i)) flags += "R";
        if (!flags.empty()) keys.emplace_back("Verz" + n + "/Optionen", flags);
    }
    for (const StoredKey& k : kStoredKeys)
        keys.emplace_back(k.key, StoredText(*this, k.field));
    // One atomic replacement instead of an erase and a write per key, so that
    // a crash or a full disk half-way can never leave the section torn.
    Ini->ReplaceSection(kSection, keys);
    // Only what reached the file counts as stored: after a failed write the
    // values still in memory are this object's own changes.
    RememberStored();
}

void TOptionen::TakeNewerFromFile() {
    if (storedValues_.size() != std::size(kStoredKeys)) return;
    TOptionen disk(ReadOnly{}, Ini->FileName());
    // A key that is missing tells nothing newer: a deleted file or section
    // is written anew from memory, as before.
    if (disk.Ini->HasKey(kSection, "AnzVerz") && Verzeichnisse == storedVerzeichnisse_ &&
        disk.Verzeichnisse != storedVerzeichnisse_)
        Verzeichnisse = disk.Verzeichnisse;
    for (std::size_t i = 0; i < std::size(kStoredKeys); ++i) {
        const StoredKey& k = kStoredKeys[i];
        if (!disk.Ini->HasKey(kSection, k.key) || StoredText(*this, k.field) != storedValues_[i]) continue;
        if (StoredText(disk, k.field) == storedValues_[i]) continue;
        std::visit([&](auto m) { this->*m = disk.*m; }, k.field);
    }
}

void TOptionen::RememberStored() {
    storedVerzeichnisse_ = Verzeichnisse;
    storedValues_.clear();
    for (const StoredKey& k : kStoredKeys)
        storedValues_.push_back(StoredText(*this, k.field));
}

void TOptionen::LoadSettings() {
    Loading = true;
    ReadSettings();
    RememberStored();
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
    // Only the numbers the file holds a key for, in ascending order: a count
    // far beyond them (a damaged or hostile file) must not keep the start
    // busy for minutes looking up keys that are not there.
    std::vector<int> numbers;
    for (const std::string& name : Ini->KeyNames(kSection)) {
        const std::string digits = name.size() > 4 && name.compare(0, 4, "verz") == 0 ? name.substr(4) : "";
        if (digits.empty() || digits.size() > 10 || digits[0] == '0' ||
            digits.find_first_not_of("0123456789") != std::string::npos)
            continue;
        const long long n = std::stoll(digits);
        if (n <= count) numbers.push_back(static_cast<int>(n));
    }
    std::sort(numbers.begin(), numbers.end());
    for (const int n : numbers) {
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
    Glaetten = Ini->ReadInteger(kSection, "Glaetten", 1) == 1;
    EigenesBildJeBildschirm = Ini->ReadInteger(kSection, "EigenesBildJeBildschirm", 0) == 1;
}

void TOptionen::SetEigenesBildJeBildschirm(bool value) {
    Assign(*this, EigenesBildJeBildschirm, value);
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
void TOptionen::SetGlaetten(bool value) {
    Assign(*this, Glaetten, value);
}
