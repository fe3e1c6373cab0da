#pragma once
// The operating-system primitives the portable core needs. Each function is
// implemented once per platform (Platform_linux.cpp, Platform_win32.cpp).
#include <cstdint>
#include <climits>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace platform {

// Separator the catalogue puts between a folder and a file name.
extern const char kPathSeparator;
// Windows lower-cases catalogue paths (A to Z); a case-sensitive file system must not.
extern const bool kCatalogueLowercasesPaths;
// NTFS lists a folder sorted by name; a Linux listing comes in hash order and
// is sorted the same way (case-blind) before use.
extern const bool kListingNeedsSorting;

// Full path of the running executable. Tests redirect it (and so the .ini,
// .aw and .bmp files beside it) into a temporary folder.
std::string ExecutablePath();
void SetExecutablePathForTesting(std::optional<std::string> path);

struct ScreenDims {
    int width = 0;
    int height = 0;
};
// Size of the primary display, read anew at each call; 1024 x 768 without a display.
ScreenDims ScreenSize();
void SetScreenSizeForTesting(std::optional<ScreenDims> size);

// One monitor's area in desktop coordinates (Windows: the primary's top-left
// is 0, 0 and others may lie left of or above it). name is the output's name
// where the system has one ("HDMI-1").
struct Monitor {
    int x = 0, y = 0, width = 0, height = 0;
    std::string name;
    bool operator==(const Monitor&) const = default;
};
// The monitors, read anew at each call, the primary first and never empty:
// without a display, one of ScreenSize() at 0, 0.
std::vector<Monitor> Monitors();
void SetMonitorsForTesting(std::optional<std::vector<Monitor>> monitors);

// Bits per pixel of the display (24 without a display), measured once.
int DisplayDepth();
void SetDisplayDepthForTesting(std::optional<int> depth);

// The decimal separator of the user's locale as found at process start.
char DecimalSeparator();
void SetDecimalSeparatorForTesting(std::optional<char> sep);

// The locale's short date format as a d/M/y pattern (e.g. "dd.MM.yyyy").
std::string LocaleShortDateFormat();

enum class EntryKind { File, Directory, Other };
struct DirEntry {
    std::string name;
    EntryKind kind = EntryKind::Other;
};
// Identity of a directory on disk, for the catalogue's cycle guard.
struct DirIdentity {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    bool valid = false;
    bool operator==(const DirIdentity&) const = default;
};
// Lists a directory: plain files (hidden and system ones included) and
// sub-directories, without "." and "..". Symbolic links are resolved. Returns
// false when the directory cannot be read; *identity is filled when known.
bool ListDirectory(const std::string& dir, std::vector<DirEntry>& out, DirIdentity* identity);

// True for an existing regular file (a directory of that name does not count).
bool FileExists(const std::string& path);
bool DirectoryExists(const std::string& path);
// True when this process may create files in the folder now (permissions,
// ACLs and read-only mounts as they apply to it).
bool DirectoryWritable(const std::string& dir);
// True for a folder that holds installed programs and must not be written
// while they run, whoever may (Linux: below /usr; Windows: none).
bool IsSystemProgramFolder(const std::string& dir);
// Creates the folder and its missing parents, private to the user; true when
// it exists afterwards.
bool CreateDirectories(const std::string& dir);

enum class UserFolder { Config, Data };
// The user's own folder for the program's files when they cannot live beside
// the executable: Linux $XDG_CONFIG_HOME/ulbrasen or $XDG_DATA_HOME/ulbrasen
// (~/.config and ~/.local/share by default), Windows %APPDATA%\Ulbrasen for
// both. Empty when the user has none (no home folder).
std::string UserFolderPath(UserFolder kind);
bool DeleteFile(const std::string& path);
// Reads a whole regular file; false when it cannot be opened or read, or when
// it is larger than maxBytes.
bool ReadFile(const std::string& path, std::string& content, std::uint64_t maxBytes = UINT64_MAX);
bool ReadFileBytes(const std::string& path, std::vector<std::uint8_t>& content,
                   std::uint64_t maxBytes = UINT64_MAX);

// A regular file held open for reads at any offset, from several threads at
// once. Reads see the file that was opened, also once it is renamed or
// replaced; one cut short meanwhile simply ends early.
class OpenFile {
    struct Key {
        explicit Key() = default;
    };

  public:
    // Null when path is no regular file or cannot be opened.
    static std::unique_ptr<OpenFile> Open(const std::string& path);
    // Only through Open().
    OpenFile(Key, std::intptr_t handle, std::uint64_t size) : handle_(handle), size_(size) {}
    ~OpenFile();
    OpenFile(const OpenFile&) = delete;
    OpenFile& operator=(const OpenFile&) = delete;
    // The size when it was opened.
    std::uint64_t Size() const { return size_; }
    // Up to n bytes from offset: how many were read, 0 at the end, -1 when
    // reading failed.
    std::int64_t ReadAt(std::uint64_t offset, void* buffer, std::size_t n) const;

  private:
    std::intptr_t handle_ = -1; // a descriptor, or a HANDLE on Windows
    std::uint64_t size_ = 0;
};

// What identifies one version of a file: an atomic replacement always gives a
// new inode (Linux) or file index (Windows).
struct FileStamp {
    std::uint64_t device = 0, inode = 0, size = 0;
    std::int64_t mtimeNs = 0;
    bool operator==(const FileStamp&) const = default;
};
std::optional<FileStamp> StatFile(const std::string& path);

enum class FileMode { Normal, Executable };
// Replaces path with content in one atomic step: a temporary file in the same
// folder, flushed, then renamed over the old one. Nothing is left behind on
// failure and the old file stays intact. Returns false on any failure.
bool AtomicWriteFile(const std::string& path, const std::string& content, FileMode mode = FileMode::Normal);
// The same for content too large to hold twice: produce hands its pieces to
// write, which returns false once writing has failed; produce returns false
// to give up. An exception from produce leaves nothing behind and propagates.
using ChunkWriter = std::function<bool(const void* data, std::size_t size)>;
bool AtomicWriteFileStreamed(const std::string& path,
                             const std::function<bool(const ChunkWriter& write)>& produce,
                             FileMode mode = FileMode::Normal);

// An exclusive lock between processes for a file that is replaced by
// renaming, so it cannot sit on the file itself: Linux locks the folder,
// Windows a named mutex derived from the path. Blocks while another process
// holds it and is released on destruction or when the holder dies. Where no
// lock can be had (a folder that cannot be opened) it holds nothing and the
// caller goes on unlocked, as the file is still replaced atomically. Locks
// of two files in one folder are one lock on Linux: never nest them.
class InterProcessLock {
  public:
    explicit InterProcessLock(const std::string& path);
    ~InterProcessLock();
    InterProcessLock(const InterProcessLock&) = delete;
    InterProcessLock& operator=(const InterProcessLock&) = delete;
    bool Held() const { return handle_ != kNone; }

  private:
    static constexpr std::intptr_t kNone = -1;
    std::intptr_t handle_ = kNone;
};

// Text files the user already has (INI, .aw) are in the system's code page on
// Windows; inside the program everything is UTF-8. Identity on Linux.
std::string SystemTextToUtf8(const std::string& text);
std::string Utf8ToSystemText(const std::string& text);

// Line end of text files the program writes.
extern const char* const kLineEnd;

} // namespace platform
