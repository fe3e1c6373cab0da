// KDE Plasma: a script run by plasmashell over D-Bus (org.kde.PlasmaShell
// evaluateScript). plasma-apply-wallpaperimage refuses paths with "'" and has
// no fill mode before Plasma 6.2, so the script writes both settings itself.
#include "config/Messages.h"
#include "desktop/Gio.h"
#include "desktop/PlasmaScript.h"
#include "desktop/WallpaperBackend.h"

namespace {
const char kService[] = "org.kde.plasmashell";

class PlasmaBackend final : public WallpaperBackend {
  public:
    const char* Name() const override { return "plasma"; }

    bool Usable() override {
        // No GIO or no session bus means no Plasma here: skipped without a word.
        const GioFunctions* gio = Gio();
        if (!gio) return false;
        bus_.reset(gio->g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, nullptr));
        if (!bus_) return false;
        GVariant* reply = gio->g_dbus_connection_call_sync(
            Bus(), "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus", "NameHasOwner",
            gio->g_variant_new("(s)", kService), reinterpret_cast<const GVariantType*>("(b)"),
            G_DBUS_CALL_FLAGS_NONE, 5000, nullptr, nullptr);
        if (!reply) return false;
        gboolean owned = FALSE;
        gio->g_variant_get(reply, "(b)", &owned);
        gio->g_variant_unref(reply);
        return owned;
    }

    void Apply(const WallpaperRequest& r) override {
        // plasmashell keeps the image of a path it already shows.
        FreshName alias(r.file);
        std::vector<FreshName> others;
        std::vector<std::pair<std::string, WallpaperStyle>> screens;
        for (std::size_t i = 1; i < r.monitors.size(); ++i)
            others.emplace_back(r.monitors[i].file);
        if (!r.monitors.empty()) {
            screens.emplace_back(FileUri(alias.Path()), r.monitors[0].style);
            for (std::size_t i = 1; i < r.monitors.size(); ++i)
                screens.emplace_back(FileUri(others[i - 1].Path()), r.monitors[i].style);
        }
        const std::string script = screens.empty() ? PlasmaWallpaperScript(FileUri(alias.Path()), r.style)
                                                   : PlasmaScreenWallpaperScript(screens);
        const GioFunctions* gio = Gio();
        GVariant* reply =
            gio->g_dbus_connection_call_sync(Bus(), kService, "/PlasmaShell", "org.kde.PlasmaShell",
                                             "evaluateScript", gio->g_variant_new("(s)", script.c_str()),
                                             nullptr, G_DBUS_CALL_FLAGS_NONE, 20000, nullptr, nullptr);
        if (!reply) Throw(Msg::RegistrySetFailed, {std::string("Image")});
        gio->g_variant_unref(reply);
        alias.DropPrevious();
        for (FreshName& other : others)
            other.DropPrevious();
    }

  private:
    GDBusConnection* Bus() const { return static_cast<GDBusConnection*>(bus_.get()); }
    std::unique_ptr<void, GObjectUnref> bus_;
};
} // namespace

std::string JavaScriptString(const std::string& text) {
    static const char hex[] = "0123456789abcdef";
    std::string out = "\"";
    for (std::size_t i = 0; i < text.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20 || c == 0x7f) {
            out += "\\u00";
            out += hex[c >> 4];
            out += hex[c & 15];
        } else if (c == 0xE2 && i + 2 < text.size() && static_cast<unsigned char>(text[i + 1]) == 0x80 &&
                   (static_cast<unsigned char>(text[i + 2]) == 0xA8 ||
                    static_cast<unsigned char>(text[i + 2]) == 0xA9)) {
            // U+2028 and U+2029 end a line inside an older engine's string literal.
            out += static_cast<unsigned char>(text[i + 2]) == 0xA8 ? "\\u2028" : "\\u2029";
            i += 2;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out + "\"";
}

std::string PlasmaWallpaperScript(const std::string& imageUri, WallpaperStyle style) {
    // FillMode is Qt's Image.fillMode: 3 Tile, 6 Pad (centred at its own size).
    const char* fill = style == WallpaperStyle::Tiled ? "3" : "6";
    return "var all = desktops();\n"
           "for (var i = 0; i < all.length; i++) {\n"
           "    var d = all[i];\n"
           "    d.wallpaperPlugin = \"org.kde.image\";\n"
           "    d.currentConfigGroup = [\"Wallpaper\", \"org.kde.image\", \"General\"];\n"
           "    d.writeConfig(\"FillMode\", " +
           std::string(fill) +
           ");\n"
           "    d.writeConfig(\"Image\", " +
           JavaScriptString(imageUri) +
           ");\n"
           "}\n";
}

std::string PlasmaScreenWallpaperScript(const std::vector<std::pair<std::string, WallpaperStyle>>& screens) {
    std::string images, fills;
    for (const auto& [uri, style] : screens) {
        images += (images.empty() ? "" : ", ") + JavaScriptString(uri);
        fills += std::string(fills.empty() ? "" : ", ") + (style == WallpaperStyle::Tiled ? "3" : "6");
    }
    // Plasma numbers the primary screen 0; a screen beyond the list (or a
    // desktop on none, -1) gets the primary's picture.
    return "var images = [" + images + "];\n" + "var fills = [" + fills + "];\n" +
           "var all = desktops();\n"
           "for (var i = 0; i < all.length; i++) {\n"
           "    var d = all[i];\n"
           "    var s = d.screen >= 0 && d.screen < images.length ? d.screen : 0;\n"
           "    d.wallpaperPlugin = \"org.kde.image\";\n"
           "    d.currentConfigGroup = [\"Wallpaper\", \"org.kde.image\", \"General\"];\n"
           "    d.writeConfig(\"FillMode\", fills[s]);\n"
           "    d.writeConfig(\"Image\", images[s]);\n"
           "}\n";
}

std::unique_ptr<WallpaperBackend> MakePlasmaBackend() {
    return std::make_unique<PlasmaBackend>();
}
