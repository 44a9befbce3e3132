// GLib and IBus only: no Qt header may come before these (Qt's keywords clash with GLib's).
#include "input/inputmethod/IBusRoute.h"

#include <ibus.h>

#include <map>

namespace sumiro {
namespace {

constexpr char dbusName[] = "org.freedesktop.DBus";
constexpr char dbusPath[] = "/org/freedesktop/DBus";
// The daemon's FocusIn comes within a few milliseconds of taking the name.
constexpr guint handshakeTimeoutMs = 500;
constexpr int callTimeoutMs = 1000;
constexpr guint32 allowReplacement = 1, replaceExisting = 2, doNotQueue = 4;
constexpr guint32 primaryOwner = 1;
// IBus's own context, the first it makes: it holds the focus whenever no client's field does.
constexpr char internalContext[] = "/org/freedesktop/IBus/InputContext_1";

// The clients' calls this connection is shown: their focus, and the names they give IBus.
constexpr const char* watchedCalls[] = {
    "type='method_call',interface='" IBUS_INTERFACE_INPUT_CONTEXT "',member='FocusIn'",
    "type='method_call',interface='" IBUS_INTERFACE_INPUT_CONTEXT "',member='FocusOut'",
    "type='method_call',interface='" IBUS_INTERFACE_INPUT_CONTEXT "',member='Destroy'",
    "type='method_call',interface='" IBUS_INTERFACE_IBUS "',member='CreateInputContext'",
};

// Only what the handshake needs. Everything else the daemon calls (FocusOut, cursor places, the
// Destroy that IBus proxies send a replaced owner's object) is answered as unknown, which the
// daemon ignores, and the object stays registered for the next commit.
constexpr char panelXml[] = R"(<node>
  <interface name="org.freedesktop.IBus.Panel">
    <method name="FocusIn"><arg direction="in" type="o" name="context"/></method>
    <signal name="CommitText"><arg type="v" name="text"/></signal>
  </interface>
</node>)";

struct VariantDeleter {
    void operator()(GVariant* value) const { g_variant_unref(value); }
};
using Variant = std::unique_ptr<GVariant, VariantDeleter>;

// A client's call, seen by the connection's worker thread and handled on the main context.
struct Seen {
    std::string member, path, sender, clientName;
};

std::string text(const char* maybe) { return maybe ? maybe : ""; }

}  // namespace

struct IBusRoute::Impl : std::enable_shared_from_this<Impl> {
    using Weak = std::weak_ptr<Impl>;

    explicit Impl(IBusRoute& route) : route(route) {}
    ~Impl() {
        closing = true;
        g_cancellable_cancel(cancellable);
        disconnect();
        g_object_unref(cancellable);
    }

    IBusRoute& route;
    std::string address;
    GCancellable* cancellable = g_cancellable_new();
    GDBusConnection* connection = nullptr;
    bool connecting = false;
    std::size_t rulesPending = 0;
    bool closing = false;  // nobody is told of focus changes any more
    guint objectId = 0, filterId = 0, ownersId = 0;
    bool seenFocus = false;
    std::string focusedPath, focusedSender, focusedProgram;
    std::map<std::string, std::string> clientNames;  // sender → client name of its last context
    struct Commit {
        std::string text, path;
        Done done;
        unsigned serial = 0;
        guint timeout = 0;
    };
    std::optional<Commit> pending;
    unsigned commits = 0;

    // Heap boxes carry a weak reference through GLib's C callbacks.
    Weak* box() { return new Weak(weak_from_this()); }
    static void unbox(gpointer data) { delete static_cast<Weak*>(data); }
    static std::shared_ptr<Impl> open(gpointer data) { return static_cast<Weak*>(data)->lock(); }

    template <typename OnReply>
    void call(const char* destination, const char* path, const char* interface, const char* method,
              GVariant* arguments, OnReply onReply) {
        struct Box {
            Weak self;
            OnReply onReply;
        };
        g_dbus_connection_call(
            connection, destination, path, interface, method, arguments, nullptr,
            G_DBUS_CALL_FLAGS_NO_AUTO_START, callTimeoutMs, cancellable,
            +[](GObject* source, GAsyncResult* result, gpointer data) {
                const std::unique_ptr<Box> box(static_cast<Box*>(data));
                GError* error = nullptr;
                const Variant reply(
                    g_dbus_connection_call_finish(G_DBUS_CONNECTION(source), result, &error));
                if (error) g_error_free(error);
                if (const auto self = box->self.lock()) box->onReply(*self, reply.get());
            },
            new Box{weak_from_this(), std::move(onReply)});
    }

    bool connected() const { return connection && !g_dbus_connection_is_closed(connection); }

    void connect() {
        if (connected() || connecting) return;
        disconnect();
        const char* where = address.empty() ? ibus_get_address() : address.c_str();
        if (!where) return;
        connecting = true;
        g_dbus_connection_new_for_address(
            where,
            static_cast<GDBusConnectionFlags>(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                              G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
            nullptr, cancellable,
            +[](GObject*, GAsyncResult* result, gpointer data) {
                GDBusConnection* made = g_dbus_connection_new_for_address_finish(result, nullptr);
                const auto self = open(data);
                unbox(data);
                if (!self) {
                    if (made) g_object_unref(made);
                    return;
                }
                self->connecting = false;
                if (made) self->setUp(made);
            },
            box());
    }

    void setUp(GDBusConnection* made) {
        connection = made;
        static const GDBusInterfaceVTable vtable = {handle, nullptr, nullptr, {}};
        GDBusNodeInfo* node = g_dbus_node_info_new_for_xml(panelXml, nullptr);
        objectId =
            g_dbus_connection_register_object(connection, IBUS_PATH_PANEL_EXTENSION_EMOJI,
                                              node->interfaces[0], &vtable, box(), unbox, nullptr);
        g_dbus_node_info_unref(node);
        filterId = g_dbus_connection_add_filter(connection, filter, box(), unbox);
        ownersId = g_dbus_connection_signal_subscribe(
            connection, nullptr, dbusName, "NameOwnerChanged", dbusPath, nullptr,
            G_DBUS_SIGNAL_FLAGS_NONE, ownerChanged, box(), unbox);
        // The route answers once IBus shows it the clients' calls.
        rulesPending = std::size(watchedCalls);
        for (const char* rule : watchedCalls) {
            call(dbusName, dbusPath, dbusName, "AddMatch", g_variant_new("(s)", rule),
                 [](Impl& self, GVariant*) { --self.rulesPending; });
        }
        // A field focused before this connection came is known only as the daemon's current
        // context, which is its own when no client's field has the focus.
        call(IBUS_SERVICE_IBUS, IBUS_PATH_IBUS, "org.freedesktop.DBus.Properties", "Get",
             g_variant_new("(ss)", IBUS_INTERFACE_IBUS, "CurrentInputContext"),
             [](Impl& self, GVariant* reply) {
                 if (!reply || self.seenFocus) return;
                 GVariant* value = nullptr;
                 g_variant_get(reply, "(v)", &value);
                 const Variant path(value);
                 if (!g_variant_is_of_type(path.get(), G_VARIANT_TYPE_OBJECT_PATH)) return;
                 const std::string current = g_variant_get_string(path.get(), nullptr);
                 if (current != internalContext) self.focus(current, {}, {});
             });
    }

    void disconnect() {
        if (!connection) return;
        if (objectId) g_dbus_connection_unregister_object(connection, objectId);
        if (filterId) g_dbus_connection_remove_filter(connection, filterId);
        if (ownersId) g_dbus_connection_signal_unsubscribe(connection, ownersId);
        objectId = filterId = ownersId = 0;
        g_object_unref(connection);
        connection = nullptr;
        seenFocus = false;
        clientNames.clear();
        if (!focusedPath.empty()) unfocus();
    }

    void focus(const std::string& path, const std::string& sender, const std::string& program) {
        focusedPath = path;
        focusedSender = sender;
        focusedProgram = program;
        if (!closing) route.focusChanged(true, program);
    }

    void unfocus() {
        focusedPath.clear();
        focusedSender.clear();
        focusedProgram.clear();
        if (!closing) route.focusChanged(false, {});
    }

    void seen(const Seen& call) {
        if (call.member == "CreateInputContext") {
            clientNames[call.sender] = call.clientName;
        } else if (call.member == "FocusIn") {
            seenFocus = true;
            const auto name = clientNames.find(call.sender);
            focus(call.path, call.sender,
                  name == clientNames.end() ? std::string() : programOf(name->second));
        } else if (call.path == focusedPath) {  // FocusOut, Destroy
            unfocus();
        }
    }

    // Runs on the connection's worker thread: calls addressed to IBus are the clients', shown to
    // this connection by its match rules; they are handed to the main context and go no further
    // (answering them would answer the client).
    static GDBusMessage* filter(GDBusConnection*, GDBusMessage* message, gboolean incoming,
                                gpointer data) {
        if (!incoming ||
            g_dbus_message_get_message_type(message) != G_DBUS_MESSAGE_TYPE_METHOD_CALL ||
            g_strcmp0(g_dbus_message_get_destination(message), IBUS_SERVICE_IBUS) != 0) {
            return message;
        }
        auto* call = new Seen{text(g_dbus_message_get_member(message)),
                              text(g_dbus_message_get_path(message)),
                              text(g_dbus_message_get_sender(message)),
                              {}};
        if (call->member == "CreateInputContext") {
            GVariant* body = g_dbus_message_get_body(message);
            if (body && g_variant_is_of_type(body, G_VARIANT_TYPE("(s)"))) {
                const gchar* name = nullptr;
                g_variant_get(body, "(&s)", &name);
                call->clientName = name;
            }
        }
        struct Box {
            Weak self;
            std::unique_ptr<Seen> call;
        };
        g_main_context_invoke_full(
            nullptr, G_PRIORITY_DEFAULT,
            +[](gpointer boxed) {
                const auto* box = static_cast<Box*>(boxed);
                if (const auto self = box->self.lock()) self->seen(*box->call);
                return G_SOURCE_REMOVE;
            },
            new Box{*static_cast<Weak*>(data), std::unique_ptr<Seen>(call)},
            +[](gpointer boxed) { delete static_cast<Box*>(boxed); });
        g_object_unref(message);
        return nullptr;
    }

    static void ownerChanged(GDBusConnection*, const gchar*, const gchar*, const gchar*,
                             const gchar*, GVariant* arguments, gpointer data) {
        const auto self = open(data);
        if (!self) return;
        const gchar *name = nullptr, *before = nullptr, *after = nullptr;
        g_variant_get(arguments, "(&s&s&s)", &name, &before, &after);
        if (after && *after) return;
        // A client that left takes its contexts with it.
        self->clientNames.erase(name);
        if (self->focusedSender == name) self->unfocus();
    }

    static void handle(GDBusConnection*, const gchar*, const gchar*, const gchar*,
                       const gchar* method, GVariant* arguments, GDBusMethodInvocation* invocation,
                       gpointer data) {
        g_dbus_method_invocation_return_value(invocation, nullptr);
        const auto self = open(data);
        if (!self || g_strcmp0(method, "FocusIn") != 0 || !self->pending) return;
        const gchar* path = nullptr;
        g_variant_get(arguments, "(&o)", &path);
        self->handshake(path);
    }

    void commit(std::string text, Done done) {
        pending = Commit{std::move(text), focusedPath, std::move(done), ++commits};
        call(dbusName, dbusPath, dbusName, "RequestName",
             g_variant_new("(su)", IBUS_SERVICE_PANEL_EXTENSION_EMOJI,
                           allowReplacement | replaceExisting | doNotQueue),
             [serial = commits](Impl& self, GVariant* reply) {
                 // The daemon's FocusIn may have come first and settled the commit already.
                 if (!self.pending || self.pending->serial != serial) return;
                 guint32 result = 0;
                 if (reply) g_variant_get(reply, "(u)", &result);
                 if (result != primaryOwner) return self.finish(Result::Refused);
                 self.pending->timeout = g_timeout_add_full(
                     G_PRIORITY_DEFAULT, handshakeTimeoutMs,
                     +[](gpointer data) {
                         if (const auto self = open(data); self && self->pending) {
                             self->pending->timeout = 0;
                             self->release();
                             self->finish(Result::Refused);
                         }
                         return G_SOURCE_REMOVE;
                     },
                     self.box(), unbox);
             });
    }

    // The daemon names the context it holds focused: the commit goes there only when that is
    // the one the clients focused.
    void handshake(const std::string& path) {
        Result result = Result::NoFocus;
        if (path == pending->path && path != internalContext) {
            IBusText* text = ibus_text_new_from_string(pending->text.c_str());
            g_object_ref_sink(text);
            GVariant* serialized = ibus_serializable_serialize(IBUS_SERIALIZABLE(text));
            g_object_unref(text);
            const bool sent = g_dbus_connection_emit_signal(
                connection, nullptr, IBUS_PATH_PANEL_EXTENSION_EMOJI, IBUS_INTERFACE_PANEL,
                "CommitText", g_variant_new("(v)", serialized), nullptr);
            result = sent ? Result::Typed : Result::Refused;
        }
        // The commit leaves before the release: both travel in order on the one connection.
        release();
        finish(result);
    }

    void release() {
        call(dbusName, dbusPath, dbusName, "ReleaseName",
             g_variant_new("(s)", IBUS_SERVICE_PANEL_EXTENSION_EMOJI), [](Impl&, GVariant*) {});
    }

    void finish(Result result) {
        if (pending->timeout) g_source_remove(pending->timeout);
        Done done = std::move(pending->done);
        pending.reset();
        done(result);
    }
};

IBusRoute::IBusRoute(std::string address) : impl_(std::make_shared<Impl>(*this)) {
    impl_->address = std::move(address);
    impl_->connect();
}

IBusRoute::~IBusRoute() = default;

bool IBusRoute::answers() {
    // The connection closes as soon as the daemon goes; a new daemon is looked for then.
    impl_->connect();
    return impl_->connected() && impl_->rulesPending == 0;
}

std::optional<std::string> IBusRoute::focusedProgram() {
    if (!impl_->connected() || impl_->focusedPath.empty()) return std::nullopt;
    return impl_->focusedProgram;
}

void IBusRoute::commit(std::u32string_view text, Done done) {
    if (!impl_->connected() || impl_->pending) return done(Result::Refused);
    if (impl_->focusedPath.empty()) return done(Result::NoFocus);
    gchar* utf8 = g_ucs4_to_utf8(reinterpret_cast<const gunichar*>(text.data()),
                                 static_cast<glong>(text.size()), nullptr, nullptr, nullptr);
    if (!utf8) return done(Result::Refused);
    std::string string(utf8);
    g_free(utf8);
    impl_->commit(std::move(string), std::move(done));
}

void IBusRoute::pressKey(Key, Done done) { done(Result::Refused); }

std::string IBusRoute::programOf(const std::string& clientName) {
    // GTK's module gives "gtk3-im:" and the program; other clients a fixed name of their own.
    const auto colon = clientName.find(':');
    if (colon == std::string::npos) return {};
    return clientName.substr(colon + 1);
}

}  // namespace sumiro
