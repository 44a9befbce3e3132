// A mouse for end-to-end tests on wlroots compositors: a client of the virtual-pointer protocol
// whose motions and clicks the compositor handles as a real mouse's, focus rules included
// (events made inside XWayland never reach the compositor). Reads one command a line on
// standard input and answers "ok" once the compositor has handled it, "error ..." otherwise:
//   move X Y      the pointer to X, Y of the layout (absolute, within WIDTH x HEIGHT)
//   down | up     the left button
//   click X Y     move, press and release
// Usage: sumiro_virtual_pointer WIDTH HEIGHT (the layout's size; WAYLAND_DISPLAY names the
// compositor).

#include <linux/input-event-codes.h>
#include <wayland-client.h>

#include <cstdio>
#include <cstring>
#include <ctime>
#include <iostream>
#include <sstream>
#include <string>

#include "wlr-virtual-pointer-unstable-v1-client-protocol.h"

namespace {

struct Globals {
    wl_seat* seat = nullptr;
    zwlr_virtual_pointer_manager_v1* manager = nullptr;
};

void global(void* data, wl_registry* registry, uint32_t name, const char* interface, uint32_t) {
    auto* globals = static_cast<Globals*>(data);
    if (std::strcmp(interface, wl_seat_interface.name) == 0 && !globals->seat) {
        globals->seat =
            static_cast<wl_seat*>(wl_registry_bind(registry, name, &wl_seat_interface, 1));
    } else if (std::strcmp(interface, zwlr_virtual_pointer_manager_v1_interface.name) == 0) {
        globals->manager = static_cast<zwlr_virtual_pointer_manager_v1*>(
            wl_registry_bind(registry, name, &zwlr_virtual_pointer_manager_v1_interface, 1));
    }
}

void globalRemove(void*, wl_registry*, uint32_t) {}

constexpr wl_registry_listener registryListener{global, globalRemove};

uint32_t now() {
    timespec time{};
    clock_gettime(CLOCK_MONOTONIC, &time);
    return static_cast<uint32_t>(time.tv_sec * 1000 + time.tv_nsec / 1000000);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s WIDTH HEIGHT\n", argv[0]);
        return 2;
    }
    const uint32_t width = static_cast<uint32_t>(std::stoul(argv[1]));
    const uint32_t height = static_cast<uint32_t>(std::stoul(argv[2]));
    wl_display* display = wl_display_connect(nullptr);
    if (!display) {
        std::fprintf(stderr, "no Wayland compositor to connect to\n");
        return 1;
    }
    Globals globals;
    wl_registry* registry = wl_display_get_registry(display);
    wl_registry_add_listener(registry, &registryListener, &globals);
    wl_display_roundtrip(display);
    if (!globals.seat || !globals.manager) {
        std::fprintf(stderr, "the compositor offers no virtual pointer\n");
        return 1;
    }
    zwlr_virtual_pointer_v1* pointer =
        zwlr_virtual_pointer_manager_v1_create_virtual_pointer(globals.manager, globals.seat);

    const auto button = [&](bool down) {
        zwlr_virtual_pointer_v1_button(
            pointer, now(), BTN_LEFT,
            down ? WL_POINTER_BUTTON_STATE_PRESSED : WL_POINTER_BUTTON_STATE_RELEASED);
        zwlr_virtual_pointer_v1_frame(pointer);
    };
    // The pointer jumps to just before the point and arrives there in small steps, so that the
    // surface under it sees it enter and then move, as under a hand, without the pointer
    // sweeping over other windows (which would take the focus where it follows the mouse).
    const auto move = [&](uint32_t x, uint32_t y) {
        constexpr int steps = 4;
        for (int step = steps; step >= 0; --step) {
            const uint32_t stepX = x >= static_cast<uint32_t>(step) ? x - step : x + step;
            zwlr_virtual_pointer_v1_motion_absolute(pointer, now(), stepX, y, width, height);
            zwlr_virtual_pointer_v1_frame(pointer);
            wl_display_roundtrip(display);
        }
    };
    std::string line;
    while (std::getline(std::cin, line)) {
        std::istringstream words(line);
        std::string command;
        words >> command;
        uint32_t x = 0, y = 0;
        const bool point = static_cast<bool>(words >> x >> y) && x < width && y < height;
        if (command == "move" && point) {
            move(x, y);
        } else if (command == "click" && point) {
            move(x, y);
            button(true);
            button(false);
        } else if (command == "down" || command == "up") {
            button(command == "down");
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
    zwlr_virtual_pointer_v1_destroy(pointer);
    wl_display_roundtrip(display);
    wl_display_disconnect(display);
    return 0;
}
