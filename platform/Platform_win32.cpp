#include "platform/Platform.h"
#include "platform/PlatformNative.h"
#include "platform/Win32Text.h"

#include <windows.h>
#include <shlobj.h>
// <windows.h> maps DeleteFile to DeleteFileA; ours is platform::DeleteFile.
#undef DeleteFile

#include <random>

namespace platform {

const char kPathSeparator = '\\';
const bool kCatalogueLowercasesPaths = true;
const bool kListingNeedsSorting = false;
const char* const kLineEnd = "\r\n";

std::wstring Utf8ToWide(const std::string& text) {
    if (text.empty()) return {};
    const int n = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring out(static_cast<std::size_t>(n > 0 ? n : 0), L'\0');
    if (n > 0) MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n);
    return out;
}

std::string WideToUtf8(const std::wstring& text) {
    return WideToCodePage(text, CP_UTF8);
}

std::string WideToCodePage(const std::wstring& text, unsigned codePage) {
    if (text.empty()) return {};
    const int n = WideCharToMultiByte(codePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                      nullptr, nullptr);
    std::string out(static_cast<std::size_t>(n > 0 ? n : 0), '\0');
    if (n > 0)
        WideCharToMultiByte(codePage, 0, text.data(), static_cast<int>(text.size()), out.data(), n, nullptr,
                            nullptr);
    return out;
}

std::wstring CodePageToWide(const std::string& text, unsigned codePage) {
    if (text.empty()) return {};
    const int n = MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring out(static_cast<std::size_t>(n > 0 ? n : 0), L'\0');
    if (n > 0) MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), out.data(), n);
    return out;
}

// A real round trip: the lossy flag misses best-fit replacements (alpha to a).
bool FitsAnsiCodePage(const std::string& text) {
    const std::wstring wide = Utf8ToWide(text);
    return CodePageToWide(WideToCodePage(wide, CP_ACP), CP_ACP) == wide && WideToUtf8(wide) == text;
}

namespace {

struct Handle {
    HANDLE h = INVALID_HANDLE_VALUE;
    explicit Handle(HANDLE handle) : h(handle) {}
    ~Handle() {
        if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
    }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    bool ok() const { return h != INVALID_HANDLE_VALUE; }
};

struct FindHandle {
    HANDLE h;
    explicit FindHandle(HANDLE handle) : h(handle) {}
    ~FindHandle() {
        if (h != INVALID_HANDLE_VALUE) FindClose(h);
    }
    FindHandle(const FindHandle&) = delete;
    FindHandle& operator=(const FindHandle&) = delete;
};

std::wstring LocaleInfo(LCTYPE type) {
    wchar_t buf[128] = {};
    const int n = GetLocaleInfoW(LOCALE_USER_DEFAULT, type, buf, 128);
    return n > 1 ? std::wstring(buf, static_cast<std::size_t>(n - 1)) : std::wstring();
}

// The locale is read once, as the process found it at start.
char LocaleDecimalPoint() {
    static const char sep = [] {
        const std::wstring s = LocaleInfo(LOCALE_SDECIMAL);
        return s.size() == 1 && s[0] > 0x20 && s[0] < 0x7f ? static_cast<char>(s[0]) : '.';
    }();
    return sep;
}

bool IsSeparator(char c) {
    return c == '\\' || c == '/';
}

std::int64_t FileTimeToNs(const FILETIME& t) {
    const std::uint64_t ticks = (static_cast<std::uint64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime;
    return static_cast<std::int64_t>(ticks) * 100;
}
} // namespace

std::string NativeExecutablePath() {
    std::wstring buf(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = GetModuleFileNameW(nullptr, buf.data(), static_cast<DWORD>(buf.size()));
        if (n == 0) return "Ulbrasen.exe";
        if (n < buf.size()) {
            buf.resize(n);
            return WideToUtf8(buf);
        }
        buf.resize(buf.size() * 2);
    }
}

ScreenDims NativeScreenSize() {
    const int w = GetSystemMetrics(SM_CXSCREEN);
    const int h = GetSystemMetrics(SM_CYSCREEN);
    if (w <= 0 || h <= 0) return {1024, 768};
    return {w, h};
}

namespace {
BOOL CALLBACK AddMonitor(HMONITOR handle, HDC, LPRECT, LPARAM data) {
    auto& list = *reinterpret_cast<std::vector<Monitor>*>(data);
    MONITORINFOEXW info{};
    info.cbSize = sizeof info;
    if (!GetMonitorInfoW(handle, &info)) return TRUE;
    const RECT& r = info.rcMonitor;
    Monitor m{r.left, r.top, r.right - r.left, r.bottom - r.top, WideToUtf8(info.szDevice)};
    if (m.width <= 0 || m.height <= 0) return TRUE;
    if (info.dwFlags & MONITORINFOF_PRIMARY)
        list.insert(list.begin(), std::move(m));
    else
        list.push_back(std::move(m));
    return TRUE;
}
} // namespace

std::vector<Monitor> NativeMonitors() {
    std::vector<Monitor> list;
    EnumDisplayMonitors(nullptr, nullptr, AddMonitor, reinterpret_cast<LPARAM>(&list));
    return list;
}

int NativeDisplayDepth() {
    static const int measured = [] {
        HDC dc = GetDC(nullptr);
        if (!dc) return 24;
        const int bits = GetDeviceCaps(dc, BITSPIXEL) * GetDeviceCaps(dc, PLANES);
        ReleaseDC(nullptr, dc);
        return bits > 0 ? bits : 24;
    }();
    return measured;
}

char NativeDecimalSeparator() {
    return LocaleDecimalPoint();
}

// Windows already writes the short date as a d/M/y pattern.
std::string LocaleShortDateFormat() {
    return WideToUtf8(LocaleInfo(LOCALE_SSHORTDATE));
}

bool ListDirectory(const std::string& dir, std::vector<DirEntry>& out, DirIdentity* identity) {
    out.clear();
    if (dir.empty()) return false;
    std::wstring pattern = Utf8ToWide(dir);
    if (pattern.back() != L'\\' && pattern.back() != L'/') pattern += L'\\';
    pattern += L'*';
    WIN32_FIND_DATAW fd;
    FindHandle find(FindFirstFileW(pattern.c_str(), &fd));
    if (find.h == INVALID_HANDLE_VALUE) return GetLastError() == ERROR_FILE_NOT_FOUND && DirectoryExists(dir);
    if (identity) {
        Handle h(CreateFileW(Utf8ToWide(dir).c_str(), 0,
                             FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                             FILE_FLAG_BACKUP_SEMANTICS, nullptr));
        BY_HANDLE_FILE_INFORMATION info;
        if (h.ok() && GetFileInformationByHandle(h.h, &info))
            *identity = {info.dwVolumeSerialNumber,
                         (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow, true};
    }
    do {
        const wchar_t* n = fd.cFileName;
        if (n[0] == L'.' && (n[1] == 0 || (n[1] == L'.' && n[2] == 0))) continue;
        // The file pass asks for read-only, hidden, system and archive (0x27),
        // the directory pass adds the directory bit (0x37); an entry is taken
        // when it has none of the other bits of 0x1E. Every plain file passes
        // the first, every directory the second; volume labels pass neither.
        const DWORD attr = fd.dwFileAttributes;
        EntryKind kind = EntryKind::Other;
        if ((attr & ~0x27u & 0x1Eu) == 0)
            kind = EntryKind::File;
        else if ((attr & ~0x37u & 0x1Eu) == 0)
            kind = EntryKind::Directory;
        out.push_back({WideToUtf8(n), kind});
    } while (FindNextFileW(find.h, &fd));
    return true;
}

bool FileExists(const std::string& path) {
    if (path.empty()) return false;
    const DWORD a = GetFileAttributesW(Utf8ToWide(path).c_str());
    return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
}

bool DirectoryExists(const std::string& path) {
    if (path.empty()) return false;
    const DWORD a = GetFileAttributesW(Utf8ToWide(path).c_str());
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

bool DirectoryWritable(const std::string& dir) {
    // The folder's attributes say nothing about its ACL ("Program Files"):
    // only creating a file tells. It goes away when its handle closes.
    if (!DirectoryExists(dir)) return false;
    std::string probe = dir;
    if (probe.back() != '\\' && probe.back() != '/') probe += '\\';
    probe += "~ulbrasen-" + std::to_string(GetCurrentProcessId()) + ".tmp";
    Handle h(CreateFileW(Utf8ToWide(probe).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                         FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr));
    return h.ok();
}

bool IsSystemProgramFolder(const std::string&) {
    // "Program Files" keeps users out by its ACL, which DirectoryWritable sees.
    return false;
}

bool CreateDirectories(const std::string& dir) {
    if (dir.empty()) return false;
    const std::wstring wide = Utf8ToWide(dir);
    for (std::size_t pos = wide.find_first_of(L"\\/", 0);; pos = wide.find_first_of(L"\\/", pos + 1)) {
        const std::wstring partial = wide.substr(0, pos);
        // Skips the drive ("C:") and the empty parts of "\\server\share".
        if (!partial.empty() && partial.back() != L':' && partial.back() != L'\\' && partial.back() != L'/')
            CreateDirectoryW(partial.c_str(), nullptr);
        if (pos == std::wstring::npos) break;
    }
    return DirectoryExists(dir);
}

std::string UserFolderPath(UserFolder) {
    wchar_t buf[MAX_PATH];
    if (SHGetFolderPathW(nullptr, CSIDL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, buf) != S_OK) return "";
    return WideToUtf8(buf) + "\\Ulbrasen";
}

bool DeleteFile(const std::string& path) {
    return !path.empty() && DeleteFileW(Utf8ToWide(path).c_str());
}

std::optional<FileStamp> StatFile(const std::string& path) {
    if (path.empty()) return std::nullopt;
    Handle h(CreateFileW(Utf8ToWide(path).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                         nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    BY_HANDLE_FILE_INFORMATION info;
    if (!h.ok() || !GetFileInformationByHandle(h.h, &info)) return std::nullopt;
    return FileStamp{info.dwVolumeSerialNumber,
                     (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow,
                     (static_cast<std::uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow,
                     FileTimeToNs(info.ftLastWriteTime)};
}

namespace {
template <class Buffer> bool ReadWhole(const std::string& path, Buffer& content, std::uint64_t maxBytes) {
    content.clear();
    if (path.empty()) return false;
    Handle h(CreateFileW(Utf8ToWide(path).c_str(), GENERIC_READ,
                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                         FILE_ATTRIBUTE_NORMAL, nullptr));
    LARGE_INTEGER size;
    if (!h.ok() || GetFileType(h.h) != FILE_TYPE_DISK || !GetFileSizeEx(h.h, &size) ||
        static_cast<std::uint64_t>(size.QuadPart) > maxBytes)
        return false;
    content.resize(static_cast<std::size_t>(size.QuadPart));
    std::size_t got = 0;
    for (;;) {
        // At the size asked for before, a small read tells whether the file
        // has grown since; growing the buffer for it would copy the whole file.
        char more[4096];
        const bool full = got == content.size();
        const DWORD want = full ? DWORD{sizeof more}
                                : static_cast<DWORD>(std::min<std::size_t>(content.size() - got, 1u << 30));
        DWORD n = 0;
        if (!::ReadFile(h.h, full ? more : reinterpret_cast<char*>(content.data()) + got, want, &n,
                        nullptr) ||
            got + n > maxBytes) {
            content.clear();
            return false;
        }
        if (n == 0) break;
        if (full) content.insert(content.end(), more, more + n);
        got += n;
    }
    content.resize(got);
    return true;
}
} // namespace

bool ReadFile(const std::string& path, std::string& content, std::uint64_t maxBytes) {
    return ReadWhole(path, content, maxBytes);
}

bool ReadFileBytes(const std::string& path, std::vector<std::uint8_t>& content, std::uint64_t maxBytes) {
    return ReadWhole(path, content, maxBytes);
}

std::unique_ptr<OpenFile> OpenFile::Open(const std::string& path) {
    if (path.empty()) return nullptr;
    HANDLE h = CreateFileW(Utf8ToWide(path).c_str(), GENERIC_READ,
                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return nullptr;
    LARGE_INTEGER size;
    if (GetFileType(h) != FILE_TYPE_DISK || !GetFileSizeEx(h, &size)) {
        CloseHandle(h);
        return nullptr;
    }
    return std::make_unique<OpenFile>(Key{}, reinterpret_cast<std::intptr_t>(h),
                                      static_cast<std::uint64_t>(size.QuadPart));
}

OpenFile::~OpenFile() {
    CloseHandle(reinterpret_cast<HANDLE>(handle_));
}

std::int64_t OpenFile::ReadAt(std::uint64_t offset, void* buffer, std::size_t n) const {
    // The offset travels in the OVERLAPPED block, so threads never share a
    // file position.
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(offset);
    at.OffsetHigh = static_cast<DWORD>(offset >> 32);
    DWORD got = 0;
    const DWORD want = static_cast<DWORD>(std::min<std::size_t>(n, 1u << 30));
    if (!::ReadFile(reinterpret_cast<HANDLE>(handle_), buffer, want, &got, &at))
        return GetLastError() == ERROR_HANDLE_EOF ? 0 : -1;
    return got;
}

bool AtomicWriteFile(const std::string& path, const std::string& content, FileMode mode) {
    return AtomicWriteFileStreamed(
        path, [&](const ChunkWriter& write) { return write(content.data(), content.size()); }, mode);
}

bool AtomicWriteFileStreamed(const std::string& path,
                             const std::function<bool(const ChunkWriter& write)>& produce,
                             FileMode /*mode*/) {
    if (path.empty()) return false;
    std::size_t sep = path.size();
    while (sep > 0 && !IsSeparator(path[sep - 1]))
        --sep;
    const std::string folder = path.substr(0, sep);
    const std::string name = path.substr(sep);
    if (name.empty()) return false;
    const std::wstring target = Utf8ToWide(path);
    std::random_device rd;
    std::wstring tmp;
    HANDLE raw = INVALID_HANDLE_VALUE;
    for (int attempt = 0; attempt < 100 && raw == INVALID_HANDLE_VALUE; ++attempt) {
        tmp = Utf8ToWide(folder + "." + name + "." + std::to_string(rd() % 1000000u) + ".tmp");
        raw = CreateFileW(tmp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (raw == INVALID_HANDLE_VALUE && GetLastError() != ERROR_FILE_EXISTS) break;
    }
    if (raw == INVALID_HANDLE_VALUE) return false;
    bool ok = true;
    {
        Handle h(raw);
        const ChunkWriter write = [&](const void* data, std::size_t size) {
            const char* p = static_cast<const char*>(data);
            while (ok && size > 0) {
                DWORD n = 0;
                const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(size, 1u << 30));
                if (!WriteFile(h.h, p, chunk, &n, nullptr) || n == 0) ok = false;
                p += n;
                size -= n;
            }
            return ok;
        };
        try {
            if (!produce(write)) ok = false;
        } catch (...) {
            CloseHandle(h.h);
            h.h = INVALID_HANDLE_VALUE;
            DeleteFileW(tmp.c_str());
            throw;
        }
        if (ok) ok = FlushFileBuffers(h.h) != 0;
    }
    if (ok)
        ok =
            MoveFileExW(tmp.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
    if (!ok) {
        DeleteFileW(tmp.c_str());
        return false;
    }
    return true;
}

InterProcessLock::InterProcessLock(const std::string& path) {
    // A named mutex leaves no file beside the executable, and Windows hands
    // it on when a holder dies (WAIT_ABANDONED). The name is a hash of the
    // path as the file system compares it: case-blind, either separator.
    std::wstring key = Utf8ToWide(path);
    CharUpperBuffW(key.data(), static_cast<DWORD>(key.size()));
    std::uint64_t hash = 1469598103934665603ull;
    for (wchar_t c : key)
        hash = (hash ^ static_cast<std::uint16_t>(c == L'/' ? L'\\' : c)) * 1099511628211ull;
    char hex[17];
    for (int i = 0; i < 16; ++i)
        hex[i] = "0123456789abcdef"[(hash >> (60 - 4 * i)) & 0xF];
    hex[16] = 0;
    const std::wstring name = Utf8ToWide(std::string("Local\\ZenksHintergrundwechsler-") + hex);
    HANDLE h = CreateMutexW(nullptr, FALSE, name.c_str());
    if (!h) return;
    const DWORD rc = WaitForSingleObject(h, INFINITE);
    if (rc != WAIT_OBJECT_0 && rc != WAIT_ABANDONED) {
        CloseHandle(h);
        return;
    }
    handle_ = reinterpret_cast<std::intptr_t>(h);
}

InterProcessLock::~InterProcessLock() {
    if (handle_ == kNone) return;
    HANDLE h = reinterpret_cast<HANDLE>(handle_);
    ReleaseMutex(h);
    CloseHandle(h);
}

std::string SystemTextToUtf8(const std::string& text) {
    return WideToUtf8(CodePageToWide(text, CP_ACP));
}
std::string Utf8ToSystemText(const std::string& text) {
    return WideToCodePage(Utf8ToWide(text), CP_ACP);
}

} // namespace platform
