#include "controller/PadApplication.h"

#include <sys/socket.h>
#include <unistd.h>

#include <QApplication>
#include <QLocale>
#include <QSocketNotifier>
#include <QTranslator>
#include <csignal>
#include <iostream>

#include "controller/AppDelegate.h"
#include "controller/SingleInstance.h"
#include "desktop/Autostart.h"
#include "engine/ResourceDirectory.h"
#include "input/WindowServices.h"

namespace sumiro {

namespace {

// The end of a session (SIGTERM, SIGHUP) or Ctrl+C quits like "Sumiroを終了": the frame is saved
// and the socket of the single instance removed. The handler only writes to a socket pair; the
// event loop reads it.
int signalPipe[2] = {-1, -1};

// How long a second start waits for the running pad to show its panel: it may still be
// starting.
constexpr std::chrono::milliseconds kAnswerTime{10000};

void quitOnSignals(QObject* context) {
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, signalPipe) != 0) return;
    auto* notifier = new QSocketNotifier(signalPipe[1], QSocketNotifier::Read, context);
    QObject::connect(notifier, &QSocketNotifier::activated, context, [] {
        char signal = 0;
        if (::read(signalPipe[1], &signal, 1) == 1) QCoreApplication::quit();
    });
    struct sigaction action {};
    action.sa_handler = [](int) {
        const char signal = 1;
        [[maybe_unused]] const auto written = ::write(signalPipe[0], &signal, 1);
    };
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int signal : {SIGTERM, SIGHUP, SIGINT}) ::sigaction(signal, &action, nullptr);
}

}  // namespace

int runPad(int argc, char** argv, const std::optional<std::filesystem::path>& resources,
           std::optional<Language> language) {
    // The XDG rules say a relative XDG_CONFIG_HOME is to be ignored; Qt would write the settings
    // under the current folder.
    if (const QByteArray config = qgetenv("XDG_CONFIG_HOME");
        !config.isEmpty() && !config.startsWith('/')) {
        qunsetenv("XDG_CONFIG_HOME");
    }
    chooseWindowSystem();
    if (const auto problem = displayUnavailable()) {
        std::cerr << problem->toStdString() << '\n';
        return 1;
    }
    QApplication application(argc, argv);
    prepareWindows();
    // A second start shows the running pad and ends, before it builds anything.
    std::optional<SingleInstance> instance;
    const uint user = ::getuid();
    if (const auto directory = privateDirectory(qEnvironmentVariable("XDG_RUNTIME_DIR"), user)) {
        instance.emplace(
            *directory, displayKey(QGuiApplication::platformName(), qEnvironmentVariable("DISPLAY"),
                                   qEnvironmentVariable("WAYLAND_DISPLAY")));
    }
    if (instance && instance->state() == SingleInstance::State::Taken) {
        if (instance->askToShow(kAnswerTime)) return 0;
        std::cerr << "Sumiro already runs on this display but does not answer.\n";
        return 1;
    }
    if (!instance || instance->state() != SingleInstance::State::Claimed) {
        std::cerr << "Sumiro cannot tell whether it runs already on this display: user " << user
                  << " has no private place for its lock. It starts anyway.\n";
        instance.reset();
    }
    QCoreApplication::setOrganizationName(QStringLiteral("Sumiro"));
    QCoreApplication::setApplicationName(QStringLiteral("Sumiro"));
    // The installed desktop entry, so that the desktop matches the pad's windows to it.
    QGuiApplication::setDesktopFileName(QString::fromUtf8(kDesktopId.data(), kDesktopId.size()));

    const Language asked =
        language ? *language : preferredLanguage(QLocale::system().uiLanguages());
    const std::unique_ptr<QTranslator> catalogue = loadCatalogue(asked, runningExecutable());
    if (catalogue) {
        QCoreApplication::installTranslator(catalogue.get());
    } else if (asked != Language::Japanese) {
        std::cerr << "sumiro: the English catalogue (sumiro_en.qm) is missing beside the "
                     "character data; the pad speaks Japanese\n";
    }

    AppDelegate::Environment environment = AppDelegate::systemEnvironment(
        resources ? *resources : defaultResourceDirectory(runningExecutable()));
    environment.language = catalogue ? asked : Language::Japanese;
    AppDelegate delegate(std::move(environment));
    if (instance) instance->listen([&delegate] { delegate.applicationShouldHandleReopen(); });
    quitOnSignals(&application);
    delegate.applicationDidFinishLaunching();
    QApplication::exec();
    return 0;
}

}  // namespace sumiro
