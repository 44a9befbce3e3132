// GLib and IBus only: no Qt header may come before these (Qt's keywords clash with GLib's).
#include "input/inputmethod/IBusRoute.h"

#include <ibus.h>

#include <chrono>

namespace sumiro {
namespace {

constexpr char dbusName[] = "org.freedesktop.DBus";
constexpr char dbusPath[] = "/org/freedesktop/DBus";
// The daemon's FocusIn comes within a few milliseconds of taking the name.
constexpr auto handshakeTimeout = std::chrono::milliseconds(500);
constexpr int callTimeoutMs = 1000;
constexpr guint32 allowReplacement = 1, replaceExisting = 2, doNotQueue = 4;
constexpr guint32 primaryOwner = 1;

// Only what the handshake needs. Everything else the daemon calls (FocusOut, cursor places, the
// Destroy that IBus proxies send a replaced owner's object) is answered as unknown, which the
// daemon ignores, and the object stays registered for the next commit.
constexpr char panelXml[] = R"(<node>
  <interface name="org.freedesktop.IBus.Panel">
    <method name="FocusIn"><arg direction="in" type="o" name="context"/></method>
    <signal name="CommitText"><arg type="v" name="text"/></signal>
  </interface>
</node>)";

template <typename T>
struct GDeleter {
    void operator()(T* object) const { g_object_unref(object); }
};
struct VariantDeleter {
    void operator()(GVariant* value) const { g_variant_unref(value); }
};
using Variant = std::unique_ptr<GVariant, VariantDeleter>;

}  // namespace

struct IBusRoute::Impl {
    std::string address;
    // The connection's objects and signals are served on this context alone, so waiting for the
    // handshake runs nothing of the application's own.
    GMainContext* context = g_main_context_new();
    std::unique_ptr<GDBusConnection, GDeleter<GDBusConnection>> connection;
    std::string focusedPath;

    ~Impl() {
        connection.reset();
        g_main_context_unref(context);
    }

    static void handle(GDBusConnection*, const gchar*, const gchar*, const gchar*,
                       const gchar* method, GVariant* arguments, GDBusMethodInvocation* invocation,
                       gpointer self) {
        if (g_strcmp0(method, "FocusIn") == 0) {
            const gchar* path = nullptr;
            g_variant_get(arguments, "(&o)", &path);
            static_cast<Impl*>(self)->focusedPath = path;
        }
        g_dbus_method_invocation_return_value(invocation, nullptr);
    }

    bool connect() {
        if (connection && !g_dbus_connection_is_closed(connection.get())) return true;
        connection.reset();
        const char* where = address.empty() ? ibus_get_address() : address.c_str();
        if (!where) return false;
        g_main_context_push_thread_default(context);
        connection.reset(g_dbus_connection_new_for_address_sync(
            where,
            static_cast<GDBusConnectionFlags>(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                              G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
            nullptr, nullptr, nullptr));
        if (connection) {
            static const GDBusInterfaceVTable vtable = {handle, nullptr, nullptr, {}};
            GDBusNodeInfo* node = g_dbus_node_info_new_for_xml(panelXml, nullptr);
            g_dbus_connection_register_object(connection.get(), IBUS_PATH_PANEL_EXTENSION_EMOJI,
                                              node->interfaces[0], &vtable, this, nullptr, nullptr);
            g_dbus_node_info_unref(node);
        }
        g_main_context_pop_thread_default(context);
        return connection != nullptr;
    }

    Variant call(const char* destination, const char* path, const char* interface,
                 const char* method, GVariant* arguments) {
        return Variant(g_dbus_connection_call_sync(
            connection.get(), destination, path, interface, method, arguments, nullptr,
            G_DBUS_CALL_FLAGS_NO_AUTO_START, callTimeoutMs, nullptr, nullptr));
    }

    /// The focused input context's object path, empty when none has the focus.
    std::string currentContext() {
        const Variant reply =
            call(IBUS_SERVICE_IBUS, IBUS_PATH_IBUS, "org.freedesktop.DBus.Properties", "Get",
                 g_variant_new("(ss)", IBUS_INTERFACE_IBUS, "CurrentInputContext"));
        if (!reply) return {};
        GVariant* value = nullptr;
        g_variant_get(reply.get(), "(v)", &value);
        const Variant path(value);
        if (!g_variant_is_of_type(path.get(), G_VARIANT_TYPE_OBJECT_PATH)) return {};
        return g_variant_get_string(path.get(), nullptr);
    }

    bool ownName() {
        const Variant reply = call(dbusName, dbusPath, dbusName, "RequestName",
                                   g_variant_new("(su)", IBUS_SERVICE_PANEL_EXTENSION_EMOJI,
                                                 allowReplacement | replaceExisting | doNotQueue));
        guint32 result = 0;
        if (reply) g_variant_get(reply.get(), "(u)", &result);
        return result == primaryOwner;
    }

    void releaseName() {
        call(dbusName, dbusPath, dbusName, "ReleaseName",
             g_variant_new("(s)", IBUS_SERVICE_PANEL_EXTENSION_EMOJI));
    }

    /// Serves the connection until the daemon has said FocusIn for path, or the time is up.
    bool awaitFocus(const std::string& path) {
        const auto deadline = std::chrono::steady_clock::now() + handshakeTimeout;
        while (focusedPath != path) {
            if (std::chrono::steady_clock::now() > deadline) return false;
            // Wakes at least every few milliseconds to look at the clock.
            GSource* tick = g_timeout_source_new(5);
            g_source_set_callback(
                tick, +[](gpointer) { return G_SOURCE_REMOVE; }, nullptr, nullptr);
            g_source_attach(tick, context);
            g_main_context_iteration(context, TRUE);
            g_source_destroy(tick);
            g_source_unref(tick);
        }
        return true;
    }
};

IBusRoute::IBusRoute(std::string address) : impl_(std::make_unique<Impl>()) {
    impl_->address = std::move(address);
}

IBusRoute::~IBusRoute() = default;

bool IBusRoute::answers() {
    // The connection closes as soon as the daemon goes: an open one is an answering daemon.
    return impl_->connect();
}

std::optional<std::string> IBusRoute::focusedProgram() {
    if (!impl_->connect() || impl_->currentContext().empty()) return std::nullopt;
    return std::string();
}

InputMethodRoute::Result IBusRoute::commit(std::u32string_view text) {
    if (!impl_->connect()) return Result::Failed;
    const std::string context = impl_->currentContext();
    if (context.empty()) return Result::NoFocus;
    gchar* utf8 = g_ucs4_to_utf8(reinterpret_cast<const gunichar*>(text.data()),
                                 static_cast<glong>(text.size()), nullptr, nullptr, nullptr);
    if (!utf8) return Result::Failed;
    impl_->focusedPath.clear();
    if (!impl_->ownName()) {
        g_free(utf8);
        return Result::Failed;
    }
    Result result = Result::NoFocus;
    if (impl_->awaitFocus(context)) {
        IBusText* ibusText = ibus_text_new_from_string(utf8);
        g_object_ref_sink(ibusText);
        GVariant* serialized = ibus_serializable_serialize(IBUS_SERIALIZABLE(ibusText));
        g_object_unref(ibusText);
        const bool sent = g_dbus_connection_emit_signal(
            impl_->connection.get(), nullptr, IBUS_PATH_PANEL_EXTENSION_EMOJI, IBUS_INTERFACE_PANEL,
            "CommitText", g_variant_new("(v)", serialized), nullptr);
        result = sent ? Result::Typed : Result::Failed;
    }
    g_free(utf8);
    // The commit leaves before the release: both travel in order on the one connection.
    impl_->releaseName();
    return result;
}

InputMethodRoute::Result IBusRoute::pressKey(Key) { return Result::Failed; }

}  // namespace sumiro
