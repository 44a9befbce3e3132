#pragma once

// The pad's windows as overlay surfaces of the layer-shell protocol, for compositors that give
// the keyboard to whatever window is clicked (wlroots ones: sway and its kin). Such a surface
// floats above every window, fullscreen ones included, and takes the keyboard only when asked.
// Qt's Wayland platform shows the windows; this gives their surfaces the overlay role.

class QWindow;

namespace sumiro::wayland {

/// Whether the Wayland compositor named by WAYLAND_DISPLAY offers overlay surfaces and focuses
/// clicked X11 windows that refuse the focus: a wlroots compositor. KWin offers the same
/// protocol but keeps the focus where it is, so its XWayland windows stay as they are.
bool compositorWantsOverlays();

/// Makes every top-level window of this application an overlay surface from its next show on.
/// Needs the application object on Qt's Wayland platform, with
/// QT_WAYLAND_USE_BYPASSWINDOWMANAGERHINT set before it was made; false when the compositor offers
/// no overlays after all.
bool installOverlays();

/// Lets an overlay window take the keyboard (the compositor gives it at once) or refuse it
/// again (the compositor gives it back to the window that had it). Does nothing to other windows.
void setOverlayKeyboard(QWindow* window, bool take);

}  // namespace sumiro::wayland
