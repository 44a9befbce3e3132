// A mouse and a keyboard for end-to-end tests on KWin: a client of KWin's fake-input protocol,
// whose motions, clicks and keys KWin handles as a real device's, focus rules included (events
// made inside XWayland never reach the compositor). KWin hands the protocol only to clients it
// trusts; the test's KWin trusts every client. Reads one command a line on standard input and
// answers "ok" once KWin has handled it, "error ..." otherwise:
//   move X Y          the pointer to X, Y of the screen
//   down | up         the left button
//   key CODE down|up  a key by its evdev code
// Usage: sumiro_fake_input (WAYLAND_DISPLAY names the compositor).

#include <linux/input-event-codes.h>
#include <wayland-client.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <sstream>
#include <string>

#include "kde-fake-input-client-protocol.h"

namespace {

// Absolute motion came with version 3, keys with 4.
constexpr uint32_t kNeededVersion = 4;

struct Globals {
    org_kde_kwin_fake_input* input = nullptr;
    uint32_t version = 0;
};

void global(void* data, wl_registry* registry, uint32_t name, const char* interface,
            uint32_t version) {
    auto* globals = static_cast<Globals*>(data);
    if (std::strcmp(interface, org_kde_kwin_fake_input_interface.name) == 0 && !globals->input) {
        globals->version = std::min(version, kNeededVersion);
        globals->input = static_cast<org_kde_kwin_fake_input*>(wl_registry_bind(
            registry, name, &org_kde_kwin_fake_input_interface, globals->version));
    }
}

void globalRemove(void*, wl_registry*, uint32_t) {}

constexpr wl_registry_listener registryListener{global, globalRemove};

}  // namespace

int main() {
    wl_display* display = wl_display_connect(nullptr);
    if (!display) {
        std::fprintf(stderr, "no Wayland compositor to connect to\n");
        return 1;
    }
    Globals globals;
    wl_registry* registry = wl_display_get_registry(display);
    wl_registry_add_listener(registry, &registryListener, &globals);
    wl_display_roundtrip(display);
    if (!globals.input) {
        std::fprintf(stderr, "the compositor offers no fake input to this client\n");
        return 1;
    }
    if (globals.version < kNeededVersion) {
        std::fprintf(stderr, "the compositor's fake input is version %u, %u needed\n",
                     globals.version, kNeededVersion);
        return 1;
    }
    // KWin ignores every event of a device that has not said who it is.
    org_kde_kwin_fake_input_authenticate(globals.input, "Sumiro tests",
                                         "clicks and keys of end-to-end tests");

    // The pointer jumps to just before the point and arrives there in small steps, so that the
    // surface under it sees it enter and then move, as under a hand.
    const auto move = [&](int x, int y) {
        constexpr int steps = 4;
        for (int step = steps; step >= 0; --step) {
            const int stepX = x >= step ? x - step : x + step;
            org_kde_kwin_fake_input_pointer_motion_absolute(
                globals.input, wl_fixed_from_int(stepX), wl_fixed_from_int(y));
            wl_display_roundtrip(display);
        }
    };
    std::string line;
    while (std::getline(std::cin, line)) {
        std::istringstream words(line);
        std::string command;
        words >> command;
        if (command == "move") {
            int x = -1, y = -1;
            if (!(words >> x >> y) || x < 0 || y < 0) {
                std::cout << "error: not understood: " << line << std::endl;
                continue;
            }
            move(x, y);
        } else if (command == "down" || command == "up") {
            org_kde_kwin_fake_input_button(globals.input, BTN_LEFT,
                                           command == "down" ? WL_POINTER_BUTTON_STATE_PRESSED
                                                             : WL_POINTER_BUTTON_STATE_RELEASED);
        } else if (command == "key") {
            uint32_t code = 0;
            std::string state;
            if (!(words >> code >> state) || (state != "down" && state != "up")) {
                std::cout << "error: not understood: " << line << std::endl;
                continue;
            }
            org_kde_kwin_fake_input_keyboard_key(
                globals.input, code,
                state == "down" ? WL_KEYBOARD_KEY_STATE_PRESSED : WL_KEYBOARD_KEY_STATE_RELEASED);
        } else {
            std::cout << "error: not understood: " << line << std::endl;
            continue;
        }
        if (wl_display_roundtrip(display) < 0) {
            std::cout << "error: the compositor closed the connection" << std::endl;
            return 1;
        }
        std::cout << "ok" << std::endl;
    }
    org_kde_kwin_fake_input_destroy(globals.input);
    wl_display_roundtrip(display);
    wl_display_disconnect(display);
    return 0;
}
