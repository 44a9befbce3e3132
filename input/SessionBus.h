#pragma once

#include <QString>

namespace sumiro {

/// The user's session bus: $DBUS_SESSION_BUS_ADDRESS, else $XDG_RUNTIME_DIR/bus where it is;
/// empty when neither is there. Never an autolaunched bus, which would start a session of its
/// own that no input method or desktop service is on.
QString userSessionBus();

}  // namespace sumiro
