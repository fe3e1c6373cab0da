#include "config/Messages.h"
#include "config/uOptionen.h"
#include "platform/Platform.h"

#include <algorithm>
#include <cstring>
#include <set>

namespace {
const char* const kPictureExtensions[] = {".bmp",  ".jpg",  ".jpeg", ".gif", ".wmf",  ".png", ".webp",
                                          ".avif", ".heic", ".heif", ".tif", ".tiff", ".jxl"};

std::string LowerAZ(std::string s) {
    for (char& c : s)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return s;
}

bool IsPictureName(const std::string& name) {
    const std::size_t dot = name.rfind('.');
    if (dot == std::string::npos) return false;
    const std::string ext = LowerAZ(name.substr(dot));
    for (const char* e : kPictureExtensions)
        if (ext == e) return true;
    return false;
}

// Case-insensitive (A to Z), then by byte value: the order a Windows folder
// listing has always given the picture list.
bool NameLess(const platform::DirEntry& a, const platform::DirEntry& b) {
    const std::string& x = a.name;
    const std::string& y = b.name;
    const std::size_t n = std::min(x.size(), y.size());
    for (std::size_t i = 0; i < n; ++i) {
        unsigned char c = static_cast<unsigned char>(x[i]), d = static_cast<unsigned char>(y[i]);
        if (c >= 'A' && c <= 'Z') c = static_cast<unsigned char>(c - 'A' + 'a');
        if (d >= 'A' && d <= 'Z') d = static_cast<unsigned char>(d - 'A' + 'a');
        if (c != d) return c < d;
    }
    if (x.size() != y.size()) return x.size() < y.size();
    return x < y;
}

struct Scan {
    std::vector<std::string>& target;
    // Directories entered in this walk (device and inode): a link back up the
    // tree must not send the walk round in circles.
    std::set<std::pair<std::uint64_t, std::uint64_t>> visited;

    void Directory(std::string dir, bool recursive) {
        if (dir.empty()) return;
        if (dir.back() != platform::kPathSeparator) dir += platform::kPathSeparator;
        std::vector<platform::DirEntry> list;
        platform::DirIdentity id;
        if (!platform::ListDirectory(dir, list, &id)) return;
        if (id.valid && !visited.emplace(id.device, id.inode).second) return;
        if (platform::kListingNeedsSorting) std::sort(list.begin(), list.end(), NameLess);
        for (const platform::DirEntry& e : list) {
            if (e.kind != platform::EntryKind::File || !IsPictureName(e.name)) continue;
            target.push_back(platform::kCatalogueLowercasesPaths ? LowerAZ(dir + e.name) : dir + e.name);
        }
        if (!recursive) return;
        for (const platform::DirEntry& e : list)
            if (e.kind == platform::EntryKind::Directory && e.name[0] != '.') Directory(dir + e.name, true);
    }
};
} // namespace

void TOptionen::CheckIndex(int index) const {
    if (index < 0 || index >= DirectoryCount())
        Throw(Msg::ListIndexOutOfBounds, {static_cast<long long>(index)});
}

int TOptionen::DirectoryCount() const {
    return static_cast<int>(Verzeichnisse.size());
}

std::string TOptionen::GetDirectoryPath(int index) const {
    CheckIndex(index);
    return Verzeichnisse[index].substr(2);
}

// A line break cannot be stored in the settings file (it would end the line
// and turn the rest into keys), so such a path is refused before anything changes.
namespace {
void CheckStorablePath(const std::string& path, int index) {
    if (path.find_first_of("\r\n") != std::string::npos)
        Throw(Msg::LineBreakInValue, {"Verz" + std::to_string(index + 1)});
}
} // namespace

void TOptionen::SetDirectoryPath(int index, const std::string& path) {
    CheckIndex(index);
    if (GetDirectoryPath(index) == path) return;
    CheckStorablePath(path, index);
    Verzeichnisse[index] = Verzeichnisse[index].substr(0, 2) + path;
    SaveSettings();
}

bool TOptionen::IsDirectoryActive(int index) const {
    CheckIndex(index);
    return Verzeichnisse[index][0] == '1';
}

void TOptionen::SetDirectoryActive(int index, bool active) {
    if (IsDirectoryActive(index) == active) return;
    Verzeichnisse[index][0] = active ? '1' : '0';
    SaveSettings();
}

bool TOptionen::IsDirectoryRecursive(int index) const {
    CheckIndex(index);
    return Verzeichnisse[index][1] == '1';
}

void TOptionen::SetDirectoryRecursive(int index, bool recursive) {
    if (IsDirectoryRecursive(index) == recursive) return;
    Verzeichnisse[index][1] = recursive ? '1' : '0';
    SaveSettings();
}

int TOptionen::AddDirectory(const std::string& path, bool recursive) {
    CheckStorablePath(path, DirectoryCount());
    Verzeichnisse.push_back((recursive ? "11" : "10") + path);
    SaveSettings();
    return DirectoryCount() - 1;
}

void TOptionen::DeleteDirectory(int index) {
    CheckIndex(index);
    Verzeichnisse.erase(Verzeichnisse.begin() + index);
    SaveSettings();
}

void TOptionen::MoveDirectory(int from, int to) {
    CheckIndex(from);
    CheckIndex(to);
    if (from == to) return;
    std::string entry = std::move(Verzeichnisse[from]);
    Verzeichnisse.erase(Verzeichnisse.begin() + from);
    Verzeichnisse.insert(Verzeichnisse.begin() + to, std::move(entry));
    SaveSettings();
}

void TOptionen::BuildCatalogue(std::vector<std::string>& target) const {
    target.clear();
    Scan scan{target, {}};
    for (int i = 0; i < DirectoryCount(); ++i) {
        if (!IsDirectoryActive(i)) continue;
        // Each entry is a walk of its own: two entries for one folder list it twice.
        scan.visited.clear();
        scan.Directory(GetDirectoryPath(i), IsDirectoryRecursive(i));
    }
}

std::string TOptionen::PickRandomPicture() const {
    std::vector<std::string> catalogue;
    BuildCatalogue(catalogue);
    if (catalogue.empty()) return {};
    return catalogue[RandomIndex(catalogue.size())];
}
