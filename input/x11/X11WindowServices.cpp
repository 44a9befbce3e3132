#include <QtGui/qguiapplication_platform.h>

#include <QAbstractNativeEventFilter>
#include <QGuiApplication>
#include <QWindow>
#include <xcb/xcb.h>

#include "input/WindowServices.h"
#include "input/wayland/Overlays.h"

// Xlib last: its macros (Bool, None, Status) clash with Qt's headers.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <algorithm>
#include <initializer_list>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace sumiro {

namespace {

// The X11 connection of the pad's windows; nothing when they are not X11 windows.
Display* padDisplay() {
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    return x11 ? x11->display() : nullptr;
}

// A request about `window` to the window manager (a client message to the root window, as the
// EWMH has them), with up to five data words.
void askWindowManager(Display* display, Window window, Atom message,
                      std::initializer_list<long> data) {
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = message;
    event.xclient.format = 32;
    std::copy(data.begin(), data.end(), event.xclient.data.l);
    XSendEvent(display, DefaultRootWindow(display), False,
               SubstructureRedirectMask | SubstructureNotifyMask, &event);
    XFlush(display);
}

// The name the window manager gives itself on its _NET_SUPPORTING_WM_CHECK window, empty when
// none runs or it gives none.
std::string windowManagerName(Display* display) {
    const auto property = [display](Window window, const char* name, Atom type) {
        Atom actual = 0;
        int format = 0;
        unsigned long count = 0, remaining = 0;
        unsigned char* data = nullptr;
        std::string value;
        if (XGetWindowProperty(display, window, XInternAtom(display, name, False), 0, 1024, False,
                               type, &actual, &format, &count, &remaining, &data) == Success &&
            data && actual == type) {
            value.assign(reinterpret_cast<const char*>(data),
                         format == 32 ? count * sizeof(long) : count * (format / 8));
        }
        if (data) XFree(data);
        return value;
    };
    const std::string check =
        property(DefaultRootWindow(display), "_NET_SUPPORTING_WM_CHECK", XA_WINDOW);
    if (check.size() < sizeof(long)) return {};
    const auto manager = static_cast<Window>(*reinterpret_cast<const long*>(check.data()));
    return property(manager, "_NET_WM_NAME", XInternAtom(display, "UTF8_STRING", False));
}

}  // namespace

void chooseWindowSystem() {
    const QByteArray chosen = qgetenv("QT_QPA_PLATFORM");
    if (!chosen.isEmpty() && !chosen.startsWith("wayland")) return;
    if (wayland::compositorWantsOverlays()) {
        qputenv("QT_QPA_PLATFORM", "wayland");
        // Windows with this hint get no shell role from Qt: the overlay role is given instead.
        qputenv("QT_WAYLAND_USE_BYPASSWINDOWMANAGERHINT", "1");
        // Qt keeps the positions it is given, which place the overlays.
        qputenv("QT_WAYLAND_DISABLE_FIXED_POSITIONS", "1");
        return;
    }
    // The panel's flags, the desktop hints and XTest need X11: XWayland in a Wayland session.
    qputenv("QT_QPA_PLATFORM", "xcb");
}

void prepareWindows() {
    if (QGuiApplication::platformName().startsWith(QLatin1String("wayland"))) {
        wayland::installOverlays();
    }
}

void setTakesKeyboard(QWindow* window, bool takes) {
    wayland::setOverlayKeyboard(window, takes);
    Display* display = padDisplay();
    if (!takes || !display || !window || windowManagerName(display) != "KWin") return;
    // Qt asks for the keyboard as an application, which KWin refuses while a window of another
    // application is active: the field would show its caret while what is typed went on into
    // the target. The user has just clicked the field, so the request is made as a pager makes
    // one for a click on a task (source indication 2), which KWin carries out.
    askWindowManager(display, window->winId(), XInternAtom(display, "_NET_ACTIVE_WINDOW", False),
                     {2, CurrentTime});
}

void showOnAllDesktops(quintptr window) {
    Display* display = padDisplay();
    if (!display || !window) return;
    constexpr unsigned long kAllDesktops = 0xFFFFFFFFul;
    const Atom desktop = XInternAtom(display, "_NET_WM_DESKTOP", False);
    const long value = static_cast<long>(kAllDesktops);
    XChangeProperty(display, window, desktop, XA_CARDINAL, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(&value), 1);
    // Source indication 1: an ordinary application.
    askWindowManager(display, window, desktop, {value, 1});
}

namespace {

// Takes the demands-attention mark off the pad's windows whenever a window manager puts it
// there. KWin's focus stealing prevention marks every window that it maps without focusing it,
// which is every time for a window that refuses the focus: the panel would flash in the task
// manager as if it wanted something from the user each time it is shown. The mark is the
// window manager's to set, and the client's to take off (_NET_WM_STATE requests).
class AttentionRefusal final : public QAbstractNativeEventFilter {
public:
    explicit AttentionRefusal(Display* display)
        : display_(display),
          state_(XInternAtom(display, "_NET_WM_STATE", False)),
          attention_(XInternAtom(display, "_NET_WM_STATE_DEMANDS_ATTENTION", False)) {
        QCoreApplication::instance()->installNativeEventFilter(this);
    }
    AttentionRefusal(const AttentionRefusal&) = delete;
    AttentionRefusal& operator=(const AttentionRefusal&) = delete;

    void watch(Window window) {
        windows_.insert(window);
        refuseIfMarked(window);
    }

    bool nativeEventFilter(const QByteArray& type, void* message, qintptr*) override {
        if (type != "xcb_generic_event_t") return false;
        const auto* event = static_cast<const xcb_generic_event_t*>(message);
        if ((event->response_type & ~0x80) != XCB_PROPERTY_NOTIFY) return false;
        const auto* change = reinterpret_cast<const xcb_property_notify_event_t*>(event);
        if (change->atom == state_ && change->state == XCB_PROPERTY_NEW_VALUE &&
            windows_.contains(change->window)) {
            refuseIfMarked(change->window);
        }
        return false;
    }

private:
    void refuseIfMarked(Window window) {
        Atom actual = 0;
        int format = 0;
        unsigned long count = 0, remaining = 0;
        unsigned char* data = nullptr;
        bool marked = false;
        if (XGetWindowProperty(display_, window, state_, 0, 64, False, XA_ATOM, &actual, &format,
                               &count, &remaining, &data) == Success &&
            data && actual == XA_ATOM && format == 32) {
            const auto* atoms = reinterpret_cast<const Atom*>(data);
            marked = std::find(atoms, atoms + count, attention_) != atoms + count;
        }
        if (data) XFree(data);
        if (!marked) return;
        // _NET_WM_STATE_REMOVE, from an ordinary application (source indication 1).
        askWindowManager(display_, window, state_, {0, static_cast<long>(attention_), 0, 1});
    }

    Display* display_;
    Atom state_;
    Atom attention_;
    std::set<Window> windows_;
};

}  // namespace

void refuseFocusOffers(quintptr window) {
    Display* display = padDisplay();
    if (!display || !window) return;
    // One for the application's life: Qt's event loop outlives every window it watches.
    static AttentionRefusal* const refusal = new AttentionRefusal(display);
    refusal->watch(window);
    // mutter is the other way round: a click on a "no input" window takes the keyboard from the
    // focused window and gives it to none, while a "globally active" one that does not take the
    // focus when offered leaves it where it was.
    if (const std::string manager = windowManagerName(display);
        manager == "GNOME Shell" || manager == "Mutter") {
        return;
    }
    Atom* protocols = nullptr;
    int count = 0;
    if (!XGetWMProtocols(display, window, &protocols, &count)) return;
    const Atom takeFocus = XInternAtom(display, "WM_TAKE_FOCUS", False);
    std::vector<Atom> kept;
    for (int i = 0; i < count; ++i) {
        if (protocols[i] != takeFocus) kept.push_back(protocols[i]);
    }
    XFree(protocols);
    if (static_cast<int>(kept.size()) == count) return;
    XSetWMProtocols(display, window, kept.data(), static_cast<int>(kept.size()));
    XFlush(display);
}

std::optional<QString> displayUnavailable() {
    if (qgetenv("QT_QPA_PLATFORM") != "xcb") return std::nullopt;  // another plugin's business
    const QByteArray name = qgetenv("DISPLAY");
    if (name.isEmpty()) {
        return QStringLiteral(
            "Sumiro needs an X11 display (X11 or XWayland), and DISPLAY is not set.");
    }
    const std::unique_ptr<Display, int (*)(Display*)> display(XOpenDisplay(name.constData()),
                                                              XCloseDisplay);
    if (!display) {
        return QStringLiteral("Sumiro cannot open the X11 display \"%1\" named by DISPLAY.")
            .arg(QString::fromLocal8Bit(name));
    }
    return std::nullopt;
}

}  // namespace sumiro
