#pragma once

#include <QSocketNotifier>
#include <QTimer>
#include <memory>
#include <string>

#include "input/ActivationHandlers.h"
#include "input/InputPlatform.h"

namespace sumiro {

namespace x11 {
class XDisplay;
}

/// Text delivery on X11: EWMH for the active window, XTest for the key events.
class X11Platform final : public InputPlatform {
public:
    /// Connects to the named display (empty: $DISPLAY). Without a display, or without XTEST,
    /// nothing is permitted and nothing is posted. quiet: how long borrowed keycodes stay
    /// mapped after the last delivery.
    explicit X11Platform(const std::string& displayName = {},
                         std::chrono::milliseconds quiet = keymapQuiet);
    ~X11Platform() override;

    std::optional<Application> frontmost() override;
    std::unique_ptr<ActivationWatch> watchActivations(
        std::function<void(std::optional<Application>)> handler) override;
    std::int32_t ownProcess() override;
    bool isRegular(const Application& app) override;
    void activate(const Application& app) override;
    bool isAlive(const Application& app) override;
    std::optional<QString> name(const Application& app) override;
    bool postText(std::u32string_view text) override;
    bool postKey(Key key) override;
    bool permitted() override;
    bool openPermissionHelp() override;
    Obstacle obstacle() override;

    /// How long the borrowed keycodes stay mapped after the last delivery. Clients look a key
    /// up when they handle it, which a busy one does late: one that reads a key after its
    /// keycode was given back gets no symbol, and the character is lost.
    static constexpr std::chrono::milliseconds keymapQuiet{10000};

private:
    void dispatchActivations();
    void dispatchLater();
    void keysBorrowed();

    std::unique_ptr<x11::XDisplay> display_;
    std::unique_ptr<QSocketNotifier> notifier_;
    // Clients read a changed keymap late: restoring it right after typing garbles their input.
    QTimer restoreKeys_;
    ActivationHandlers handlers_;
    bool dispatchPending_ = false;
};

}  // namespace sumiro
