#include "input/x11/X11Platform.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QUrl>

#include "input/x11/XDisplay.h"

namespace sumiro {
namespace {

class HandlerWatch final : public ActivationWatch {
public:
    HandlerWatch(std::weak_ptr<std::map<int, std::function<void(std::optional<Application>)>>> map,
                 int id)
        : map_(std::move(map)), id_(id) {}
    ~HandlerWatch() override {
        if (auto map = map_.lock()) map->erase(id_);
    }

private:
    std::weak_ptr<std::map<int, std::function<void(std::optional<Application>)>>> map_;
    int id_;
};

}  // namespace

X11Platform::X11Platform(const std::string& displayName)
    : display_(x11::XDisplay::open(displayName)) {
    restoreKeys_.setSingleShot(true);
    restoreKeys_.setInterval(keymapQuiet);
    QObject::connect(&restoreKeys_, &QTimer::timeout, [this] {
        if (display_) display_->restoreSpareKeys();
    });
    if (!display_) return;
    notifier_ = std::make_unique<QSocketNotifier>(display_->fd(), QSocketNotifier::Read);
    QObject::connect(notifier_.get(), &QSocketNotifier::activated,
                     [this] { dispatchActivations(); });
    // Replies to our own requests can pull events into Xlib's queue without the socket
    // becoming readable again; look at the queue whenever the loop is about to sleep.
    if (auto* dispatcher = QAbstractEventDispatcher::instance()) {
        aboutToBlock_ = QObject::connect(dispatcher, &QAbstractEventDispatcher::aboutToBlock,
                                         [this] { dispatchActivations(); });
    }
}

X11Platform::~X11Platform() { QObject::disconnect(aboutToBlock_); }

void X11Platform::dispatchActivations() {
    for (const std::uint64_t window : display_->takeActivations()) {
        const Application app{window, display_->windowPid(window)};
        // A handler may drop its own watch while it runs.
        const Handlers handlers = *handlers_;
        for (const auto& [id, handler] : handlers) {
            if (handlers_->contains(id)) handler(app);
        }
    }
}

std::optional<Application> X11Platform::frontmost() {
    if (!display_) return std::nullopt;
    const std::uint64_t window = display_->activeWindow();
    if (window == 0) return std::nullopt;
    return Application{window, display_->windowPid(window)};
}

std::unique_ptr<ActivationWatch> X11Platform::watchActivations(
    std::function<void(std::optional<Application>)> handler) {
    const int id = nextHandler_++;
    handlers_->emplace(id, std::move(handler));
    return std::make_unique<HandlerWatch>(handlers_, id);
}

std::int32_t X11Platform::ownProcess() {
    return static_cast<std::int32_t>(QCoreApplication::applicationPid());
}

bool X11Platform::isRegular(const Application& app) {
    return display_ && display_->isRegular(app.window);
}

void X11Platform::activate(const Application& app) {
    if (display_) display_->activate(app.window);
}

bool X11Platform::isAlive(const Application& app) {
    return display_ && display_->exists(app.window);
}

std::optional<QString> X11Platform::name(const Application& app) {
    if (!display_) return std::nullopt;
    const auto name = display_->name(app.window);
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
}

bool X11Platform::permitted() { return display_ && display_->hasXTest(); }

bool X11Platform::openPermissionHelp() {
    const QDir dir(QCoreApplication::applicationDirPath());
    for (const QString& candidate :
         {QStringLiteral("resources/Help.html"), QStringLiteral("../share/sumiro/Help.html")}) {
        const QFileInfo file(dir.filePath(candidate));
        if (!file.isFile()) continue;
        QUrl url = QUrl::fromLocalFile(file.canonicalFilePath());
        url.setFragment(QStringLiteral("input"));
        return QDesktopServices::openUrl(url);
    }
    return false;
}

std::shared_ptr<InputPlatform> systemInputPlatform() { return std::make_shared<X11Platform>(); }

}  // namespace sumiro
