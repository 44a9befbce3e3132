#include "testsupport/XSession.h"

#include <X11/XKBlib.h>
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <grp.h>
#include <signal.h>
#include <sys/prctl.h>
#include <unistd.h>

#include <QDeadlineTimer>
#include <algorithm>
#include <initializer_list>
#include <array>

namespace sumiro::testing {
namespace {

struct XFreeDeleter {
    void operator()(void* data) const { XFree(data); }
};

}  // namespace

std::vector<std::pair<QString, QString>> privateHome(const QString& home) {
    return {{"HOME", home},
            {"XDG_CONFIG_HOME", home + QStringLiteral("/.config")},
            {"XDG_DATA_HOME", home + QStringLiteral("/.local/share")},
            {"XDG_CACHE_HOME", home + QStringLiteral("/.cache")}};
}

Child launch(const QStringList& argv, const std::vector<std::pair<QString, QString>>& env,
             QProcess::ProcessChannelMode channels, std::optional<Account> account) {
    Child child(new QProcess);
    auto environment = QProcessEnvironment::systemEnvironment();
    for (const auto& [name, value] : env) environment.insert(name, value);
    child->setProcessEnvironment(environment);
    child->setProcessChannelMode(channels);
    child->setChildProcessModifier([parent = getpid(), account] {
        if (account && (setgroups(0, nullptr) != 0 || setgid(account->group) != 0 ||
                        setuid(account->user) != 0)) {
            _exit(126);
        }
        // Dies with the test even when the test itself is killed (set after the change of user,
        // which clears it).
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (getppid() != parent) _exit(127);
    });
    child->start(argv.front(), argv.mid(1));
    child->waitForStarted();
    return child;
}

void Stop::operator()(QProcess* process) const {
    process->terminate();
    if (!process->waitForFinished(5000)) {
        process->kill();
        process->waitForFinished();
    }
    delete process;
}

struct XSession::Impl {
    std::unique_ptr<Display, decltype(&XCloseDisplay)> display{nullptr, XCloseDisplay};
    Atom atom(const char* name) const { return XInternAtom(display.get(), name, False); }
    Window root() const { return DefaultRootWindow(display.get()); }
    // A client message about `window` to the window manager, with up to four data words.
    void askWindowManager(Window window, const char* message, std::initializer_list<long> data) {
        XEvent event{};
        event.xclient.type = ClientMessage;
        event.xclient.window = window;
        event.xclient.message_type = atom(message);
        event.xclient.format = 32;
        std::copy(data.begin(), data.end(), event.xclient.data.l);
        XSendEvent(display.get(), root(), False, SubstructureRedirectMask | SubstructureNotifyMask,
                   &event);
        XSync(display.get(), False);
    }

    std::vector<unsigned long> longs(Window window, const char* name, Atom type) const {
        Atom actual = 0;
        int format = 0;
        unsigned long count = 0, remaining = 0;
        unsigned char* raw = nullptr;
        if (XGetWindowProperty(display.get(), window, atom(name), 0, 1024, False, type, &actual,
                               &format, &count, &remaining, &raw) != Success) {
            return {};
        }
        std::unique_ptr<unsigned char, XFreeDeleter> data(raw);
        if (!data || format != 32) return {};
        const auto* values = reinterpret_cast<const unsigned long*>(data.get());
        return {values, values + count};
    }
    Window windowProperty(Window window, const char* name) const {
        const auto values = longs(window, name, XA_WINDOW);
        return values.empty() ? 0 : values.front();
    }
};

std::unique_ptr<XSession> XSession::start(std::string& error, bool xtest, bool bare) {
    std::unique_ptr<XSession> session(new XSession);
    // Xvfb writes its display number to stdout once it accepts connections.
    QStringList argv = {"Xvfb",        "-displayfd", "1",   "-screen", "0",
                        "1280x800x24", "-nolisten",  "tcp", "-noreset"};
    if (!xtest) argv.append({"-extension", "XTEST"});
    auto& server = session->server_ = launch(argv, {}, QProcess::ForwardedErrorChannel);
    QByteArray number;
    const QDeadlineTimer deadline(std::chrono::seconds(15));
    while (!number.endsWith('\n') &&
           server->waitForReadyRead(static_cast<int>(deadline.remainingTime()))) {
        number += server->readAllStandardOutput();
    }
    if (!number.endsWith('\n')) {
        error = "Xvfb did not report a display";
        return nullptr;
    }
    session->display_ = ":" + number.trimmed().toStdString();

    // Windows of the tests vanish on purpose; their errors are no reason to end the test.
    XSetErrorHandler([](Display*, XErrorEvent*) { return 0; });
    session->impl_ = std::make_unique<Impl>();
    auto& impl = *session->impl_;
    impl.display.reset(XOpenDisplay(session->display_.c_str()));
    if (!impl.display) {
        error = "cannot open " + session->display_;
        return nullptr;
    }
    if (bare) return session;

    session->windowManager_ = session->spawn({"openbox", "--sm-disable"});
    // The window manager is ready once it manages windows. openbox announces itself before it
    // handles new windows, and a window mapped in between is never managed: map a probe until it
    // shows up in the client list.
    Display* display = impl.display.get();
    const auto probe = XCreateSimpleWindow(display, impl.root(), 0, 0, 10, 10, 0, 0, 0);
    const bool managing = session->poll([&] {
        XMapWindow(display, probe);
        XSync(display, False);
        const auto managed = [&] {
            const auto clients = impl.longs(impl.root(), "_NET_CLIENT_LIST", XA_WINDOW);
            return std::find(clients.begin(), clients.end(), probe) != clients.end();
        };
        if (session->poll(managed, std::chrono::milliseconds(200))) return true;
        XUnmapWindow(display, probe);
        return false;
    });
    XDestroyWindow(display, probe);
    XSync(display, False);
    if (!managing) {
        error = "openbox does not manage windows";
        return nullptr;
    }
    return session;
}

XSession::~XSession() = default;

Child XSession::spawn(const QStringList& argv, std::vector<std::pair<QString, QString>> env) const {
    env.emplace_back("DISPLAY", QString::fromStdString(display_));
    return launch(argv, env, QProcess::ForwardedChannels);
}

int XSession::run(const QStringList& argv, const Run& how) const {
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const auto& [name, value] : how.env) environment.insert(name, value);
    environment.insert(QStringLiteral("DISPLAY"), QString::fromStdString(display_));
    for (const QString& name : how.unset) environment.remove(name);
    process.setProcessEnvironment(environment);
    process.start(argv.front(), argv.mid(1));
    if (!process.waitForStarted()) return -1;
    const QDeadlineTimer deadline(how.timeout);
    while (process.state() != QProcess::NotRunning) {
        if (deadline.hasExpired()) {
            process.kill();
            process.waitForFinished();
            return -1;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    if (how.standardError) *how.standardError = process.readAllStandardError();
    return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
}

bool XSession::xdotool(const QStringList& arguments) const {
    return run(QStringList{QStringLiteral("xdotool")} + arguments);
}

bool XSession::click(QPoint global) const {
    return xdotool({QStringLiteral("mousemove"), QString::number(global.x()),
                    QString::number(global.y()), QStringLiteral("click"), QStringLiteral("1")});
}

std::uint64_t XSession::activeWindow() {
    return impl_->windowProperty(impl_->root(), "_NET_ACTIVE_WINDOW");
}

std::uint64_t XSession::keyboardFocus() {
    Window focus = None;
    int revert = 0;
    XGetInputFocus(impl_->display.get(), &focus, &revert);
    return focus == PointerRoot ? 0 : focus;
}

std::uint64_t XSession::windowOf(qint64 pid) {
    for (const unsigned long window : impl_->longs(impl_->root(), "_NET_CLIENT_LIST", XA_WINDOW)) {
        const auto owner = impl_->longs(window, "_NET_WM_PID", XA_CARDINAL);
        if (!owner.empty() && owner.front() == static_cast<unsigned long>(pid)) return window;
    }
    return 0;
}

void XSession::activate(std::uint64_t window) {
    impl_->askWindowManager(window, "_NET_ACTIVE_WINDOW", {2});  // as a pager asks
}

void XSession::markDemandsAttention(std::uint64_t window) {
    // _NET_WM_STATE_ADD, from a pager, as the window manager's own mark would be.
    impl_->askWindowManager(
        window, "_NET_WM_STATE",
        {1, static_cast<long>(impl_->atom("_NET_WM_STATE_DEMANDS_ATTENTION")), 0, 2});
}

bool XSession::demandsAttention(std::uint64_t window) {
    const auto atoms = impl_->longs(window, "_NET_WM_STATE", XA_ATOM);
    return std::ranges::find(atoms, impl_->atom("_NET_WM_STATE_DEMANDS_ATTENTION")) !=
           atoms.end();
}

QRect XSession::frame(std::uint64_t window) {
    XWindowAttributes attributes{};
    if (XGetWindowAttributes(impl_->display.get(), window, &attributes) == 0) return {};
    int x = 0, y = 0;
    Window child = 0;
    XTranslateCoordinates(impl_->display.get(), window, impl_->root(), 0, 0, &x, &y, &child);
    return {x, y, attributes.width, attributes.height};
}

bool XSession::viewable(std::uint64_t window) {
    XWindowAttributes attributes{};
    return XGetWindowAttributes(impl_->display.get(), window, &attributes) != 0 &&
           attributes.map_state == IsViewable;
}

std::uint64_t XSession::createWindow(const std::string& type, qint64 pid) {
    Display* display = impl_->display.get();
    const Window window =
        XCreateSimpleWindow(display, impl_->root(), 10, 10, 200, 100, 0, 0, 0xffffff);
    const auto set = [&](const char* property, Atom kind, long value) {
        XChangeProperty(display, window, impl_->atom(property), kind, 32, PropModeReplace,
                        reinterpret_cast<const unsigned char*>(&value), 1);
    };
    if (!type.empty()) {
        set("_NET_WM_WINDOW_TYPE", XA_ATOM,
            static_cast<long>(impl_->atom(("_NET_WM_WINDOW_TYPE_" + type).c_str())));
    }
    if (pid > 0) set("_NET_WM_PID", XA_CARDINAL, static_cast<long>(pid));
    XMapWindow(display, window);
    XSync(display, False);
    return window;
}

void XSession::setNames(std::uint64_t window, const std::string& className,
                        const std::string& title) {
    Display* display = impl_->display.get();
    std::string both = className + '\0' + className + '\0';
    XChangeProperty(display, window, XA_WM_CLASS, XA_STRING, 8, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(both.data()),
                    static_cast<int>(both.size()));
    if (!title.empty()) {
        XChangeProperty(display, window, impl_->atom("_NET_WM_NAME"), impl_->atom("UTF8_STRING"), 8,
                        PropModeReplace, reinterpret_cast<const unsigned char*>(title.data()),
                        static_cast<int>(title.size()));
    }
    XSync(display, False);
}

namespace {
bool refused = false;
}  // namespace

bool XSession::keyGrabbed(unsigned long keysym, unsigned modifiers) {
    Display* display = impl_->display.get();
    const KeyCode code = XKeysymToKeycode(display, keysym);
    XSync(display, False);
    // Grabbing a combination another client grabbed already is refused with BadAccess. The
    // probe's own grab must not be what refuses the pad's: other clients wait while the server
    // is held, so the pad's grab comes before the probe or after it, never during.
    XGrabServer(display);
    refused = false;
    const auto previous = XSetErrorHandler([](Display*, XErrorEvent* error) {
        if (error->error_code == BadAccess) refused = true;
        return 0;
    });
    XGrabKey(display, code, modifiers, impl_->root(), False, GrabModeAsync, GrabModeAsync);
    XSync(display, False);
    const bool taken = refused;
    if (!taken) XUngrabKey(display, code, modifiers, impl_->root());
    XUngrabServer(display);
    XSync(display, False);
    XSetErrorHandler(previous);
    return taken;
}

std::vector<unsigned long> XSession::keyboardMapping() {
    Display* display = impl_->display.get();
    int minCode = 0, maxCode = 0, perCode = 0;
    XDisplayKeycodes(display, &minCode, &maxCode);
    const int count = maxCode - minCode + 1;
    std::unique_ptr<KeySym, XFreeDeleter> map(
        XGetKeyboardMapping(display, static_cast<KeyCode>(minCode), count, &perCode));
    if (!map) return {};
    return {map.get(), map.get() + static_cast<std::ptrdiff_t>(count) * perCode};
}

void XSession::setKey(unsigned long keysym, bool down) {
    Display* display = impl_->display.get();
    XTestFakeKeyEvent(display, XKeysymToKeycode(display, keysym), down, CurrentTime);
    XSync(display, False);
}

unsigned XSession::modifiers() {
    XkbStateRec state{};
    XkbGetState(impl_->display.get(), XkbUseCoreKbd, &state);
    return state.mods;
}

}  // namespace sumiro::testing
