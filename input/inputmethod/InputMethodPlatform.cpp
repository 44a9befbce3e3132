#include "input/inputmethod/InputMethodPlatform.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QGuiApplication>

#include "input/inputmethod/Fcitx5Route.h"
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
}

InputMethodPlatform::~InputMethodPlatform() = default;

InputMethodRoute* InputMethodPlatform::route() {
    for (const auto& candidate : routes_) {
        if (candidate->answers()) return candidate.get();
    }
    return nullptr;
}

bool InputMethodPlatform::focusFromInputMethod() { return wayland_ && route(); }

void InputMethodPlatform::focusChanged(bool focused, const std::string& program) {
    if (!focused || !focusFromInputMethod()) return;
    const std::int32_t pid = program == padProgram_ ? ownProcess() : 0;
    handlers_.notify(Application{0, pid, program});
}

std::optional<Application> InputMethodPlatform::frontmost() {
    if (!focusFromInputMethod()) return x11_->frontmost();
    // Program names are empty for Wayland contexts: the pad checks its own focus as well.
    if (QGuiApplication::focusWindow()) return Application{0, ownProcess(), padProgram_};
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
    if (app.program.empty()) return std::nullopt;
    return QString::fromStdString(app.program);
}

template <typename Commit, typename Fallback>
bool InputMethodPlatform::deliver(Commit commit, Fallback fallback) {
    if (InputMethodRoute* current = route()) {
        switch (commit(*current)) {
            case InputMethodRoute::Result::Typed:
                record_.emplace_back(current->label());
                return true;
            case InputMethodRoute::Result::PadFocused:
                return false;
            case InputMethodRoute::Result::NoFocus:
            case InputMethodRoute::Result::Failed:
                // In an X11 session the active window may simply not use the input method (an
                // application started without it): X11 types there instead.
                if (wayland_) return false;
                break;
        }
    }
    if (!x11_->permitted() || !fallback()) return false;
    record_.emplace_back("xtest");
    return true;
}

bool InputMethodPlatform::postText(std::u32string_view text) {
    return deliver([&](InputMethodRoute& route) { return route.commit(text); },
                   [&] { return x11_->postText(text); });
}

bool InputMethodPlatform::postKey(Key key) {
    return deliver([&](InputMethodRoute& route) { return route.pressKey(key); },
                   [&] { return x11_->postKey(key); });
}

bool InputMethodPlatform::permitted() { return route() || x11_->permitted(); }

bool InputMethodPlatform::openPermissionHelp() { return x11_->openPermissionHelp(); }

bool InputMethodPlatform::typesIntoFocus() { return route() != nullptr; }

bool InputMethodPlatform::reachesAnything() {
    // X11 alone reaches only X11 windows, which in a Wayland session are the few XWayland ones:
    // there a missing target is no reason to ask for a click.
    return route() || (x11_->permitted() && !wayland_);
}

std::shared_ptr<InputMethodPlatform> inputMethodPlatform(const std::string& display,
                                                         const QString& sessionBus,
                                                         const std::string& ibusAddress) {
    // Input methods name a Qt program by its executable's file name.
    const QString pad = QFileInfo(QCoreApplication::applicationFilePath()).fileName();
    std::vector<std::unique_ptr<InputMethodRoute>> routes;
    auto fcitx5 = std::make_unique<Fcitx5Route>(pad, sessionBus);
    Fcitx5Route& fcitx5Route = *fcitx5;
    routes.push_back(std::move(fcitx5));
#ifdef SUMIRO_WITH_IBUS
    routes.push_back(std::make_unique<IBusRoute>(ibusAddress));
#else
    (void)ibusAddress;
#endif
    const bool wayland = !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
    auto platform = std::make_shared<InputMethodPlatform>(
        std::make_shared<X11Platform>(display), std::move(routes), pad.toStdString(), wayland);
    fcitx5Route.focusChanged = [weak = std::weak_ptr(platform)](bool focused,
                                                                const std::string& program) {
        if (const auto self = weak.lock()) self->focusChanged(focused, program);
    };
    return platform;
}

std::shared_ptr<InputPlatform> systemInputPlatform() { return inputMethodPlatform(); }

}  // namespace sumiro
