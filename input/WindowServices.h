#pragma once

// Services of the windowing system for the pad's own windows, from the desktop this build
// targets (chosen in CMake with SUMIRO_DESKTOP: x11/ or none/).

#include <QString>
#include <QtGlobal>
#include <optional>

namespace sumiro {

/// Chooses Qt's platform plugin for the pad; call it before the application object exists.
/// On X11 the panel's window flags and XTest need the xcb plugin, so that on a Wayland session
/// the pad runs through XWayland; a plugin the user named otherwise is kept.
void chooseQtPlatform();

/// One plain sentence saying why the pad cannot reach the display Qt is about to open, or
/// nothing when it can.
std::optional<QString> displayUnavailable();

/// Asks the window manager to show `window` (a native window id of this process) on every
/// desktop, re-applied on each show because window managers drop it when a window is unmapped.
/// Does nothing where the application does not run on a desktop with such a notion.
void showOnAllDesktops(quintptr window);

}  // namespace sumiro
