#include "input/x11/X11Platform.h"

#include <QCoreApplication>
#include <QDesktopServices>

#include "input/HelpPage.h"
#include "input/x11/XDisplay.h"

namespace sumiro {

X11Platform::X11Platform(const std::string& displayName, std::chrono::milliseconds quiet)
    : display_(x11::XDisplay::open(displayName)) {
    restoreKeys_.setSingleShot(true);
    restoreKeys_.setInterval(quiet);
    QObject::connect(&restoreKeys_, &QTimer::timeout, [this] {
        if (display_) display_->restoreSpareKeys();
    });
    if (!display_) return;
    notifier_ = std::make_unique<QSocketNotifier>(display_->fd(), QSocketNotifier::Read);
    QObject::connect(notifier_.get(), &QSocketNotifier::activated,
                     [this] { dispatchActivations(); });
}

X11Platform::~X11Platform() = default;

// Waiting for a reply reads the events that came before it into Xlib's queue, where the socket
// notifier no longer sees them; every call that waits for a reply looks at the queue after.
void X11Platform::dispatchLater() {
    if (dispatchPending_ || !display_->hasQueuedEvents()) return;
    dispatchPending_ = true;
    QTimer::singleShot(0, notifier_.get(), [this] {
        dispatchPending_ = false;
        dispatchActivations();
    });
}

void X11Platform::dispatchActivations() {
    for (const std::uint64_t window : display_->takeActivations()) {
        handlers_.notify(Application{window, display_->windowPid(window)});
    }
    dispatchLater();
}

std::optional<Application> X11Platform::frontmost() {
    if (!display_) return std::nullopt;
    const std::uint64_t window = display_->activeWindow();
    const std::int32_t pid = window == 0 ? 0 : display_->windowPid(window);
    dispatchLater();
    if (window == 0) return std::nullopt;
    return Application{window, pid};
}

std::unique_ptr<ActivationWatch> X11Platform::watchActivations(
    std::function<void(std::optional<Application>)> handler) {
    return handlers_.add(std::move(handler));
}

std::int32_t X11Platform::ownProcess() {
    return static_cast<std::int32_t>(QCoreApplication::applicationPid());
}

bool X11Platform::isRegular(const Application& app) {
    if (!display_) return false;
    const bool regular = display_->isRegular(app.window);
    dispatchLater();
    return regular;
}

void X11Platform::activate(const Application& app) {
    if (display_) display_->activate(app.window);
}

bool X11Platform::isAlive(const Application& app) {
    if (!display_) return false;
    const bool alive = display_->exists(app.window);
    dispatchLater();
    return alive;
}

std::optional<QString> X11Platform::name(const Application& app) {
    if (!display_) return std::nullopt;
    const auto name = display_->name(app.window);
    dispatchLater();
    if (!name) return std::nullopt;
    return QString::fromStdString(*name);
}

bool X11Platform::postText(std::u32string_view text) {
    if (!permitted()) return false;
    const bool typed = display_->typeText(text);
    keysBorrowed();
    return typed;
}

bool X11Platform::postKey(Key key) {
    if (!permitted()) return false;
    const bool typed = display_->pressKey(static_cast<std::uint32_t>(key));
    keysBorrowed();
    return typed;
}

void X11Platform::keysBorrowed() {
    if (display_->hasBorrowedKeys()) restoreKeys_.start();
    dispatchLater();
}

bool X11Platform::permitted() { return display_ && display_->hasXTest(); }

InputPlatform::Obstacle X11Platform::obstacle() {
    return display_ ? Obstacle::NoXTest : Obstacle::NoDisplay;
}

bool X11Platform::openPermissionHelp() {
    // Nothing can be granted on X11: the help page says how to run where input can be posted.
    const auto page = helpPage(QStringLiteral("input"));
    return page && QDesktopServices::openUrl(*page);
}

}  // namespace sumiro
