#pragma once

#include <memory>
#include <string>

#include "input/inputmethod/InputMethodRoute.h"

namespace sumiro {

/// The route through IBus, which offers no third party a way to commit into an input context.
///
/// What works, and how: for each commit this connection takes the bus name of IBus's emoji
/// picker (org.freedesktop.IBus.Panel.Extension.Emoji, with replacement) and serves an
/// IBus.PanelService there. The daemon then sends the extension FocusIn for the focused input
/// context; a CommitText sent after that handshake reaches the context (one sent before it is
/// lost). The name is released at once, and the emoji picker, queued behind, gets it back.
///
/// Caveats: the picker is without its name for the few milliseconds of each commit (an emoji
/// picked in that moment goes nowhere); a picker that asked not to be queued does not get its
/// name back; when the name changes hands the daemon sends the object of the owner it replaces
/// IBus's Destroy call (Sumiro's own object ignores it; a picker built on IBusPanelService
/// drops its object, so the daemon's calls to it fail until the picker restarts); IBus reports no
/// program names and no focus changes, so this route cannot name or follow the target; bare keys
/// cannot be sent this way (they go through X11 where it is there); a context of the pad itself
/// cannot be told apart here (the pad checks its own focus).
class IBusRoute final : public InputMethodRoute {
public:
    /// address: the IBus bus (empty: where IBus says, $IBUS_ADDRESS or its socket file).
    explicit IBusRoute(std::string address = {});
    ~IBusRoute() override;

    [[nodiscard]] std::string_view label() const override { return "ibus"; }
    bool answers() override;
    /// Empty (IBus does not name programs) while some context has the focus.
    std::optional<std::string> focusedProgram() override;
    Result commit(std::u32string_view text) override;
    Result pressKey(Key key) override;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace sumiro
