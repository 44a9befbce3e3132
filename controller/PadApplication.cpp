#include "controller/PadApplication.h"

#include <QApplication>
#include <iostream>

#include "controller/AppDelegate.h"
#include "controller/SingleInstance.h"
#include "engine/ResourceDirectory.h"
#include "input/Desktop.h"

namespace sumiro {

namespace {

// The panel's flags and XTest need X11: on a Wayland session the pad runs through XWayland.
void chooseX11() {
    const QByteArray chosen = qgetenv("QT_QPA_PLATFORM");
    if (chosen.isEmpty() || chosen.startsWith("wayland")) qputenv("QT_QPA_PLATFORM", "xcb");
}

}  // namespace

int runPad(int argc, char** argv, const std::optional<std::filesystem::path>& resources) {
    chooseX11();
    if (qgetenv("QT_QPA_PLATFORM") == "xcb") {
        if (const auto problem = displayUnavailable()) {
            std::cerr << problem->toStdString() << '\n';
            return 1;
        }
    }
    QApplication application(argc, argv);
    // A second start shows the running pad and ends, before it builds anything.
    const QString socket = instanceSocketName();
    if (askRunningPadToShow(socket)) return 0;
    QCoreApplication::setOrganizationName(QStringLiteral("Sumiro"));
    QCoreApplication::setApplicationName(QStringLiteral("Sumiro"));
    QGuiApplication::setDesktopFileName(QStringLiteral("sumiro"));

    AppDelegate delegate(AppDelegate::systemEnvironment(
        resources ? *resources : defaultResourceDirectory("/proc/self/exe")));
    SingleInstance instance(socket, [&delegate] { delegate.applicationShouldHandleReopen(); });
    delegate.applicationDidFinishLaunching();
    QApplication::exec();
    return 0;
}

}  // namespace sumiro
