#pragma once
// GIO, opened at its first use: only the desktops that keep their settings in
// GSettings or listen on D-Bus need it, and loading it and the GLib under it
// would slow every other "/run".
#include "platform/LibraryFunctions.h"

#define G_SETTINGS_ENABLE_BACKEND
#include <gio/gio.h>
#include <gio/gsettingsbackend.h>

#define GIO_FUNCTIONS(X)                                                                                     \
    X(g_bus_get_sync)                                                                                        \
    X(g_dbus_connection_call_sync)                                                                           \
    X(g_object_unref)                                                                                        \
    X(g_settings_backend_get_default)                                                                        \
    X(g_settings_is_writable)                                                                                \
    X(g_settings_new_full)                                                                                   \
    X(g_settings_schema_has_key)                                                                             \
    X(g_settings_schema_source_get_default)                                                                  \
    X(g_settings_schema_source_lookup)                                                                       \
    X(g_settings_schema_unref)                                                                               \
    X(g_settings_set_string)                                                                                 \
    X(g_settings_sync)                                                                                       \
    X(g_type_name)                                                                                           \
    X(g_variant_get)                                                                                         \
    X(g_variant_new)                                                                                         \
    X(g_variant_unref)

struct GioFunctions {
    ZENKS_LIBRARY_FUNCTIONS(GIO_FUNCTIONS)
};

// The table; null when the system has no GIO (then no such desktop runs).
const GioFunctions* Gio();

// For the smart pointers of GObjects: only made once Gio() was there.
struct GObjectUnref {
    void operator()(void* p) const { Gio()->g_object_unref(p); }
};
