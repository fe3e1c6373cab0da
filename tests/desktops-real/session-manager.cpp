// A stand-in for the session manager on the session bus: Cinnamon's background
// daemon draws only once a session manager says the session is running.
#include <gio/gio.h>

namespace {
const char* kXml =
    "<node><interface name='org.gnome.SessionManager'>"
    "<method name='IsSessionRunning'><arg type='b' direction='out'/></method>"
    "<method name='RegisterClient'><arg type='s' direction='in'/><arg type='s' direction='in'/>"
    "<arg type='o' direction='out'/></method>"
    "<signal name='SessionRunning'/>"
    "</interface></node>";

void OnCall(GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar* method, GVariant*,
            GDBusMethodInvocation* call, gpointer) {
    if (g_strcmp0(method, "IsSessionRunning") == 0)
        g_dbus_method_invocation_return_value(call, g_variant_new("(b)", TRUE));
    else
        g_dbus_method_invocation_return_value(call,
                                              g_variant_new("(o)", "/org/gnome/SessionManager/Client1"));
}

void OnBus(GDBusConnection* bus, const gchar*, gpointer) {
    static const GDBusInterfaceVTable vtable = {OnCall, nullptr, nullptr, {}};
    GDBusNodeInfo* info = g_dbus_node_info_new_for_xml(kXml, nullptr);
    g_dbus_connection_register_object(bus, "/org/gnome/SessionManager", info->interfaces[0], &vtable, nullptr,
                                      nullptr, nullptr);
}

void OnName(GDBusConnection* bus, const gchar*, gpointer) {
    g_dbus_connection_emit_signal(bus, nullptr, "/org/gnome/SessionManager", "org.gnome.SessionManager",
                                  "SessionRunning", nullptr, nullptr);
}
} // namespace

int main() {
    g_bus_own_name(G_BUS_TYPE_SESSION, "org.gnome.SessionManager", G_BUS_NAME_OWNER_FLAGS_NONE, OnBus, OnName,
                   nullptr, nullptr, nullptr);
    g_main_loop_run(g_main_loop_new(nullptr, FALSE));
}
