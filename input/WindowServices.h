#pragma once

// Services of the windowing system for the pad's own windows, from the desktop this build
// targets (chosen in CMake with SUMIRO_DESKTOP: x11/ or none/).

#include <QKeyCombination>
#include <QString>
#include <QtGlobal>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

class QWindow;

namespace sumiro {

/// Chooses, before the application object exists, how the pad's windows reach the screen: as
/// X11 windows (on XWayland in a Wayland session) where the desktop leaves the keyboard with the
/// application being typed into when a window that refuses the focus is clicked (X11 window
/// managers, GNOME, KWin); as Wayland overlay surfaces that float above every window and never
/// take the keyboard where the compositor focuses whatever is clicked (sway and its kin). A
/// platform the user chose other than Wayland (QT_QPA_PLATFORM=xcb, offscreen) stays.
void chooseWindowSystem();
/// Sets up what chooseWindowSystem() chose, once the application object exists.
void prepareWindows();
/// Lets `window` take the keyboard while the user types into it, or refuse it again, where its
/// window flags alone do not (overlay surfaces), and asks for it where the window manager
/// refuses an application's own request (KWin).
void setTakesKeyboard(QWindow* window, bool takes);

/// Asks the window manager to show `window` (a native window id of this process) on every
/// desktop, re-applied on each show because window managers drop it when a window is unmapped.
/// Does nothing where the application does not run on a desktop with such a notion.
void showOnAllDesktops(quintptr window);

/// Makes `window` (a native window id of this process) a window the window manager never offers
/// the focus to while it refuses the focus: Qt lists WM_TAKE_FOCUS in its WM_PROTOCOLS (the
/// "globally active" model), and window managers focus such windows on a click or when they map
/// them. Without it, a window that refuses the focus follows the "no input" model; one that
/// accepts it, the "passive" model, focused by the window manager as usual. Under mutter (GNOME)
/// the offers stay: a click on a "no input" window takes the keyboard from the focused window
/// there, and an offer the panel does not take leaves it where it was. Window managers that mark
/// a window they did not focus when mapping it as demanding attention (KWin) are asked to take
/// the mark off `window` whenever they put it there.
void refuseFocusOffers(quintptr window);

/// Key combinations the pad takes from the keyboard while the pointer is over its panel. The
/// application being typed into keeps the keyboard, so without this they would reach it (Ctrl+Z
/// undoing the user's text there, Ctrl+Q quitting it) and never the pad.
class PointerShortcuts {
public:
    virtual ~PointerShortcuts() = default;
    /// Takes the combinations (the pointer came over the panel) or gives them back (it left, or
    /// the panel was hidden).
    virtual void setTaken(bool taken) = 0;
};

/// Takes each of `combinations` (a letter with Control, and Shift or Alt where given, in any
/// state of Caps Lock and Num Lock) from the whole keyboard while taken, and runs `pressed` with
/// each one pressed. On X11 this is a passive grab on the root window. Where no window can take
/// keys that go to another, nothing is taken and the keys go where the focus is: the overlay
/// surfaces on Wayland compositors, and on XWayland the keys typed into native Wayland
/// applications, which no X11 client sees.
std::unique_ptr<PointerShortcuts> takeShortcuts(std::vector<QKeyCombination> combinations,
                                                std::function<void(QKeyCombination)> pressed);

/// One plain sentence saying why the pad cannot reach the display Qt is about to open, or
/// nothing when it can.
std::optional<QString> displayUnavailable();

}  // namespace sumiro
