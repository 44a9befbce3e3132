#include "input/SessionBus.h"

#include <QFileInfo>

namespace sumiro {

QString userSessionBus() {
    const QString address = qEnvironmentVariable("DBUS_SESSION_BUS_ADDRESS");
    if (!address.isEmpty()) return address;
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty() && QFileInfo::exists(runtime + QStringLiteral("/bus"))) {
        return QStringLiteral("unix:path=") + runtime + QStringLiteral("/bus");
    }
    return {};
}

}  // namespace sumiro
