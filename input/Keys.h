#pragma once

#include <cstdint>

namespace sumiro {

/// Bare keys the pad can press in the target, each holding its X keysym.
enum class Key : std::uint32_t {
    Return = 0xff0d,
    Space = 0x0020,
    BackSpace = 0xff08,
    Escape = 0xff1b,
    Delete = 0xffff,
    Left = 0xff51,
    Up = 0xff52,
    Right = 0xff53,
    Down = 0xff54,
};

}  // namespace sumiro
