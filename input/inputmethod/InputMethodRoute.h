#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "input/Keys.h"

namespace sumiro {

/// One way into the user's input method: it types into whatever text field holds the input
/// focus, in any application that uses that input method, X11 or Wayland alike.
class InputMethodRoute {
public:
    enum class Result {
        Typed,       ///< The input method took it for the focused field.
        NoFocus,     ///< No text field of any application holds the focus.
        PadFocused,  ///< The focused field is the pad's own.
        Failed,      ///< The input method did not answer or cannot do this.
    };

    virtual ~InputMethodRoute() = default;

    /// A short name for records and messages ("fcitx5", "ibus").
    [[nodiscard]] virtual std::string_view label() const = 0;
    /// Whether the input method's service is there now. Never starts anything.
    virtual bool answers() = 0;
    /// The program whose field holds the focus (empty when the input method does not know its
    /// name), nothing when no field holds it or the input method cannot tell.
    virtual std::optional<std::string> focusedProgram() = 0;
    /// Commits text (Unicode scalar values) to the focused field.
    virtual Result commit(std::u32string_view text) = 0;
    /// Presses and releases one bare key in the focused field.
    virtual Result pressKey(Key key) = 0;
};

}  // namespace sumiro
