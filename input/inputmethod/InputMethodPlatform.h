#pragma once

#include <chrono>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "input/ActivationHandlers.h"
#include "input/InputPlatform.h"
#include "input/inputmethod/InputMethodRoute.h"

namespace sumiro {

/// Delivery through the user's input method where one answers, else XTest on X11.
///
/// Each delivery goes to the routes that answer, in order (the fcitx5 addon, then IBus), until
/// one types it; a route that says no field of its clients has the focus hands it on, and in an
/// X11 session XTest types it last (the active window may not use an input method at all). A
/// route that does not answer in time ends the delivery as unknown: it may still type it, so no
/// other way types it again. Deliveries run one at a time, in order.
///
/// In an X11 session the active window stays the target, as it is where the input focus is; in
/// a Wayland session, where windows of native applications cannot be seen, the input method's
/// focused program is the target.
class InputMethodPlatform final : public InputPlatform {
public:
    /// x11: the X11 platform (possibly without a display). routes: tried in order.
    /// padProgram: the pad's own program name as input methods report it.
    /// wayland: whether the user's session is a Wayland one.
    InputMethodPlatform(std::shared_ptr<InputPlatform> x11,
                        std::vector<std::unique_ptr<InputMethodRoute>> routes,
                        std::string padProgram, bool wayland);
    ~InputMethodPlatform() override;

    /// The first route that answers now, if any.
    InputMethodRoute* route();
    /// Feeds a focus change reported by an input method (program, or nothing on focus-out).
    void focusChanged(bool focused, const std::string& program);

    /// What a field is called when neither its input method nor the session knows its program.
    static QString unnamedField();

    using Clock = std::chrono::steady_clock;
    /// Names a field by the program the session says holds the keyboard, given when the input
    /// method last focused a field (or the earliest time, when it has not since this platform
    /// was made); nothing when it knows none that the field may be in.
    using FieldNamer = std::function<std::optional<std::string>(Clock::time_point fieldFocused)>;
    /// Where the session can say which window holds the keyboard (a Wayland compositor that lists
    /// its windows, or the toolkits over the accessibility bus), `name` names the fields whose
    /// program the input method does not know: the field with the keyboard is in that window.
    void nameFieldsBy(FieldNamer name);
    /// The active window changed: a field the input method cannot name is named anew.
    void activeWindowChanged();

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
    bool typesIntoFocus() override;
    bool reachesAnything() override;
    void deliver(std::optional<std::u32string> text, Key key, Done done) override;

private:
    struct Delivery {
        std::optional<std::u32string> text;
        Key key;
        Done done;
        bool inputMethodAnswered = false;
    };
    // Whether the input method, not X11, names the target.
    bool focusFromInputMethod();
    // Starts the next delivery unless one is under way.
    void next();
    // Offers the current delivery to the routes from index on, then to XTest.
    void offer(std::size_t index);
    void settle(Delivered delivered);

    std::shared_ptr<InputPlatform> x11_;
    std::vector<std::unique_ptr<InputMethodRoute>> routes_;
    std::string padProgram_;
    bool wayland_;
    FieldNamer fieldName_;
    Clock::time_point fieldFocused_ = Clock::time_point::min();
    std::deque<Delivery> deliveries_;  // the front one is under way while busy_
    bool busy_ = false;
    // Answers of a route that come after this object is gone are dropped.
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
    ActivationHandlers handlers_;
    std::unique_ptr<ActivationWatch> x11Watch_;
};

/// The composed platform over X11 on display (empty: $DISPLAY), the fcitx5 addon on the session
/// bus at sessionBus (empty: the user's) and IBus at ibusAddress (empty: where IBus says).
/// The user's session counts as a Wayland one when $WAYLAND_DISPLAY is set; there, where the
/// compositor lists no windows, the accessibility bus at accessibilityBus (empty:
/// $AT_SPI_BUS_ADDRESS, else where the session bus says) names the fields.
std::shared_ptr<InputMethodPlatform> inputMethodPlatform(const std::string& display = {},
                                                         const QString& sessionBus = {},
                                                         const std::string& ibusAddress = {},
                                                         const QString& accessibilityBus = {});

}  // namespace sumiro
