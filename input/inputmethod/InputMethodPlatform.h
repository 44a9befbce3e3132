#pragma once

#include <memory>
#include <string>
#include <vector>

#include "input/ActivationHandlers.h"
#include "input/InputPlatform.h"
#include "input/inputmethod/InputMethodRoute.h"

namespace sumiro {

/// Delivery through the user's input method where one answers, else XTest on X11.
///
/// Each delivery takes the first route whose service answers at that moment (the fcitx5 addon,
/// then IBus); a text the input method cannot place (no field of an input-method client has the
/// focus) is typed with X11 instead. In an X11 session the active window stays the target, as it
/// is where the input focus is; in a Wayland session, where windows of native applications
/// cannot be seen, the input method's focused program is the target.
class InputMethodPlatform final : public InputPlatform {
public:
    /// How a delivery was typed, in order: route labels or "xtest".
    using Record = std::vector<std::string>;

    /// x11: the X11 platform (possibly without a display). routes: tried in order.
    /// padProgram: the pad's own program name as input methods report it.
    /// wayland: whether the user's session is a Wayland one.
    InputMethodPlatform(std::shared_ptr<InputPlatform> x11,
                        std::vector<std::unique_ptr<InputMethodRoute>> routes,
                        std::string padProgram, bool wayland);
    ~InputMethodPlatform() override;

    /// Every delivery typed so far, by route.
    [[nodiscard]] const Record& record() const { return record_; }
    /// The route that answers now, if any.
    InputMethodRoute* route();
    /// Feeds a focus change reported by an input method (program, or nothing on focus-out).
    void focusChanged(bool focused, const std::string& program);

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
    bool typesIntoFocus() override;
    bool reachesAnything() override;

private:
    // Whether the input method, not X11, names the target.
    bool focusFromInputMethod();
    template <typename Commit, typename Fallback>
    bool deliver(Commit commit, Fallback fallback);

    std::shared_ptr<InputPlatform> x11_;
    std::vector<std::unique_ptr<InputMethodRoute>> routes_;
    std::string padProgram_;
    bool wayland_;
    Record record_;
    ActivationHandlers handlers_;
    std::unique_ptr<ActivationWatch> x11Watch_;
};

/// The composed platform over X11 on display (empty: $DISPLAY), the fcitx5 addon on the session
/// bus at sessionBus (empty: the user's) and IBus at ibusAddress (empty: where IBus says).
/// The user's session counts as a Wayland one when $WAYLAND_DISPLAY is set.
std::shared_ptr<InputMethodPlatform> inputMethodPlatform(const std::string& display = {},
                                                         const QString& sessionBus = {},
                                                         const std::string& ibusAddress = {});

}  // namespace sumiro
