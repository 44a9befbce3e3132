#include "input/wayland/Overlays.h"

#include <qpa/qplatformnativeinterface.h>
#include <wayland-client.h>

#include <QGuiApplication>
#include <QMouseEvent>
#include <QPointer>
#include <QScreen>
#include <QWindow>
#include <algorithm>
#include <map>
#include <memory>
#include <optional>
#include <string_view>

// The protocol names a parameter "namespace".
#define namespace layer_namespace
#include "wlr-layer-shell-unstable-v1-client-protocol.h"
#undef namespace
#include "xdg-shell-client-protocol.h"

namespace sumiro::wayland {

namespace {

constexpr char kNamespace[] = "sumiro";
// Version 3 has the keyboard interactivity this needs; 4 brings nothing more for it.
constexpr std::uint32_t kLayerShellVersion = 3;
constexpr std::uint32_t kXdgShellVersion = 2;

// The globals a compositor offers, as seen on a connection of our own or on Qt's.
struct Globals {
    std::uint32_t layerShell = 0;
    std::uint32_t layerShellVersion = 0;
    std::uint32_t xdgShell = 0;
    std::uint32_t xdgShellVersion = 0;
    bool kwin = false;
};

void noteGlobal(void* data, wl_registry*, std::uint32_t name, const char* interface,
                std::uint32_t version) {
    auto* globals = static_cast<Globals*>(data);
    const std::string_view offered(interface);
    if (offered == zwlr_layer_shell_v1_interface.name) {
        globals->layerShell = name;
        globals->layerShellVersion = version;
    } else if (offered == xdg_wm_base_interface.name) {
        globals->xdgShell = name;
        globals->xdgShellVersion = version;
    }
    // wlroots offers some of KDE's protocols too (server-side decorations), not these.
    if (offered.starts_with("org_kde_plasma_") || offered.starts_with("kde_")) globals->kwin = true;
}

void forgetGlobal(void*, wl_registry*, std::uint32_t) {}

constexpr wl_registry_listener kRegistryListener{noteGlobal, forgetGlobal};

bool usable(const Globals& globals) {
    return globals.layerShell && globals.layerShellVersion >= kLayerShellVersion &&
           globals.xdgShell && globals.xdgShellVersion >= kXdgShellVersion;
}

// Reads the globals on a private queue of `display`, so that no event of Qt's is dispatched here.
Globals readGlobals(wl_display* display, wl_event_queue* queue, wl_registry** keep = nullptr) {
    Globals globals;
    auto* wrapper = static_cast<wl_display*>(wl_proxy_create_wrapper(display));
    wl_proxy_set_queue(reinterpret_cast<wl_proxy*>(wrapper), queue);
    wl_registry* registry = wl_display_get_registry(wrapper);
    wl_proxy_wrapper_destroy(wrapper);
    wl_registry_add_listener(registry, &kRegistryListener, &globals);
    wl_display_roundtrip_queue(display, queue);
    if (keep) {
        *keep = registry;
    } else {
        wl_registry_destroy(registry);
    }
    return globals;
}

QPlatformNativeInterface* native() { return QGuiApplication::platformNativeInterface(); }

wl_surface* surfaceOf(QWindow* window) {
    return static_cast<wl_surface*>(native()->nativeResourceForWindow("surface", window));
}

// Menus, lists and tooltips, and any window that belongs to another (a list that is no pop-up).
bool isPopup(const QWindow* window) {
    return window->type() == Qt::Popup || window->type() == Qt::ToolTip ||
           window->transientParent() != nullptr;
}

/// One window shown as an overlay: its current surface and that surface's role, a layer of its
/// own for a window, a pop-up of the overlay it belongs to for a menu, list or tooltip.
struct Overlay {
    QPointer<QWindow> window;
    wl_surface* surface = nullptr;
    zwlr_layer_surface_v1* layer = nullptr;
    xdg_surface* shellSurface = nullptr;
    xdg_popup* popup = nullptr;
    bool keyboard = false;
    // Where a drag that moves the window started, on the window.
    std::optional<QPointF> dragFrom;

    ~Overlay() { release(); }
    bool attached() const { return layer || popup; }
    // Role objects go before the surface, pop-ups before their shell surface.
    void release() {
        if (popup) xdg_popup_destroy(popup);
        if (shellSurface) xdg_surface_destroy(shellSurface);
        if (layer) zwlr_layer_surface_v1_destroy(layer);
        popup = nullptr;
        shellSurface = nullptr;
        layer = nullptr;
        surface = nullptr;
    }
};

// Hidden as a closed window is, when the compositor takes the surface away (its output went, a
// pop-up dismissed).
void hideLater(void* data) {
    if (QWindow* window = static_cast<Overlay*>(data)->window) {
        QMetaObject::invokeMethod(window, &QWindow::hide, Qt::QueuedConnection);
    }
}

// The size is the one asked for: only the acknowledgement matters.
void layerConfigured(void*, zwlr_layer_surface_v1* layer, std::uint32_t serial, std::uint32_t,
                     std::uint32_t) {
    zwlr_layer_surface_v1_ack_configure(layer, serial);
}
void layerClosed(void* data, zwlr_layer_surface_v1*) { hideLater(data); }
constexpr zwlr_layer_surface_v1_listener kLayerListener{layerConfigured, layerClosed};

void shellSurfaceConfigured(void*, xdg_surface* surface, std::uint32_t serial) {
    xdg_surface_ack_configure(surface, serial);
}
constexpr xdg_surface_listener kShellSurfaceListener{shellSurfaceConfigured};

void popupConfigured(void*, xdg_popup*, std::int32_t, std::int32_t, std::int32_t, std::int32_t) {}
void popupDone(void* data, xdg_popup*) { hideLater(data); }
void popupRepositioned(void*, xdg_popup*, std::uint32_t) {}
constexpr xdg_popup_listener kPopupListener{popupConfigured, popupDone, popupRepositioned};

void pinged(void*, xdg_wm_base* shell, std::uint32_t serial) { xdg_wm_base_pong(shell, serial); }
constexpr xdg_wm_base_listener kShellListener{pinged};

class Overlays final : public QObject {
public:
    Overlays(wl_display* display, wl_event_queue* queue, wl_registry* registry,
             const Globals& globals)
        : display_(display), queue_(queue), registry_(registry) {
        layerShell_ = static_cast<zwlr_layer_shell_v1*>(wl_registry_bind(
            registry, globals.layerShell, &zwlr_layer_shell_v1_interface, kLayerShellVersion));
        xdgShell_ = static_cast<xdg_wm_base*>(
            wl_registry_bind(registry, globals.xdgShell, &xdg_wm_base_interface, kXdgShellVersion));
        xdg_wm_base_add_listener(xdgShell_, &kShellListener, nullptr);
        // Pings come at any time: Qt's dispatch answers them.
        wl_proxy_set_queue(reinterpret_cast<wl_proxy*>(xdgShell_), nullptr);
    }

    ~Overlays() override {
        overlays_.clear();
        xdg_wm_base_destroy(xdgShell_);
        zwlr_layer_shell_v1_destroy(layerShell_);
        wl_registry_destroy(registry_);
        wl_event_queue_destroy(queue_);
    }

    void setKeyboard(QWindow* window, bool take) {
        const auto found = overlays_.find(window);
        if (found == overlays_.end()) return;
        Overlay& overlay = *found->second;
        overlay.keyboard = take;
        if (!overlay.layer) return;
        zwlr_layer_surface_v1_set_keyboard_interactivity(
            overlay.layer, take ? ZWLR_LAYER_SURFACE_V1_KEYBOARD_INTERACTIVITY_EXCLUSIVE
                                : ZWLR_LAYER_SURFACE_V1_KEYBOARD_INTERACTIVITY_NONE);
        wl_surface_commit(overlay.surface);
        wl_display_flush(display_);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (!watched->isWindowType()) return false;
        auto* window = static_cast<QWindow*>(watched);
        if (!window->isTopLevel()) return false;
        switch (event->type()) {
            case QEvent::Show:
                // Before Qt gives the new surface a shell role of its own: it gives it none.
                window->setFlag(Qt::BypassWindowManagerHint, true);
                overlayOf(window);
                break;
            case QEvent::Expose:
                // Before the first frame is drawn into the new surface.
                if (window->isVisible()) attach(window);
                break;
            case QEvent::Move:
            case QEvent::Resize:
                place(window);
                break;
            case QEvent::MouseButtonPress:
            case QEvent::MouseMove:
            case QEvent::MouseButtonRelease:
                return drag(window, static_cast<QMouseEvent*>(event));
            default:
                break;
        }
        return false;
    }

private:
    Overlay& overlayOf(QWindow* window) {
        auto& slot = overlays_[window];
        if (!slot) {
            slot = std::make_unique<Overlay>();
            slot->window = window;
            connect(window, &QObject::destroyed, this, [this, window] {
                overlays_.erase(window);
                shown_.erase(std::remove(shown_.begin(), shown_.end(), window), shown_.end());
            });
            // Announced before Qt destroys the surface: the roles go first.
            connect(window, &QWindow::visibleChanged, this, [this, window](bool visible) {
                if (const auto found = overlays_.find(window);
                    !visible && found != overlays_.end()) {
                    found->second->release();
                }
            });
        }
        return *slot;
    }

    // The overlay a pop-up belongs to: its transient parent's, else the window shown last.
    Overlay* parentOf(QWindow* window) {
        for (QWindow* parent = window->transientParent(); parent;
             parent = parent->transientParent()) {
            const auto found = overlays_.find(parent);
            if (found != overlays_.end() && found->second->attached()) return found->second.get();
        }
        for (auto it = shown_.rbegin(); it != shown_.rend(); ++it) {
            const auto found = overlays_.find(*it);
            if (*it != window && found != overlays_.end() && found->second->attached()) {
                return found->second.get();
            }
        }
        return nullptr;
    }

    void attach(QWindow* window) {
        wl_surface* surface = surfaceOf(window);
        if (!surface) return;
        Overlay& overlay = overlayOf(window);
        if (overlay.surface == surface && overlay.attached()) return;
        overlay.release();
        overlay.surface = surface;
        Overlay* parent = isPopup(window) ? parentOf(window) : nullptr;
        if (parent) {
            attachPopup(overlay, *parent);
        } else {
            attachLayer(overlay);
        }
        // The role's first commit carries no buffer; the compositor answers with a configure
        // that must be acknowledged before Qt draws the first frame.
        wl_surface_commit(surface);
        wl_display_roundtrip_queue(display_, queue_);
        // Later configures are answered in Qt's own dispatch.
        for (void* proxy : {static_cast<void*>(overlay.layer), static_cast<void*>(overlay.popup),
                            static_cast<void*>(overlay.shellSurface)}) {
            if (proxy) wl_proxy_set_queue(static_cast<wl_proxy*>(proxy), nullptr);
        }
        shown_.erase(std::remove(shown_.begin(), shown_.end(), window), shown_.end());
        shown_.push_back(window);
    }

    void attachLayer(Overlay& overlay) {
        QWindow* window = overlay.window;
        auto* output = static_cast<wl_output*>(
            window->screen() ? native()->nativeResourceForScreen("output", window->screen())
                             : nullptr);
        overlay.layer = zwlr_layer_shell_v1_get_layer_surface(
            layerShell_, overlay.surface, output, ZWLR_LAYER_SHELL_V1_LAYER_OVERLAY, kNamespace);
        zwlr_layer_surface_v1_add_listener(overlay.layer, &kLayerListener, &overlay);
        // Placed by its top-left corner, ignoring the zones of panels and bars: where Qt put it.
        zwlr_layer_surface_v1_set_anchor(
            overlay.layer, ZWLR_LAYER_SURFACE_V1_ANCHOR_TOP | ZWLR_LAYER_SURFACE_V1_ANCHOR_LEFT);
        zwlr_layer_surface_v1_set_exclusive_zone(overlay.layer, -1);
        zwlr_layer_surface_v1_set_keyboard_interactivity(
            overlay.layer, overlay.keyboard ? ZWLR_LAYER_SURFACE_V1_KEYBOARD_INTERACTIVITY_EXCLUSIVE
                                            : ZWLR_LAYER_SURFACE_V1_KEYBOARD_INTERACTIVITY_NONE);
        setLayerGeometry(overlay);
    }

    // A pop-up of an overlay is drawn above it (a layer of its own would go below the older
    // ones) and, without a grab, never takes the keyboard.
    void attachPopup(Overlay& overlay, Overlay& parent) {
        QWindow* window = overlay.window;
        auto* wrapper = static_cast<xdg_wm_base*>(wl_proxy_create_wrapper(xdgShell_));
        wl_proxy_set_queue(reinterpret_cast<wl_proxy*>(wrapper), queue_);
        overlay.shellSurface = xdg_wm_base_get_xdg_surface(wrapper, overlay.surface);
        xdg_positioner* positioner = xdg_wm_base_create_positioner(wrapper);
        wl_proxy_wrapper_destroy(wrapper);
        xdg_surface_add_listener(overlay.shellSurface, &kShellSurfaceListener, &overlay);
        // Where Qt put it, relative to the parent's surface.
        const QRect frame = window->geometry();
        const QPoint at = frame.topLeft() - parent.window->geometry().topLeft();
        xdg_positioner_set_size(positioner, std::max(frame.width(), 1),
                                std::max(frame.height(), 1));
        xdg_positioner_set_anchor_rect(positioner, at.x(), at.y(), 1, 1);
        xdg_positioner_set_anchor(positioner, XDG_POSITIONER_ANCHOR_TOP_LEFT);
        xdg_positioner_set_gravity(positioner, XDG_POSITIONER_GRAVITY_BOTTOM_RIGHT);
        overlay.popup = xdg_surface_get_popup(
            overlay.shellSurface,
            parent.shellSurface && !parent.layer ? parent.shellSurface : nullptr, positioner);
        xdg_positioner_destroy(positioner);
        xdg_popup_add_listener(overlay.popup, &kPopupListener, &overlay);
        if (parent.layer) zwlr_layer_surface_v1_get_popup(parent.layer, overlay.popup);
    }

    void setLayerGeometry(Overlay& overlay) {
        QWindow* window = overlay.window;
        const QRect frame = window->geometry();
        const QPoint origin = window->screen() ? window->screen()->geometry().topLeft() : QPoint();
        zwlr_layer_surface_v1_set_size(overlay.layer, static_cast<std::uint32_t>(frame.width()),
                                       static_cast<std::uint32_t>(frame.height()));
        zwlr_layer_surface_v1_set_margin(overlay.layer, frame.y() - origin.y(), 0, 0,
                                         frame.x() - origin.x());
    }

    // Pop-ups are placed once, when they open.
    void place(QWindow* window) {
        const auto found = overlays_.find(window);
        if (found == overlays_.end() || !found->second->layer) return;
        setLayerGeometry(*found->second);
        wl_surface_commit(found->second->surface);
        wl_display_flush(display_);
    }

    // A window without a title bar is moved by dragging it where no control takes the press.
    // It moves when the button is released: the pointer's positions are relative to the
    // surface, and a surface moved during the drag would make them jump.
    bool drag(QWindow* window, QMouseEvent* event) {
        if (forwarding_ || isPopup(window)) return false;
        Overlay& overlay = overlayOf(window);
        switch (event->type()) {
            case QEvent::MouseButtonPress: {
                if (event->button() != Qt::LeftButton) return false;
                // The controls come first; what none of them accepted starts a move.
                forwarding_ = true;
                QCoreApplication::sendEvent(window, event);
                forwarding_ = false;
                if (!event->isAccepted()) {
                    overlay.dragFrom = event->position();
                    window->setCursor(Qt::SizeAllCursor);
                }
                return true;
            }
            case QEvent::MouseMove:
                return overlay.dragFrom.has_value();
            case QEvent::MouseButtonRelease:
                if (!overlay.dragFrom || event->button() != Qt::LeftButton) return false;
                window->setPosition(window->position() +
                                    (event->position() - *overlay.dragFrom).toPoint());
                overlay.dragFrom.reset();
                window->unsetCursor();
                return true;
            default:
                return false;
        }
    }

    wl_display* display_;
    wl_event_queue* queue_;
    wl_registry* registry_;
    zwlr_layer_shell_v1* layerShell_ = nullptr;
    xdg_wm_base* xdgShell_ = nullptr;
    std::map<QWindow*, std::unique_ptr<Overlay>> overlays_;
    std::vector<QWindow*> shown_;  // attached windows, the last shown last
    bool forwarding_ = false;
};

QPointer<Overlays> installed;

}  // namespace

bool compositorWantsOverlays() {
    if (qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")) return false;
    wl_display* display = wl_display_connect(nullptr);
    if (!display) return false;
    wl_event_queue* queue = wl_display_create_queue(display);
    const Globals globals = readGlobals(display, queue);
    wl_event_queue_destroy(queue);
    wl_display_disconnect(display);
    return usable(globals) && !globals.kwin;
}

bool installOverlays() {
    if (installed) return true;
    if (!qGuiApp || !QGuiApplication::platformName().startsWith(QLatin1String("wayland"))) {
        return false;
    }
    auto* display = static_cast<wl_display*>(native()->nativeResourceForIntegration("wl_display"));
    if (!display) return false;
    wl_event_queue* queue = wl_display_create_queue(display);
    wl_registry* registry = nullptr;
    const Globals globals = readGlobals(display, queue, &registry);
    if (!usable(globals)) {
        wl_registry_destroy(registry);
        wl_event_queue_destroy(queue);
        return false;
    }
    installed = new Overlays(display, queue, registry, globals);
    installed->setParent(qGuiApp);
    qGuiApp->installEventFilter(installed);
    return true;
}

void setOverlayKeyboard(QWindow* window, bool take) {
    if (installed && window) installed->setKeyboard(window, take);
}

}  // namespace sumiro::wayland
