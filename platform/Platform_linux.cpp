#include "platform/Platform.h"
#include "platform/PlatformNative.h"

#include <X11/Xlib.h>
#include <X11/extensions/Xinerama.h>
#include <X11/extensions/Xrandr.h>
#include <dirent.h>
#include <fcntl.h>
#include <langinfo.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <clocale>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <random>

namespace platform {

const char kPathSeparator = '/';
const bool kCatalogueLowercasesPaths = false;
const bool kListingNeedsSorting = true;
const char* const kLineEnd = "\n";

namespace {

struct DisplayCloser {
    void operator()(Display* d) const { XCloseDisplay(d); }
};
using DisplayPtr = std::unique_ptr<Display, DisplayCloser>;

DisplayPtr OpenDisplay() {
    const char* name = std::getenv("DISPLAY");
    if (!name || !*name) return nullptr;
    return DisplayPtr(XOpenDisplay(nullptr));
}

// The locale is read once, as the process found it at start.
char LocaleDecimalPoint() {
    static const char sep = [] {
        const char* old = std::setlocale(LC_NUMERIC, nullptr);
        std::string saved = old ? old : "C";
        std::setlocale(LC_NUMERIC, "");
        const char* dp = nl_langinfo(RADIXCHAR);
        char c = (dp && dp[0] && !dp[1]) ? dp[0] : '.';
        std::setlocale(LC_NUMERIC, saved.c_str());
        return c;
    }();
    return sep;
}
} // namespace

std::string NativeExecutablePath() {
    std::string buf(PATH_MAX, '\0');
    ssize_t n = readlink("/proc/self/exe", buf.data(), buf.size() - 1);
    if (n <= 0) return "ulbrasen";
    buf.resize(static_cast<std::size_t>(n));
    return buf;
}

namespace {
bool HasRandr(Display* d, int wantMinor) {
    int evBase = 0, errBase = 0, major = 0, minor = 0;
    return XRRQueryExtension(d, &evBase, &errBase) && XRRQueryVersion(d, &major, &minor) &&
           (major > 1 || (major == 1 && minor >= wantMinor));
}

// A mirrored output is a second monitor of the same area: one picture.
void AddMonitor(std::vector<Monitor>& list, Monitor m, bool primary) {
    if (m.width <= 0 || m.height <= 0) return;
    for (const Monitor& have : list)
        if (have.x == m.x && have.y == m.y && have.width == m.width && have.height == m.height) return;
    if (primary)
        list.insert(list.begin(), std::move(m));
    else
        list.push_back(std::move(m));
}

// RandR 1.5 monitors include the virtual ones of "xrandr --setmonitor".
std::vector<Monitor> RandrMonitors(Display* d) {
    std::vector<Monitor> list;
    if (!HasRandr(d, 5)) return list;
    int n = 0;
    XRRMonitorInfo* info = XRRGetMonitors(d, DefaultRootWindow(d), True, &n);
    if (!info) return list;
    for (int i = 0; i < n; ++i) {
        std::string name;
        if (info[i].name != None) {
            if (char* text = XGetAtomName(d, info[i].name)) {
                name = text;
                XFree(text);
            }
        }
        AddMonitor(list, {info[i].x, info[i].y, info[i].width, info[i].height, std::move(name)},
                   info[i].primary != 0);
    }
    XRRFreeMonitors(info);
    return list;
}

std::vector<Monitor> XineramaMonitors(Display* d) {
    std::vector<Monitor> list;
    int ev = 0, err = 0;
    if (!XineramaQueryExtension(d, &ev, &err) || !XineramaIsActive(d)) return list;
    int n = 0;
    XineramaScreenInfo* info = XineramaQueryScreens(d, &n);
    if (!info) return list;
    for (int i = 0; i < n; ++i)
        AddMonitor(list, {info[i].x_org, info[i].y_org, info[i].width, info[i].height, ""}, false);
    XFree(info);
    return list;
}

std::vector<Monitor> MonitorsOf(Display* d) {
    std::vector<Monitor> list = RandrMonitors(d);
    if (list.empty()) list = XineramaMonitors(d);
    return list;
}
} // namespace

std::vector<Monitor> NativeMonitors() {
    DisplayPtr dpy = OpenDisplay();
    if (!dpy) return {};
    return MonitorsOf(dpy.get());
}

ScreenDims NativeScreenSize() {
    DisplayPtr dpy = OpenDisplay();
    if (!dpy) return {1024, 768};
    const std::vector<Monitor> list = MonitorsOf(dpy.get());
    if (!list.empty()) return {list.front().width, list.front().height};
    return {DisplayWidth(dpy.get(), DefaultScreen(dpy.get())),
            DisplayHeight(dpy.get(), DefaultScreen(dpy.get()))};
}

int NativeDisplayDepth() {
    static const int measured = [] {
        DisplayPtr dpy = OpenDisplay();
        if (!dpy) return 24;
        return DefaultDepth(dpy.get(), DefaultScreen(dpy.get()));
    }();
    return measured;
}

char NativeDecimalSeparator() {
    return LocaleDecimalPoint();
}

std::string LocaleShortDateFormat() {
    const char* old = std::setlocale(LC_TIME, nullptr);
    std::string saved = old ? old : "C";
    std::setlocale(LC_TIME, "");
    std::string fmt = nl_langinfo(D_FMT);
    std::setlocale(LC_TIME, saved.c_str());
    // strftime pattern to the d/M/y pattern of the date code.
    std::string out;
    for (std::size_t i = 0; i < fmt.size(); ++i) {
        if (fmt[i] != '%' || i + 1 >= fmt.size()) {
            out += fmt[i];
            continue;
        }
        char c = fmt[++i];
        if (c == 'E' || c == 'O' || c == '-') {
            if (i + 1 >= fmt.size()) break;
            c = fmt[++i];
        }
        switch (c) {
        case 'd':
            out += "dd";
            break;
        case 'e':
            out += "d";
            break;
        case 'm':
            out += "MM";
            break;
        case 'y':
            out += "yy";
            break;
        case 'Y':
            out += "yyyy";
            break;
        case 'D':
            out += "MM/dd/yy";
            break;
        case 'F':
            out += "yyyy-MM-dd";
            break;
        case 'b':
        case 'h':
            out += "MMM";
            break;
        case 'B':
            out += "MMMM";
            break;
        case '%':
            out += '%';
            break;
        default:
            break;
        }
    }
    return out;
}

bool ListDirectory(const std::string& dir, std::vector<DirEntry>& out, DirIdentity* identity) {
    out.clear();
    int fd = open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return false;
    if (identity) {
        struct stat st {};
        if (fstat(fd, &st) == 0)
            *identity = {static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino), true};
    }
    DIR* d = fdopendir(fd);
    if (!d) {
        close(fd);
        return false;
    }
    while (dirent* e = readdir(d)) {
        const char* n = e->d_name;
        if (n[0] == '.' && (n[1] == 0 || (n[1] == '.' && n[2] == 0))) continue;
        EntryKind kind = EntryKind::Other;
        unsigned char type = e->d_type;
        if (type == DT_REG) {
            kind = EntryKind::File;
        } else if (type == DT_DIR) {
            kind = EntryKind::Directory;
        } else if (type == DT_LNK || type == DT_UNKNOWN) {
            // Only links and file systems without d_type cost a stat.
            struct stat st {};
            if (fstatat(dirfd(d), n, &st, 0) == 0) {
                if (S_ISREG(st.st_mode))
                    kind = EntryKind::File;
                else if (S_ISDIR(st.st_mode))
                    kind = EntryKind::Directory;
            }
        }
        out.push_back({n, kind});
    }
    closedir(d);
    return true;
}

bool FileExists(const std::string& path) {
    struct stat st {};
    return !path.empty() && stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool DirectoryExists(const std::string& path) {
    struct stat st {};
    return !path.empty() && stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool DirectoryWritable(const std::string& dir) {
    // The effective identity, so that root without its override capabilities
    // counts as what it then is.
    return DirectoryExists(dir) && faccessat(AT_FDCWD, dir.c_str(), W_OK | X_OK, AT_EACCESS) == 0;
}

bool IsSystemProgramFolder(const std::string& dir) {
    // The file system hierarchy keeps /usr read-only at run time: a package's
    // files only. Root can write there, but must not leave settings behind.
    return dir == "/usr" || dir.rfind("/usr/", 0) == 0;
}

bool CreateDirectories(const std::string& dir) {
    if (dir.empty()) return false;
    for (std::size_t pos = dir.find('/', 1);; pos = dir.find('/', pos + 1)) {
        const std::string partial = dir.substr(0, pos);
        if (!partial.empty() && partial.back() != '/' && mkdir(partial.c_str(), 0700) != 0 && errno != EEXIST)
            return false;
        if (pos == std::string::npos) break;
    }
    return DirectoryExists(dir);
}

std::string UserFolderPath(UserFolder kind) {
    // XDG base directories: only an absolute value counts, as the
    // freedesktop rules demand; otherwise the default below $HOME.
    const char* var = kind == UserFolder::Config ? "XDG_CONFIG_HOME" : "XDG_DATA_HOME";
    const char* fallback = kind == UserFolder::Config ? "/.config" : "/.local/share";
    std::string base;
    if (const char* v = std::getenv(var); v && v[0] == '/') {
        base = v;
    } else if (const char* home = std::getenv("HOME"); home && home[0] == '/') {
        base = std::string(home) + fallback;
    } else {
        return "";
    }
    while (base.size() > 1 && base.back() == '/')
        base.pop_back();
    return base + "/ulbrasen";
}

std::optional<FileStamp> StatFile(const std::string& path) {
    struct stat st {};
    if (path.empty() || stat(path.c_str(), &st) != 0) return std::nullopt;
    return FileStamp{static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino),
                     static_cast<std::uint64_t>(st.st_size),
                     static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec};
}

bool DeleteFile(const std::string& path) {
    return !path.empty() && unlink(path.c_str()) == 0;
}

namespace {
template <class Buffer> bool ReadWhole(const std::string& path, Buffer& content, std::uint64_t maxBytes) {
    content.clear();
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    struct stat st {};
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || static_cast<std::uint64_t>(st.st_size) > maxBytes) {
        close(fd);
        return false;
    }
    content.resize(static_cast<std::size_t>(st.st_size));
    std::size_t got = 0;
    for (;;) {
        // At the size fstat gave, a small read tells whether the file has
        // grown since; growing the buffer for it would copy the whole file.
        char more[4096];
        const bool full = got == content.size();
        ssize_t n = full ? read(fd, more, sizeof more) : read(fd, content.data() + got, content.size() - got);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 || got + static_cast<std::size_t>(n) > maxBytes) {
            close(fd);
            content.clear();
            return false;
        }
        if (n == 0) break;
        if (full) content.insert(content.end(), more, more + n);
        got += static_cast<std::size_t>(n);
    }
    close(fd);
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
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return nullptr;
    struct stat st {};
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        close(fd);
        return nullptr;
    }
    return std::make_unique<OpenFile>(Key{}, fd, static_cast<std::uint64_t>(st.st_size));
}

OpenFile::~OpenFile() {
    if (handle_ >= 0) close(static_cast<int>(handle_));
}

std::int64_t OpenFile::ReadAt(std::uint64_t offset, void* buffer, std::size_t n) const {
    if (offset > static_cast<std::uint64_t>(INT64_MAX)) return 0;
    for (;;) {
        const ssize_t got = pread(static_cast<int>(handle_), buffer, n, static_cast<off_t>(offset));
        if (got < 0 && errno == EINTR) continue;
        return got;
    }
}

namespace {
// Temporary files are named after the target and the writing process, so
// that one left by a killed writer can be told from one still being written.
std::string TempPrefix(const std::string& name) {
    return "." + name + ".tmp-";
}

void RemoveStaleTemps(const std::string& folder, const std::string& name) {
    DIR* d = opendir(folder.c_str());
    if (!d) return;
    const std::string prefix = TempPrefix(name);
    const pid_t self = getpid();
    while (dirent* e = readdir(d)) {
        const std::string n = e->d_name;
        if (n.compare(0, prefix.size(), prefix) != 0) continue;
        const long pid = std::strtol(n.c_str() + prefix.size(), nullptr, 10);
        if (pid <= 0 || pid == self) continue;
        if (kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH) unlinkat(dirfd(d), n.c_str(), 0);
    }
    closedir(d);
}
} // namespace

bool AtomicWriteFile(const std::string& path, const std::string& content, FileMode mode) {
    return AtomicWriteFileStreamed(
        path, [&](const ChunkWriter& write) { return write(content.data(), content.size()); }, mode);
}

bool AtomicWriteFileStreamed(const std::string& path,
                             const std::function<bool(const ChunkWriter& write)>& produce, FileMode mode) {
    if (path.empty()) return false;
    const std::size_t slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : (slash == 0 ? "/" : path.substr(0, slash));
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    const std::string tmp = folder + "/" + TempPrefix(name) + std::to_string(getpid()) + "-XXXXXX";
    std::vector<char> tmpl(tmp.begin(), tmp.end());
    tmpl.push_back('\0');
    int fd = mkostemp(tmpl.data(), O_CLOEXEC);
    if (fd < 0) return false;
    const std::string tmpPath(tmpl.data());
    bool ok = true;
    const ChunkWriter write = [&](const void* data, std::size_t size) {
        const char* p = static_cast<const char*>(data);
        while (ok && size > 0) {
            ssize_t n = ::write(fd, p, size);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0)
                ok = false;
            else {
                p += n;
                size -= static_cast<std::size_t>(n);
            }
        }
        return ok;
    };
    try {
        if (!produce(write)) ok = false;
    } catch (...) {
        close(fd);
        unlink(tmpPath.c_str());
        throw;
    }
    // Keep the permissions an existing file had; new files get the usual ones.
    mode_t perm = 0;
    struct stat old {};
    if (stat(path.c_str(), &old) == 0) {
        perm = old.st_mode & 07777;
    } else {
        const mode_t mask = umask(0);
        umask(mask);
        perm = 0666 & ~mask;
    }
    if (mode == FileMode::Executable) perm |= (perm & 0444) >> 2;
    if (ok) ok = fchmod(fd, perm) == 0;
    if (ok) ok = fsync(fd) == 0;
    if (close(fd) != 0) ok = false;
    if (ok) ok = rename(tmpPath.c_str(), path.c_str()) == 0;
    if (!ok) {
        unlink(tmpPath.c_str());
        return false;
    }
    // The new name must survive a power cut too.
    int dfd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dfd >= 0) {
        fsync(dfd);
        close(dfd);
    }
    RemoveStaleTemps(folder, name);
    return true;
}

InterProcessLock::InterProcessLock(const std::string& path) {
    // The folder, not a lock file beside the executable: every process
    // writing the file opens the same folder, and nothing is left behind.
    const std::size_t slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : (slash == 0 ? "/" : path.substr(0, slash));
    const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    int rc;
    do
        rc = flock(fd, LOCK_EX);
    while (rc != 0 && errno == EINTR);
    if (rc != 0) {
        close(fd);
        return;
    }
    handle_ = fd;
}

InterProcessLock::~InterProcessLock() {
    if (handle_ != kNone) close(static_cast<int>(handle_));
}

std::string SystemTextToUtf8(const std::string& text) {
    return text;
}
std::string Utf8ToSystemText(const std::string& text) {
    return text;
}

} // namespace platform
