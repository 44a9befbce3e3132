#pragma once

// Desktop services of the windowing system this build targets (chosen in CMake: x11/ or none/).

#include <QString>
#include <QtGlobal>
#include <optional>

namespace sumiro {

/// Asks the window manager to show `window` (a native window id of this process) on every
/// desktop, re-applied on each show because window managers drop it when a window is unmapped.
/// Does nothing where the application does not run on a desktop with such a notion.
void showOnAllDesktops(quintptr window);

/// One plain sentence saying why the pad cannot reach a display here, or nothing when it can.
std::optional<QString> displayUnavailable();

}  // namespace sumiro
