#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "input/Keys.h"

namespace sumiro {

/// One way into the user's input method: it types into whatever text field holds the input
/// focus, in any application that uses that input method, X11 or Wayland alike. Nothing here
/// waits on the input method: what it says comes back later, on the main thread.
class InputMethodRoute {
public:
    enum class Result {
        Typed,       ///< The input method took it for a focused field.
        NoFocus,     ///< No field of the input method's clients holds the focus.
        PadFocused,  ///< The focused field is the pad's own.
        Refused,     ///< Not typed, for certain: the input method is not there or cannot do this.
        NoAnswer,    ///< The input method did not answer in time: it may still type it.
    };
    using Done = std::function<void(Result)>;
    /// A focus change: whether a field has the focus now, and its program ("" when unknown).
    using FocusHandler = std::function<void(bool focused, const std::string& program)>;

    virtual ~InputMethodRoute() = default;

    /// The input method's name for records and messages ("fcitx5", "IBus").
    [[nodiscard]] virtual std::string_view label() const = 0;
    /// Whether the input method is there and fit to use, as last seen; asks nothing.
    virtual bool answers() = 0;
    /// The program whose field holds the focus, as last seen ("" when the input method does not
    /// know its name), nothing when no field holds it.
    virtual std::optional<std::string> focusedProgram() = 0;
    /// Commits text (Unicode scalar values) to the focused field; done runs exactly once, at
    /// once or later, and never after the route is gone.
    virtual void commit(std::u32string_view text, Done done) = 0;
    /// Presses and releases one bare key in the focused field; done as for `commit`.
    virtual void pressKey(Key key, Done done) = 0;
    /// Calls handler on every focus change the input method reports.
    void onFocusChanged(FocusHandler handler) { focusChanged_ = std::move(handler); }

protected:
    void focusChanged(bool focused, const std::string& program) const {
        if (focusChanged_) focusChanged_(focused, program);
    }

private:
    FocusHandler focusChanged_;
};

}  // namespace sumiro
