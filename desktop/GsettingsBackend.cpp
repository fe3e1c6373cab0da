// GNOME, Unity, Budgie and Pantheon (org.gnome.desktop.background), Cinnamon
// and MATE (their own schemas), written through GIO's GSettings.
#include "compose/BmpWriter.h"
#include "compose/Graphics.h"
#include "config/Messages.h"
#include "desktop/Gio.h"
#include "desktop/MonitorLayout.h"
#include "desktop/WallpaperBackend.h"

#include <cstring>

#include <optional>

namespace {
struct SchemaUnref {
    void operator()(GSettingsSchema* s) const { Gio()->g_settings_schema_unref(s); }
};

struct Flavour {
    const char* schema;
    const char* pictureKey;
    bool uri;       // the key holds a file URI, not a path
    bool freshName; // the desktop caches the picture by its path
};

Flavour FlavourOf(GsettingsDesktop d) {
    switch (d) {
    // GNOME Shell keeps the image it loaded for a URI, even one shown long
    // ago, and watches only the file it shows: a name never used before.
    case GsettingsDesktop::Gnome:
        return {"org.gnome.desktop.background", "picture-uri", true, true};
    // Cinnamon and MATE draw through their fork of gnome-bg, which watches the
    // file itself and reloads when it is rewritten: the plain path serves.
    case GsettingsDesktop::Cinnamon:
        return {"org.cinnamon.desktop.background", "picture-uri", true, false};
    case GsettingsDesktop::Mate:
        return {"org.mate.background", "picture-filename", false, false};
    }
    return {"org.gnome.desktop.background", "picture-uri", true, true};
}

class GsettingsBackend final : public WallpaperBackend {
  public:
    explicit GsettingsBackend(GsettingsDesktop d) : flavour_(FlavourOf(d)) {}

    const char* Name() const override { return flavour_.schema; }

    bool Usable() override {
        const GioFunctions* gio = Gio();
        if (!gio) return false;
        GSettingsSchemaSource* source = gio->g_settings_schema_source_get_default();
        if (!source) return false;
        schema_.reset(gio->g_settings_schema_source_lookup(source, flavour_.schema, TRUE));
        return schema_ && gio->g_settings_schema_has_key(schema_.get(), "picture-options") &&
               gio->g_settings_schema_has_key(schema_.get(), flavour_.pictureKey);
    }

    void Apply(const WallpaperRequest& r) override {
        // Without dconf GIO keeps the values in memory and drops them at
        // exit: no desktop would ever see them.
        const GioFunctions* gio = Gio();
        {
            std::unique_ptr<GSettingsBackend, GObjectUnref> backend(gio->g_settings_backend_get_default());
            if (!backend ||
                std::strcmp(gio->g_type_name(G_OBJECT_TYPE(backend.get())), "GMemorySettingsBackend") == 0)
                Throw(Msg::RegistrySetFailed, {std::string(flavour_.pictureKey)});
        }
        std::unique_ptr<GSettings, GObjectUnref> settings(
            gio->g_settings_new_full(schema_.get(), nullptr, nullptr));
        // These desktops take one picture for all monitors: the monitors'
        // own pictures become one bitmap of the whole desktop, spanned.
        std::string file = r.file;
        if (!r.monitors.empty()) {
            TBitmap spanned;
            ComposeDesktop(spanned, r.monitors);
            file = SpannedFile(r.file);
            SaveBitmapToFile(spanned, file);
        }
        const char* options = !r.monitors.empty()                ? "spanned"
                              : r.style == WallpaperStyle::Tiled ? "wallpaper"
                                                                 : "centered";
        Set(settings.get(), "picture-options", options);

        std::optional<FreshName> alias;
        std::string path = file;
        if (flavour_.freshName) {
            alias.emplace(file);
            path = alias->Path();
        }
        const std::string value = flavour_.uri ? FileUri(path) : path;
        Set(settings.get(), flavour_.pictureKey, value);
        // GNOME 42 and later show picture-uri-dark in the dark style.
        if (flavour_.uri && gio->g_settings_schema_has_key(schema_.get(), "picture-uri-dark"))
            Set(settings.get(), "picture-uri-dark", value);
        gio->g_settings_sync();
        if (alias) alias->DropPrevious();
    }

  private:
    static void Set(GSettings* s, const char* key, const std::string& value) {
        // A key locked down by the administrator refuses the write.
        if (!Gio()->g_settings_is_writable(s, key) || !Gio()->g_settings_set_string(s, key, value.c_str()))
            Throw(Msg::RegistrySetFailed, {std::string(key)});
    }

    Flavour flavour_;
    std::unique_ptr<GSettingsSchema, SchemaUnref> schema_;
};
} // namespace

std::unique_ptr<WallpaperBackend> MakeGsettingsBackend(GsettingsDesktop desktop) {
    return std::make_unique<GsettingsBackend>(desktop);
}
