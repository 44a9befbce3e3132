#include "input/inputmethod/InputMethodPlatform.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QFileInfo>

#include "input/accessibility/AccessibleFocus.h"
#include "input/inputmethod/Fcitx5Route.h"
#include "input/wayland/ActiveWindow.h"
#include "input/x11/X11Platform.h"
#ifdef SUMIRO_WITH_IBUS
#include "input/inputmethod/IBusRoute.h"
#endif

namespace sumiro {

InputMethodPlatform::InputMethodPlatform(std::shared_ptr<InputPlatform> x11,
                                         std::vector<std::unique_ptr<InputMethodRoute>> routes,
                                         std::string padProgram, bool wayland)
    : x11_(std::move(x11)),
      routes_(std::move(routes)),
      padProgram_(std::move(padProgram)),
      wayland_(wayland) {
    x11Watch_ = x11_->watchActivations([this](std::optional<Application> app) {
        if (!focusFromInputMethod()) handlers_.notify(app);
    });
    for (const auto& each : routes_) {
        each->onFocusChanged(
            [this](bool focused, const std::string& program) { focusChanged(focused, program); });
    }
}

InputMethodPlatform::~InputMethodPlatform() { *alive_ = false; }

QString InputMethodPlatform::unnamedField() {
    return QCoreApplication::translate("InputMethodPlatform", "選択中の入力欄");
}

void InputMethodPlatform::nameFieldsBy(FieldNamer name) { fieldName_ = std::move(name); }

void InputMethodPlatform::activeWindowChanged() {
    if (!focusFromInputMethod()) return;
    if (route()->focusedProgram() == std::optional<std::string>("")) {
        handlers_.notify(Application{0, 0, {}});
    }
}

InputMethodRoute* InputMethodPlatform::route() {
    for (const auto& candidate : routes_) {
        if (candidate->answers()) return candidate.get();
    }
    return nullptr;
}

bool InputMethodPlatform::focusFromInputMethod() { return wayland_ && route(); }

void InputMethodPlatform::focusChanged(bool focused, const std::string& program) {
    if (focused) fieldFocused_ = Clock::now();
    if (!focused || !focusFromInputMethod()) return;
    const std::int32_t pid = program == padProgram_ ? ownProcess() : 0;
    handlers_.notify(Application{0, pid, program});
}

std::optional<Application> InputMethodPlatform::frontmost() {
    if (!focusFromInputMethod()) return x11_->frontmost();
    // The pad runs on XWayland: while its search field has the keyboard, its window is the
    // active X11 one.
    if (const auto front = x11_->frontmost(); front && front->pid == ownProcess()) {
        return Application{0, ownProcess(), padProgram_};
    }
    auto program = route()->focusedProgram();
    if (!program) return std::nullopt;
    const std::int32_t pid = *program == padProgram_ ? ownProcess() : 0;
    return Application{0, pid, std::move(*program)};
}

std::unique_ptr<ActivationWatch> InputMethodPlatform::watchActivations(
    std::function<void(std::optional<Application>)> handler) {
    return handlers_.add(std::move(handler));
}

std::int32_t InputMethodPlatform::ownProcess() { return x11_->ownProcess(); }

bool InputMethodPlatform::isRegular(const Application& app) {
    if (app.window == 0) return app.program.empty() || app.program != padProgram_;
    return x11_->isRegular(app);
}

void InputMethodPlatform::activate(const Application& app) {
    // A program known only through the input method cannot be raised (a Wayland client); the
    // input method types into its focused field as it is.
    if (app.window != 0) x11_->activate(app);
}

bool InputMethodPlatform::isAlive(const Application& app) {
    // The input method cannot say whether a program still runs, only whether it is there itself.
    if (app.window == 0) return route() != nullptr;
    return x11_->isAlive(app);
}

std::optional<QString> InputMethodPlatform::name(const Application& app) {
    if (app.window != 0) return x11_->name(app);
    if (!app.program.empty()) return QString::fromStdString(app.program);
    if (fieldName_) {
        if (const auto active = fieldName_(fieldFocused_); active && !active->empty()) {
            return QString::fromStdString(*active);
        }
    }
    return unnamedField();
}

// Synchronous typing knows no input method: these type with XTest alone.
bool InputMethodPlatform::postText(std::u32string_view text) { return x11_->postText(text); }

bool InputMethodPlatform::postKey(Key key) { return x11_->postKey(key); }

void InputMethodPlatform::deliver(std::optional<std::u32string> text, Key key, Done done) {
    deliveries_.push_back({std::move(text), key, std::move(done)});
    next();
}

void InputMethodPlatform::next() {
    if (busy_ || deliveries_.empty()) return;
    busy_ = true;
    offer(0);
}

void InputMethodPlatform::offer(std::size_t index) {
    Delivery& delivery = deliveries_.front();
    for (; index < routes_.size(); ++index) {
        InputMethodRoute& candidate = *routes_[index];
        if (!candidate.answers()) continue;
        delivery.inputMethodAnswered = true;
        auto answered = [this, index, alive = std::weak_ptr(alive_),
                         label = std::string(candidate.label())](InputMethodRoute::Result result) {
            if (alive.expired()) return;
            using Result = InputMethodRoute::Result;
            switch (result) {
                case Result::Typed:
                    return settle({Outcome::Typed, label});
                case Result::PadFocused:
                    return settle({Outcome::PadFocused, label});
                case Result::NoAnswer:
                    return settle({Outcome::NoAnswer, label});
                case Result::NoFocus:
                case Result::Refused:
                    return offer(index + 1);
            }
        };
        if (delivery.text) {
            candidate.commit(*delivery.text, std::move(answered));
        } else {
            candidate.pressKey(delivery.key, std::move(answered));
        }
        return;
    }
    // In an X11 session the active window may simply not use an input method (an application
    // started without one): XTest types there. In a Wayland session XTest reaches X11 windows
    // alone, and only while one of them (not the pad's) has the keyboard.
    bool xtest = x11_->permitted();
    if (wayland_ && delivery.inputMethodAnswered) {
        const auto front = x11_->frontmost();
        xtest = xtest && front && front->pid != ownProcess();
    }
    if (!xtest) return settle({Outcome::NoField, {}});
    const bool typed = delivery.text ? x11_->postText(*delivery.text) : x11_->postKey(delivery.key);
    settle({typed ? Outcome::Typed : Outcome::Failed, "XTest"});
}

void InputMethodPlatform::settle(Delivered delivered) {
    Done done = std::move(deliveries_.front().done);
    deliveries_.pop_front();
    busy_ = false;
    done(std::move(delivered));
    next();
}

bool InputMethodPlatform::permitted() { return route() || x11_->permitted(); }

bool InputMethodPlatform::openPermissionHelp() { return x11_->openPermissionHelp(); }

InputPlatform::Obstacle InputMethodPlatform::obstacle() {
    return wayland_ ? Obstacle::WaylandWithoutInputMethod : x11_->obstacle();
}

bool InputMethodPlatform::typesIntoFocus() { return route() != nullptr; }

bool InputMethodPlatform::reachesAnything() {
    // X11 alone reaches only X11 windows, which in a Wayland session are the few XWayland ones:
    // there a missing target is no reason to ask for a click.
    return route() || (x11_->permitted() && !wayland_);
}

std::shared_ptr<InputMethodPlatform> inputMethodPlatform(const std::string& display,
                                                         const QString& sessionBus,
                                                         const std::string& ibusAddress,
                                                         const QString& accessibilityBus) {
    // Input methods name a Qt program by its executable's file name.
    const QString pad = QFileInfo(QCoreApplication::applicationFilePath()).fileName();
    std::vector<std::unique_ptr<InputMethodRoute>> routes;
    routes.push_back(std::make_unique<Fcitx5Route>(pad, sessionBus));
#ifdef SUMIRO_WITH_IBUS
    // IBus's connection runs on the GLib main context, which only a GLib event loop drives.
    const auto* loop = QAbstractEventDispatcher::instance();
    if (loop && loop->inherits("QEventDispatcherGlib")) {
        routes.push_back(std::make_unique<IBusRoute>(ibusAddress));
    } else {
        qWarning("Sumiro: the event loop is not GLib's: no delivery through IBus");
    }
#else
    (void)ibusAddress;
#endif
    const bool wayland = !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
    auto platform = std::make_shared<InputMethodPlatform>(
        std::make_shared<X11Platform>(display), std::move(routes), pad.toStdString(), wayland);
    if (wayland) {
        const auto changed = [weak = std::weak_ptr(platform)] {
            if (const auto platform = weak.lock()) platform->activeWindowChanged();
        };
        // A compositor that lists its windows says which is active, whatever program is in it.
        // Where none does (GNOME, KDE), the programs that speak AT-SPI say when they have the
        // focus.
        if (const std::shared_ptr<wayland::ActiveWindow> active =
                wayland::ActiveWindow::open(changed)) {
            platform->nameFieldsBy(
                [active](InputMethodPlatform::Clock::time_point) { return active->name(); });
        } else if (const std::shared_ptr<accessibility::AccessibleFocus> focus =
                       accessibility::AccessibleFocus::open(sessionBus, accessibilityBus,
                                                            changed)) {
            platform->nameFieldsBy([focus](InputMethodPlatform::Clock::time_point fieldFocused) {
                return focus->nameOf(fieldFocused);
            });
        }
    }
    return platform;
}

std::shared_ptr<InputPlatform> systemInputPlatform() { return inputMethodPlatform(); }

}  // namespace sumiro
