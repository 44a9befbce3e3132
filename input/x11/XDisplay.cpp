#include "input/x11/XDisplay.h"

// Qt before Xlib, whose macros (Bool, None, Status) clash with its headers.
#include <QtCore/qstring.h>
#include <QtCore/qstringconverter.h>
#include <X11/XKBlib.h>
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>

#include <algorithm>
#include <array>
#include <utility>

namespace sumiro::x11 {
namespace {

struct XFreeDeleter {
    void operator()(void* data) const {
        if (data) XFree(data);
    }
};
template <typename T>
using XPtr = std::unique_ptr<T, XFreeDeleter>;

struct DisplayCloser {
    void operator()(Display* display) const { XCloseDisplay(display); }
};

struct ModifierMapDeleter {
    void operator()(XModifierKeymap* map) const { XFreeModifiermap(map); }
};

// Xlib reports protocol errors through one process-wide handler. Errors on our connections
// (a target window that vanished between two requests) are expected and only recorded;
// errors on anybody else's connection go to the handler that was there before.
std::vector<Display*> ourDisplays;
XErrorHandler previousHandler = nullptr;
bool handlerInstalled = false;

int recordError(Display* display, XErrorEvent* event) {
    if (std::find(ourDisplays.begin(), ourDisplays.end(), display) != ourDisplays.end()) return 0;
    return previousHandler ? previousHandler(display, event) : 0;
}

constexpr KeySym keysymReturn = 0xff0d;
constexpr KeySym keysymTab = 0xff09;

// Latin-1 characters have keysyms of their own value; everything else the Unicode keysym.
std::optional<KeySym> keysymFor(char32_t c) {
    if (c == U'\n' || c == U'\r') return keysymReturn;
    if (c == U'\t') return keysymTab;
    if (c < 0x20 || (c >= 0x7F && c < 0xA0)) return std::nullopt;
    if (c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return std::nullopt;
    if (c <= 0xFF) return static_cast<KeySym>(c);
    return static_cast<KeySym>(0x01000000 | c);
}

}  // namespace

struct XDisplay::Impl {
    std::unique_ptr<Display, DisplayCloser> display;
    Window root = 0;
    bool xtest = false;
    bool xkb = false;
    Atom activeWindow = 0, wmPid = 0, windowType = 0, wmName = 0, utf8String = 0;
    std::vector<Atom> regularTypes, otherTypes;

    // Keycodes that we may map to any keysym, their original keysyms and what they hold now.
    std::vector<KeyCode> spare;
    std::vector<std::vector<KeySym>> original;
    std::vector<KeySym> current;
    std::size_t next = 0;

    ~Impl() {
        // Closing flushes and syncs; errors met on the way are still ours to swallow.
        Display* closing = display.get();
        display.reset();
        std::erase(ourDisplays, closing);
    }

    Atom atom(const char* name) const { return XInternAtom(display.get(), name, False); }

    // Reads a 32-bit property; the values come back as longs, as Xlib hands them out.
    std::vector<unsigned long> longs(Window window, Atom property, Atom type) const {
        Atom actualType = 0;
        int format = 0;
        unsigned long count = 0, remaining = 0;
        unsigned char* raw = nullptr;
        const int result = XGetWindowProperty(display.get(), window, property, 0, 1024, False, type,
                                              &actualType, &format, &count, &remaining, &raw);
        XPtr<unsigned char> data(raw);
        if (result != Success || !data || format != 32 || actualType != type) return {};
        const auto* values = reinterpret_cast<const unsigned long*>(data.get());
        return {values, values + count};
    }

    std::optional<std::string> utf8Property(Window window, Atom property) const {
        Atom actualType = 0;
        int format = 0;
        unsigned long count = 0, remaining = 0;
        unsigned char* raw = nullptr;
        const int result =
            XGetWindowProperty(display.get(), window, property, 0, 4096, False, utf8String,
                               &actualType, &format, &count, &remaining, &raw);
        XPtr<unsigned char> data(raw);
        if (result != Success || !data || format != 8 || actualType != utf8String || count == 0) {
            return std::nullopt;
        }
        return std::string(reinterpret_cast<const char*>(data.get()), count);
    }

    void findSpareKeys() {
        int minCode = 0, maxCode = 0;
        XDisplayKeycodes(display.get(), &minCode, &maxCode);
        int perCode = 0;
        const int count = maxCode - minCode + 1;
        XPtr<KeySym> map(
            XGetKeyboardMapping(display.get(), static_cast<KeyCode>(minCode), count, &perCode));
        if (!map) return;
        for (int i = 0; i < count; ++i) {
            const KeySym* syms = map.get() + static_cast<std::ptrdiff_t>(i) * perCode;
            if (std::all_of(syms, syms + perCode, [](KeySym s) { return s == NoSymbol; })) {
                spare.push_back(static_cast<KeyCode>(minCode + i));
                original.emplace_back(1, NoSymbol);
            }
        }
        // A keyboard with every keycode in use lends its last one, given back on restore.
        if (spare.empty() && count > 0) {
            const KeySym* syms = map.get() + static_cast<std::ptrdiff_t>(count - 1) * perCode;
            spare.push_back(static_cast<KeyCode>(maxCode));
            original.emplace_back(syms, syms + perCode);
        }
        current.assign(spare.size(), NoSymbol);
    }

    void setKey(std::size_t index, KeySym sym) {
        // On both levels: a key holding one letter alone is read as its small and capital
        // forms, so a borrowed "I" would type "i".
        KeySym levels[2] = {sym, sym};
        XChangeKeyboardMapping(display.get(), spare[index], 2, levels, 1);
        current[index] = sym;
    }

    // The keycode that types sym on its first level, borrowing a spare one when needed.
    std::optional<KeyCode> keycodeFor(KeySym sym, bool preferOwn) {
        if (preferOwn) {
            const KeyCode own = XKeysymToKeycode(display.get(), sym);
            if (own != 0 && XkbKeycodeToKeysym(display.get(), own, 0, 0) == sym) return own;
        }
        if (spare.empty()) return std::nullopt;
        const auto held = std::find(current.begin(), current.end(), sym);
        if (held != current.end()) return spare[static_cast<std::size_t>(held - current.begin())];
        const std::size_t index = next;
        next = (next + 1) % spare.size();
        setKey(index, sym);
        // The server must have the new mapping before the key event that relies on it.
        XSync(display.get(), False);
        return spare[index];
    }

    std::vector<KeyCode> heldModifiers() const {
        std::array<char, 32> keys{};
        XQueryKeymap(display.get(), keys.data());
        std::unique_ptr<XModifierKeymap, ModifierMapDeleter> map(
            XGetModifierMapping(display.get()));
        std::vector<KeyCode> held;
        if (!map) return held;
        for (int i = 0; i < 8 * map->max_keypermod; ++i) {
            const KeyCode code = map->modifiermap[i];
            if (code == 0) continue;
            const bool down = (keys[code / 8] >> (code % 8)) & 1;
            if (down && std::find(held.begin(), held.end(), code) == held.end()) {
                held.push_back(code);
            }
        }
        return held;
    }

    void tap(KeyCode code) {
        XTestFakeKeyEvent(display.get(), code, True, CurrentTime);
        XTestFakeKeyEvent(display.get(), code, False, CurrentTime);
    }

    // Types the keysyms in order with every held modifier released around them.
    bool type(const std::vector<std::pair<KeySym, bool>>& syms) {
        if (!xtest) return false;
        const auto held = heldModifiers();
        for (const KeyCode code : held) XTestFakeKeyEvent(display.get(), code, False, CurrentTime);
        // Caps Lock would still turn a picked "a" into "A": unlock it for the delivery too.
        XkbStateRec state{};
        const bool capsLocked = xkb &&
                                XkbGetState(display.get(), XkbUseCoreKbd, &state) == Success &&
                                (state.locked_mods & LockMask) != 0;
        if (capsLocked) XkbLockModifiers(display.get(), XkbUseCoreKbd, LockMask, 0);
        bool typed = true;
        for (const auto& [sym, preferOwn] : syms) {
            const auto code = keycodeFor(sym, preferOwn);
            if (!code) {
                typed = false;
                break;
            }
            tap(*code);
        }
        if (capsLocked) XkbLockModifiers(display.get(), XkbUseCoreKbd, LockMask, LockMask);
        for (const KeyCode code : held) XTestFakeKeyEvent(display.get(), code, True, CurrentTime);
        XSync(display.get(), False);
        return typed;
    }
};

XDisplay::XDisplay(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
XDisplay::~XDisplay() {
    if (impl_) restoreSpareKeys();
}

std::unique_ptr<XDisplay> XDisplay::open(const std::string& name) {
    auto impl = std::make_unique<Impl>();
    impl->display.reset(XOpenDisplay(name.empty() ? nullptr : name.c_str()));
    if (!impl->display) return nullptr;
    Display* display = impl->display.get();
    if (!handlerInstalled) {
        previousHandler = XSetErrorHandler(recordError);
        handlerInstalled = true;
    }
    ourDisplays.push_back(display);
    impl->root = DefaultRootWindow(display);
    int event = 0, error = 0, major = 0, minor = 0;
    impl->xtest = XTestQueryExtension(display, &event, &error, &major, &minor);
    int opcode = 0;
    major = XkbMajorVersion, minor = XkbMinorVersion;
    impl->xkb = XkbQueryExtension(display, &opcode, &event, &error, &major, &minor);
    impl->activeWindow = impl->atom("_NET_ACTIVE_WINDOW");
    impl->wmPid = impl->atom("_NET_WM_PID");
    impl->windowType = impl->atom("_NET_WM_WINDOW_TYPE");
    impl->wmName = impl->atom("_NET_WM_NAME");
    impl->utf8String = impl->atom("UTF8_STRING");
    for (const char* type : {"_NET_WM_WINDOW_TYPE_NORMAL", "_NET_WM_WINDOW_TYPE_DIALOG"}) {
        impl->regularTypes.push_back(impl->atom(type));
    }
    for (const char* type :
         {"_NET_WM_WINDOW_TYPE_DESKTOP", "_NET_WM_WINDOW_TYPE_DOCK", "_NET_WM_WINDOW_TYPE_TOOLBAR",
          "_NET_WM_WINDOW_TYPE_MENU", "_NET_WM_WINDOW_TYPE_UTILITY", "_NET_WM_WINDOW_TYPE_SPLASH",
          "_NET_WM_WINDOW_TYPE_DROPDOWN_MENU", "_NET_WM_WINDOW_TYPE_POPUP_MENU",
          "_NET_WM_WINDOW_TYPE_TOOLTIP", "_NET_WM_WINDOW_TYPE_NOTIFICATION",
          "_NET_WM_WINDOW_TYPE_COMBO", "_NET_WM_WINDOW_TYPE_DND"}) {
        impl->otherTypes.push_back(impl->atom(type));
    }
    if (impl->xtest) impl->findSpareKeys();
    XSelectInput(display, impl->root, PropertyChangeMask);
    XFlush(display);
    return std::unique_ptr<XDisplay>(new XDisplay(std::move(impl)));
}

int XDisplay::fd() const { return ConnectionNumber(impl_->display.get()); }

bool XDisplay::hasXTest() const { return impl_->xtest; }

bool XDisplay::hasQueuedEvents() const {
    return XEventsQueued(impl_->display.get(), QueuedAlready) > 0;
}

std::vector<std::uint64_t> XDisplay::takeActivations() {
    Display* display = impl_->display.get();
    bool activated = false;
    while (XPending(display) > 0) {
        XEvent event;
        XNextEvent(display, &event);
        if (event.type == PropertyNotify && event.xproperty.window == impl_->root &&
            event.xproperty.atom == impl_->activeWindow) {
            activated = true;
        } else if (event.type == MappingNotify) {
            XRefreshKeyboardMapping(&event.xmapping);
        }
    }
    // The events carry no value: read the property once, after the last of them, so that a
    // burst of changes announces the window that ended up active once. 0 is what window
    // managers show between two windows; it activates nothing.
    if (!activated) return {};
    const auto window = activeWindow();
    if (window == 0) return {};
    return {window};
}

std::uint64_t XDisplay::activeWindow() {
    const auto values = impl_->longs(impl_->root, impl_->activeWindow, XA_WINDOW);
    return values.empty() ? 0 : values.front();
}

std::int32_t XDisplay::windowPid(std::uint64_t window) {
    const auto values = impl_->longs(window, impl_->wmPid, XA_CARDINAL);
    return values.empty() ? 0 : static_cast<std::int32_t>(values.front());
}

bool XDisplay::isRegular(std::uint64_t window) {
    // A window that is gone (the value of _NET_ACTIVE_WINDOW can lag behind) has no type to read.
    if (!exists(window)) return false;
    // Types are listed in order of preference; the first one we know decides.
    for (const unsigned long type : impl_->longs(window, impl_->windowType, XA_ATOM)) {
        if (std::ranges::find(impl_->regularTypes, type) != impl_->regularTypes.end()) return true;
        if (std::ranges::find(impl_->otherTypes, type) != impl_->otherTypes.end()) return false;
    }
    return true;
}

bool XDisplay::exists(std::uint64_t window) {
    XWindowAttributes attributes;
    return XGetWindowAttributes(impl_->display.get(), window, &attributes) != 0;
}

std::optional<std::string> XDisplay::name(std::uint64_t window) {
    Display* display = impl_->display.get();
    // WM_CLASS is Latin-1 by the rules, yet programs write their names there in UTF-8: read as
    // UTF-8 where it is, else the title says it better.
    std::optional<std::string> latin1Class;
    XClassHint hint{};
    if (XGetClassHint(display, window, &hint) != 0) {
        XPtr<char> instance(hint.res_name), className(hint.res_class);
        if (className && *className.get()) {
            const QByteArray raw(className.get());
            QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
            const QString decoded = utf8.decode(raw);
            if (!utf8.hasError()) return decoded.toStdString();
            latin1Class = QString::fromLatin1(raw).toStdString();
        }
    }
    if (auto title = impl_->utf8Property(window, impl_->wmName); title && !title->empty()) {
        return title;
    }
    XTextProperty property{};
    if (XGetWMName(display, window, &property) == 0) return latin1Class;
    XPtr<unsigned char> value(property.value);
    char** list = nullptr;
    int count = 0;
    if (Xutf8TextPropertyToTextList(display, &property, &list, &count) < Success || !list) {
        return latin1Class;
    }
    std::optional<std::string> result = latin1Class;
    if (count > 0 && list[0][0] != '\0') result = list[0];
    XFreeStringList(list);
    return result;
}

void XDisplay::activate(std::uint64_t window) {
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = impl_->activeWindow;
    event.xclient.format = 32;
    event.xclient.data.l[0] = 2;  // source: a pager, which window managers obey without question
    event.xclient.data.l[1] = CurrentTime;
    XSendEvent(impl_->display.get(), impl_->root, False,
               SubstructureRedirectMask | SubstructureNotifyMask, &event);
    XFlush(impl_->display.get());
}

bool XDisplay::typeText(std::u32string_view text) {
    std::vector<std::pair<KeySym, bool>> syms;
    syms.reserve(text.size());
    for (const char32_t c : text) {
        const auto sym = keysymFor(c);
        if (!sym) return false;
        // Return and Tab go through their own keys; characters always through a spare key
        // so that no level or modifier of the user's layout can change them.
        syms.emplace_back(*sym, *sym == keysymReturn || *sym == keysymTab);
    }
    if (impl_->spare.empty() &&
        std::any_of(syms.begin(), syms.end(), [](const auto& s) { return !s.second; })) {
        return false;
    }
    return impl_->type(syms);
}

bool XDisplay::pressKey(std::uint32_t keysym) { return impl_->type({{keysym, true}}); }

bool XDisplay::hasBorrowedKeys() const {
    return std::any_of(impl_->current.begin(), impl_->current.end(),
                       [](KeySym s) { return s != NoSymbol; });
}

void XDisplay::restoreSpareKeys() {
    Display* display = impl_->display.get();
    bool changed = false;
    for (std::size_t i = 0; i < impl_->spare.size(); ++i) {
        if (impl_->current[i] == NoSymbol) continue;
        auto& syms = impl_->original[i];
        XChangeKeyboardMapping(display, impl_->spare[i], static_cast<int>(syms.size()), syms.data(),
                               1);
        impl_->current[i] = NoSymbol;
        changed = true;
    }
    if (changed) XSync(display, False);
}

}  // namespace sumiro::x11
