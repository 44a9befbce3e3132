#include "XSession.h"

#include <X11/XKBlib.h>
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <thread>

extern char** environ;

namespace sumiro::testing {
namespace {

struct DisplayCloser {
    void operator()(Display* display) const { XCloseDisplay(display); }
};
struct XFreeDeleter {
    void operator()(void* data) const {
        if (data) XFree(data);
    }
};

}  // namespace

Child::Child(const std::vector<std::string>& argv, const std::vector<std::string>& env,
             int keepFd) {
    std::vector<std::string> environment;
    for (char** entry = environ; *entry; ++entry) {
        const std::string_view item(*entry);
        const auto name = item.substr(0, item.find('=') + 1);
        const bool replaced = std::any_of(
            env.begin(), env.end(), [&](const std::string& e) { return e.starts_with(name); });
        if (!replaced) environment.emplace_back(item);
    }
    environment.insert(environment.end(), env.begin(), env.end());
    std::vector<char*> args, envp;
    for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    for (const auto& e : environment) envp.push_back(const_cast<char*>(e.c_str()));
    envp.push_back(nullptr);

    const pid_t parent = getpid();
    pid_ = fork();
    if (pid_ == 0) {
        // Dies with the test even when the test itself is killed.
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (getppid() != parent) _exit(127);
        if (keepFd >= 0) fcntl(keepFd, F_SETFD, 0);
        execvpe(args[0], args.data(), envp.data());
        _exit(127);
    }
}

Child& Child::operator=(Child&& other) noexcept {
    if (this != &other) {
        stop();
        pid_ = std::exchange(other.pid_, -1);
    }
    return *this;
}

bool Child::exited() {
    if (pid_ <= 0) return true;
    int status = 0;
    if (waitpid(pid_, &status, WNOHANG) == pid_) {
        pid_ = -1;
        return true;
    }
    return false;
}

void Child::stop() {
    if (pid_ <= 0) return;
    kill(pid_, SIGTERM);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!exited()) {
        if (std::chrono::steady_clock::now() > deadline) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
            pid_ = -1;
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

struct XSession::Impl {
    std::unique_ptr<Display, DisplayCloser> display;
    Atom atom(const char* name) const { return XInternAtom(display.get(), name, False); }
    Window root() const { return DefaultRootWindow(display.get()); }

    std::vector<unsigned long> longs(Window window, const char* name, Atom type) const;
    Window windowProperty(Window window, const char* name) const {
        const auto values = longs(window, name, XA_WINDOW);
        return values.empty() ? 0 : values.front();
    }
};

void XSession::pause() { std::this_thread::sleep_for(std::chrono::milliseconds(5)); }

std::unique_ptr<XSession> XSession::start(std::string& error, bool xtest, bool bare) {
    std::unique_ptr<XSession> session(new XSession);
    std::array<int, 2> pipe{};
    if (pipe2(pipe.data(), O_CLOEXEC) != 0) {
        error = "pipe: " + std::string(std::strerror(errno));
        return nullptr;
    }
    std::vector<std::string> argv = {"Xvfb",      "-displayfd", std::to_string(pipe[1]),
                                     "-screen",   "0",          "1280x800x24",
                                     "-nolisten", "tcp",        "-noreset"};
    if (!xtest) argv.insert(argv.end(), {"-extension", "XTEST"});
    session->server_ = Child(argv, {}, pipe[1]);
    close(pipe[1]);

    // Xvfb writes its display number once it accepts connections.
    std::string number;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(15);
    while (number.empty() || number.back() != '\n') {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        pollfd fd{pipe[0], POLLIN, 0};
        if (left.count() <= 0 || ::poll(&fd, 1, static_cast<int>(left.count())) <= 0) break;
        char buffer[32];
        const ssize_t n = read(pipe[0], buffer, sizeof buffer);
        if (n <= 0) break;
        number.append(buffer, static_cast<std::size_t>(n));
    }
    close(pipe[0]);
    if (number.empty() || number.back() != '\n') {
        error = "Xvfb did not report a display";
        return nullptr;
    }
    number.pop_back();
    session->display_ = ":" + number;

    // Windows of the tests vanish on purpose; their errors are no reason to end the test.
    XSetErrorHandler([](Display*, XErrorEvent*) { return 0; });
    session->impl_ = std::make_unique<Impl>();
    session->impl_->display.reset(XOpenDisplay(session->display_.c_str()));
    if (!session->impl_->display) {
        error = "cannot open " + session->display_;
        return nullptr;
    }
    if (bare) return session;

    session->windowManager_ = session->spawn({"openbox", "--sm-disable"});
    // The window manager is up once _NET_SUPPORTING_WM_CHECK names a window naming itself.
    auto& impl = *session->impl_;
    const bool ready = session->poll([&] {
        const Window check = impl.windowProperty(impl.root(), "_NET_SUPPORTING_WM_CHECK");
        return check != 0 && impl.windowProperty(check, "_NET_SUPPORTING_WM_CHECK") == check;
    });
    if (!ready) {
        error = "openbox did not come up";
        return nullptr;
    }
    // openbox names itself before it handles new windows, and a window mapped in between is
    // never managed: map a probe until it shows up in the client list.
    const auto probe = XCreateSimpleWindow(impl.display.get(), impl.root(), 0, 0, 10, 10, 0, 0, 0);
    const bool managing = session->poll([&] {
        XMapWindow(impl.display.get(), probe);
        XSync(impl.display.get(), False);
        if (session->poll([&] { return session->isManaged(probe); },
                          std::chrono::milliseconds(200))) {
            return true;
        }
        XUnmapWindow(impl.display.get(), probe);
        return false;
    });
    XDestroyWindow(impl.display.get(), probe);
    XSync(impl.display.get(), False);
    if (!managing) {
        error = "openbox does not manage windows";
        return nullptr;
    }
    return session;
}

XSession::~XSession() {
    impl_.reset();
    windowManager_.stop();
    server_.stop();
}

Child XSession::spawn(const std::vector<std::string>& argv, std::vector<std::string> env) const {
    env.push_back("DISPLAY=" + display_);
    return Child(argv, env);
}

std::uint64_t XSession::activeWindow() {
    return impl_->windowProperty(impl_->root(), "_NET_ACTIVE_WINDOW");
}

std::vector<unsigned long> XSession::Impl::longs(Window window, const char* name, Atom type) const {
    Atom actual = 0;
    int format = 0;
    unsigned long count = 0, remaining = 0;
    unsigned char* raw = nullptr;
    std::vector<unsigned long> values;
    if (XGetWindowProperty(display.get(), window, atom(name), 0, 1024, False, type, &actual,
                           &format, &count, &remaining, &raw) == Success) {
        std::unique_ptr<unsigned char, XFreeDeleter> data(raw);
        if (data && format == 32) {
            const auto* v = reinterpret_cast<const unsigned long*>(data.get());
            values.assign(v, v + count);
        }
    }
    return values;
}

bool XSession::isManaged(std::uint64_t window) {
    const auto clients = impl_->longs(impl_->root(), "_NET_CLIENT_LIST", XA_WINDOW);
    return std::find(clients.begin(), clients.end(), window) != clients.end();
}

std::uint64_t XSession::windowOf(pid_t pid) {
    for (const unsigned long window : impl_->longs(impl_->root(), "_NET_CLIENT_LIST", XA_WINDOW)) {
        const auto owner = impl_->longs(window, "_NET_WM_PID", XA_CARDINAL);
        if (!owner.empty() && owner.front() == static_cast<unsigned long>(pid)) return window;
    }
    return 0;
}

void XSession::activate(std::uint64_t window) {
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = impl_->atom("_NET_ACTIVE_WINDOW");
    event.xclient.format = 32;
    event.xclient.data.l[0] = 2;
    XSendEvent(impl_->display.get(), impl_->root(), False,
               SubstructureRedirectMask | SubstructureNotifyMask, &event);
    XSync(impl_->display.get(), False);
}

std::uint64_t XSession::createWindow(const std::string& type, pid_t pid) {
    Display* display = impl_->display.get();
    const Window window =
        XCreateSimpleWindow(display, impl_->root(), 10, 10, 200, 100, 0, 0, 0xffffff);
    if (!type.empty()) {
        const Atom value = impl_->atom(("_NET_WM_WINDOW_TYPE_" + type).c_str());
        XChangeProperty(display, window, impl_->atom("_NET_WM_WINDOW_TYPE"), XA_ATOM, 32,
                        PropModeReplace, reinterpret_cast<const unsigned char*>(&value), 1);
    }
    if (pid > 0) {
        const long value = pid;
        XChangeProperty(display, window, impl_->atom("_NET_WM_PID"), XA_CARDINAL, 32,
                        PropModeReplace, reinterpret_cast<const unsigned char*>(&value), 1);
    }
    XMapWindow(display, window);
    XSync(display, False);
    return window;
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

bool XSession::keyDown(unsigned long keysym) {
    Display* display = impl_->display.get();
    std::array<char, 32> keys{};
    XQueryKeymap(display, keys.data());
    const KeyCode code = XKeysymToKeycode(display, keysym);
    return (keys[code / 8] >> (code % 8)) & 1;
}

}  // namespace sumiro::testing

namespace sumiro::testing {

void XSession::setCapsLock(bool locked) {
    XkbLockModifiers(impl_->display.get(), XkbUseCoreKbd, LockMask, locked ? LockMask : 0);
    XSync(impl_->display.get(), False);
}

bool XSession::capsLocked() {
    XkbStateRec state{};
    XkbGetState(impl_->display.get(), XkbUseCoreKbd, &state);
    return (state.locked_mods & LockMask) != 0;
}

}  // namespace sumiro::testing
