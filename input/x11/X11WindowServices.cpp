#include <QtGui/qguiapplication_platform.h>

#include <QGuiApplication>

#include "input/WindowServices.h"
#include "input/wayland/Overlays.h"

// Xlib last: its macros (Bool, None, Status) clash with Qt's headers.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <memory>
#include <vector>

namespace sumiro {

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

void setTakesKeyboard(QWindow* window, bool takes) { wayland::setOverlayKeyboard(window, takes); }

void showOnAllDesktops(quintptr window) {
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    Display* display = x11 ? x11->display() : nullptr;
    if (!display || !window) return;
    constexpr unsigned long kAllDesktops = 0xFFFFFFFFul;
    const Atom desktop = XInternAtom(display, "_NET_WM_DESKTOP", False);
    const long value = static_cast<long>(kAllDesktops);
    XChangeProperty(display, window, desktop, XA_CARDINAL, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(&value), 1);

    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = desktop;
    event.xclient.format = 32;
    event.xclient.data.l[0] = value;
    event.xclient.data.l[1] = 1;  // source indication: an ordinary application
    XSendEvent(display, DefaultRootWindow(display), False,
               SubstructureRedirectMask | SubstructureNotifyMask, &event);
    XFlush(display);
}

void refuseFocusOffers(quintptr window) {
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    Display* display = x11 ? x11->display() : nullptr;
    if (!display || !window) return;
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
