// Xfce: xfdesktop keeps one picture per monitor and workspace in the xfconf
// channel "xfce4-desktop", written through xfconf-query.
#include "config/Messages.h"
#include "desktop/Processes.h"
#include "desktop/RunCommand.h"
#include "desktop/WallpaperBackend.h"
#include "desktop/X11Util.h"

#include <X11/Xatom.h>

#include <map>
#include <set>

namespace {
const char kChannel[] = "xfce4-desktop";

struct Layout {
    int screen = 0;
    std::vector<std::string> outputs;
    int workspaces = 1;
};

Layout ReadLayout() {
    Layout l;
    x11::DisplayPtr dpy = x11::OpenDisplay();
    if (!dpy) return l;
    l.screen = DefaultScreen(dpy.get());
    l.outputs = x11::ActiveOutputNames(dpy.get());
    const Atom count = XInternAtom(dpy.get(), "_NET_NUMBER_OF_DESKTOPS", True);
    if (count != None) {
        auto v = x11::GetCardinals(dpy.get(), DefaultRootWindow(dpy.get()), count, XA_CARDINAL);
        if (!v.empty() && v[0] > 0 && v[0] < 1000) l.workspaces = static_cast<int>(v[0]);
    }
    return l;
}

class XfceBackend final : public WallpaperBackend {
  public:
    const char* Name() const override { return "xfce"; }

    // Without xfdesktop drawing it the setting is stored and nothing shows.
    bool Usable() override {
        if (FindOnPath("xfconf-query").empty() || !RunsInThisSession("xfdesktop")) return false;
        prefixes_ = Prefixes();
        return !prefixes_.empty();
    }

    void Apply(const WallpaperRequest& r) override {
        const std::string style = r.style == WallpaperStyle::Tiled ? "2" : "1";
        for (const std::string& p : prefixes_)
            Set(p + "/image-style", "int", style);
        // xfdesktop ignores a last-image equal to the one it shows; the
        // detour over "" makes it load the rewritten file.
        for (const std::string& p : prefixes_) {
            Set(p + "/last-image", "string", "");
            Set(p + "/last-image", "string", r.file);
        }
    }

  private:
    // "/backdrop/screenN/monitorM/workspaceW" for every monitor and workspace
    // of the current screen: those xfdesktop already has, and those of the
    // connected outputs, which a fresh install has not written yet.
    std::vector<std::string> Prefixes() const {
        const Layout l = ReadLayout();
        const std::string screen = "/backdrop/screen" + std::to_string(l.screen) + "/";
        std::map<std::string, std::set<int>> monitors;
        for (const std::string& out : l.outputs)
            for (int w = 0; w < l.workspaces; ++w)
                monitors["monitor" + out].insert(w);
        const CommandResult listing = RunCommand({"xfconf-query", "-c", kChannel, "-l"}, true);
        std::size_t pos = 0;
        const std::string& text = listing.output;
        while (listing.ok && pos < text.size()) {
            std::size_t end = text.find('\n', pos);
            if (end == std::string::npos) end = text.size();
            const std::string line = text.substr(pos, end - pos);
            pos = end + 1;
            if (line.rfind(screen, 0) != 0) continue;
            const std::size_t mEnd = line.find('/', screen.size());
            if (mEnd == std::string::npos) continue;
            const std::string monitor = line.substr(screen.size(), mEnd - screen.size());
            const std::string ws = "/workspace";
            if (monitor.rfind("monitor", 0) != 0 || line.compare(mEnd, ws.size(), ws) != 0) continue;
            const std::size_t numStart = mEnd + ws.size();
            std::size_t numEnd = numStart;
            while (numEnd < line.size() && numEnd - numStart < 4 && line[numEnd] >= '0' &&
                   line[numEnd] <= '9')
                ++numEnd;
            if (numEnd == numStart || (numEnd < line.size() && line[numEnd] != '/')) continue;
            monitors[monitor].insert(std::stoi(line.substr(numStart, numEnd - numStart)));
        }
        std::vector<std::string> out;
        for (const auto& [monitor, workspaces] : monitors)
            for (int w : workspaces)
                out.push_back(screen + monitor + "/workspace" + std::to_string(w));
        return out;
    }

    static void Set(const std::string& property, const char* type, const std::string& value) {
        // -n creates the property when it does not exist yet; it needs -t.
        if (!RunCommand({"xfconf-query", "-c", kChannel, "-p", property, "-n", "-t", type, "-s", value},
                        false, std::chrono::seconds(20), Utf8ArgumentsEnv(value))
                 .ok)
            Throw(Msg::RegistrySetFailed, {property});
    }

    std::vector<std::string> prefixes_;
};
} // namespace

std::unique_ptr<WallpaperBackend> MakeXfceBackend() {
    return std::make_unique<XfceBackend>();
}
