#pragma once

#include <memory>
#include <string>

#include "input/inputmethod/InputMethodRoute.h"

namespace sumiro {

/// The route through IBus, which offers no third party a way to commit into an input context.
///
/// Following the focus: IBus hands every client's calls to anyone whose match rules ask for
/// them, so this connection sees each input context's FocusIn, FocusOut and Destroy, and the
/// client name each context was created with (GTK names its program there). Only a context that
/// a client has focused counts: IBus itself always names a "current" context, its internal one
/// when no field has the focus, and a commit there goes nowhere.
///
/// Committing: for each commit this connection takes the bus name of IBus's emoji picker
/// (org.freedesktop.IBus.Panel.Extension.Emoji, with replacement) and serves an IBus.PanelService
/// there. The daemon then sends the extension FocusIn for the context it holds focused; only
/// when that is the context the clients focused is a CommitText sent, which reaches it. The name
/// is released at once, and the emoji picker, queued behind, gets it back.
///
/// Caveats: the picker is without its name for the few milliseconds of each commit (an emoji
/// picked in that moment goes nowhere); a picker that asked not to be queued does not get its
/// name back; when the name changes hands the daemon sends the object of the owner it replaces
/// IBus's Destroy call (a picker built on IBusPanelService drops its object, so the daemon's
/// calls to it fail until the picker restarts); contexts created before the pad started have no
/// known program; bare keys cannot be sent this way (they go through X11 where it is there).
///
/// Runs on the GLib main context, which Qt's event loop drives.
class IBusRoute final : public InputMethodRoute {
public:
    /// address: the IBus bus (empty: where IBus says, $IBUS_ADDRESS or its socket file).
    explicit IBusRoute(std::string address = {});
    ~IBusRoute() override;

    [[nodiscard]] std::string_view label() const override { return "IBus"; }
    bool answers() override;
    std::optional<std::string> focusedProgram() override;
    void commit(std::u32string_view text, Done done) override;
    void pressKey(Key key, Done done) override;

    /// The program named by a client name given to IBus ("gtk3-im:gedit" → "gedit"), empty
    /// when it names none.
    static std::string programOf(const std::string& clientName);

private:
    struct Impl;
    std::shared_ptr<Impl> impl_;
};

}  // namespace sumiro
