#pragma once

#include <QtGlobal>

namespace sumiro {

/// Asks the X11 window manager to show `window` on every desktop (EWMH _NET_WM_DESKTOP
/// 0xFFFFFFFF): the property for a window about to be mapped, a request for a mapped one.
/// Does nothing when the application does not run on X11.
void showOnAllDesktops(quintptr window);

}  // namespace sumiro
