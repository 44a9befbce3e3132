// The pad's shortcuts taken from the keyboard with passive grabs on the root window, on the
// connection Qt reads its events from, so that the presses come back through Qt's event loop.

#include <QtGui/qguiapplication_platform.h>
#include <xcb/xcb.h>
#include <xcb/xproto.h>

#include <QAbstractNativeEventFilter>
#include <QGuiApplication>
#include <algorithm>
#include <cstdlib>
#include <memory>

#include "input/WindowServices.h"

// Xlib last: its macros (Bool, None, Status) clash with Qt's headers.
#include <X11/Xlib.h>

namespace sumiro {

namespace {

constexpr xcb_keysym_t kNumLock = 0xff7f;
// The modifier bits of a key event's state; the rest are mouse buttons.
constexpr std::uint16_t kModifierBits = 0xff;

struct FreeDeleter {
    void operator()(void* reply) const { std::free(reply); }
};
template <typename T>
using Reply = std::unique_ptr<T, FreeDeleter>;

// The keyboard as the server maps it now; read anew for every grab, as layouts change.
class Keymap {
public:
    explicit Keymap(xcb_connection_t* connection) {
        const xcb_setup_t* setup = xcb_get_setup(connection);
        first_ = setup->min_keycode;
        const auto count = static_cast<std::uint8_t>(setup->max_keycode - setup->min_keycode + 1);
        keys_.reset(xcb_get_keyboard_mapping_reply(
            connection, xcb_get_keyboard_mapping(connection, first_, count), nullptr));
        modifiers_.reset(xcb_get_modifier_mapping_reply(
            connection, xcb_get_modifier_mapping(connection), nullptr));
    }

    // The first key that gives `keysym` at its lowest level; 0 when none does.
    xcb_keycode_t code(xcb_keysym_t keysym) const {
        if (!keys_ || keysym == 0) return 0;
        const xcb_keysym_t* syms = xcb_get_keyboard_mapping_keysyms(keys_.get());
        const int perKey = keys_->keysyms_per_keycode;
        const int total = xcb_get_keyboard_mapping_keysyms_length(keys_.get());
        for (int level = 0; level < perKey; ++level) {
            for (int at = level; at < total; at += perKey) {
                if (syms[at] == keysym) return static_cast<xcb_keycode_t>(first_ + at / perKey);
            }
        }
        return 0;
    }

    // The modifier bit that Num Lock sets; 0 when no modifier holds it.
    std::uint16_t numLockMask() const {
        const xcb_keycode_t numLock = code(kNumLock);
        if (!modifiers_ || numLock == 0) return 0;
        const xcb_keycode_t* codes = xcb_get_modifier_mapping_keycodes(modifiers_.get());
        const int perModifier = modifiers_->keycodes_per_modifier;
        for (int modifier = 0; modifier < 8; ++modifier) {
            for (int i = 0; i < perModifier; ++i) {
                if (codes[modifier * perModifier + i] == numLock) {
                    return static_cast<std::uint16_t>(1u << modifier);
                }
            }
        }
        return 0;
    }

private:
    xcb_keycode_t first_ = 0;
    Reply<xcb_get_keyboard_mapping_reply_t> keys_;
    Reply<xcb_get_modifier_mapping_reply_t> modifiers_;
};

xcb_keysym_t letterKeysym(Qt::Key key) {
    if (key < Qt::Key_A || key > Qt::Key_Z) return 0;
    return static_cast<xcb_keysym_t>('a' + (key - Qt::Key_A));
}

std::uint16_t modifierBits(Qt::KeyboardModifiers modifiers) {
    std::uint16_t bits = 0;
    if (modifiers & Qt::ControlModifier) bits |= XCB_MOD_MASK_CONTROL;
    if (modifiers & Qt::ShiftModifier) bits |= XCB_MOD_MASK_SHIFT;
    if (modifiers & Qt::AltModifier) bits |= XCB_MOD_MASK_1;
    return bits;
}

class RootGrab final : public PointerShortcuts, public QAbstractNativeEventFilter {
public:
    RootGrab(xcb_connection_t* connection, xcb_window_t root,
             std::vector<QKeyCombination> combinations,
             std::function<void(QKeyCombination)> pressed)
        : connection_(connection),
          root_(root),
          combinations_(std::move(combinations)),
          pressed_(std::move(pressed)) {
        QCoreApplication::instance()->installNativeEventFilter(this);
    }

    ~RootGrab() override {
        setTaken(false);
        if (QCoreApplication* application = QCoreApplication::instance()) {
            application->removeNativeEventFilter(this);
        }
    }

    void setTaken(bool taken) override {
        if (taken == taken_) return;
        taken_ = taken;
        if (!taken) {
            for (const Grab& grab : grabs_) {
                xcb_ungrab_key(connection_, grab.keycode, root_, grab.modifiers);
            }
            grabs_.clear();
            xcb_flush(connection_);
            return;
        }
        const Keymap keymap(connection_);
        const std::uint16_t numLock = keymap.numLockMask();
        std::vector<std::pair<xcb_void_cookie_t, Grab>> asked;
        for (const QKeyCombination combination : combinations_) {
            const xcb_keycode_t keycode = keymap.code(letterKeysym(combination.key()));
            if (keycode == 0) continue;
            const std::uint16_t base = modifierBits(combination.keyboardModifiers());
            // The same combination with Caps Lock or Num Lock on is another grab.
            for (const std::uint16_t locks :
                 {std::uint16_t(0), std::uint16_t(XCB_MOD_MASK_LOCK), numLock,
                  std::uint16_t(XCB_MOD_MASK_LOCK | numLock)}) {
                const Grab grab{keycode, static_cast<std::uint16_t>(base | locks), combination};
                if (std::ranges::any_of(asked, [&](const auto& a) {
                        return a.second.modifiers == grab.modifiers && a.second.keycode == keycode;
                    })) {
                    continue;  // no Num Lock: the two last are the two first
                }
                asked.emplace_back(
                    xcb_grab_key_checked(connection_, 0, root_, grab.modifiers, keycode,
                                         XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC),
                    grab);
            }
        }
        for (const auto& [cookie, grab] : asked) {
            // Refused when another client (a window manager's binding) holds the combination:
            // then it stays theirs.
            if (Reply<xcb_generic_error_t> error{xcb_request_check(connection_, cookie)}) continue;
            grabs_.push_back(grab);
        }
    }

    bool nativeEventFilter(const QByteArray& type, void* message, qintptr*) override {
        if (grabs_.empty() || type != "xcb_generic_event_t") return false;
        const auto* event = static_cast<const xcb_generic_event_t*>(message);
        const std::uint8_t kind = event->response_type & ~0x80;
        if (kind != XCB_KEY_PRESS && kind != XCB_KEY_RELEASE) return false;
        const auto* key = reinterpret_cast<const xcb_key_press_event_t*>(event);
        if (key->event != root_) return false;
        for (const Grab& grab : grabs_) {
            if (grab.keycode != key->detail || (key->state & kModifierBits) != grab.modifiers) {
                continue;
            }
            if (kind == XCB_KEY_PRESS && pressed_) pressed_(grab.combination);
            return true;
        }
        return false;
    }

private:
    struct Grab {
        xcb_keycode_t keycode;
        std::uint16_t modifiers;
        QKeyCombination combination;
    };

    xcb_connection_t* connection_;
    xcb_window_t root_;
    std::vector<QKeyCombination> combinations_;
    std::function<void(QKeyCombination)> pressed_;
    bool taken_ = false;
    std::vector<Grab> grabs_;
};

class NoGrab final : public PointerShortcuts {
public:
    void setTaken(bool) override {}
};

}  // namespace

std::unique_ptr<PointerShortcuts> takeShortcuts(std::vector<QKeyCombination> combinations,
                                                std::function<void(QKeyCombination)> pressed) {
    // Only an X11 client can take keys meant for another window: an overlay surface on Wayland
    // sees no key pressed for someone else, so there the keys go where the focus is.
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    if (!x11 || !x11->connection() || !x11->display()) return std::make_unique<NoGrab>();
    return std::make_unique<RootGrab>(x11->connection(),
                                      static_cast<xcb_window_t>(DefaultRootWindow(x11->display())),
                                      std::move(combinations), std::move(pressed));
}

}  // namespace sumiro
