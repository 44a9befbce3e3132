#pragma once

// Which application holds the keyboard focus as the accessibility bus (AT-SPI) tells it, and
// when a field that an input method focused but cannot name may be named after it.
//
// Toolkits that speak AT-SPI report a window that becomes active and a widget that gains the
// focus, and the same when they lose it. An application holds the keyboard while one of its
// windows is active or one of its widgets has the focus (GTK 4 tells the widget first), until
// it reports their loss or leaves the bus. A widget's focus does not outlast the activation of
// the application's windows: gnome-shell reports its overview's button focused and never
// unfocused, only its window deactivated. When the keyboard goes to a program that does not
// speak AT-SPI (a terminal, most X11 programs), the one that had it reports the loss, and no
// application holds the keyboard: the field stays unnamed.
//
// That alone would keep a name whose loss was never reported (a program that hangs, an event
// the bus dropped) on every later field. So the report must also be about the field the input
// method focused: an application names such a field only if it reported a gain of the focus
// near the input method's focus-in, at most `nearFocusIn` before it, or at any time after it
// (then the keyboard moved after the focus-in: GNOME's IBus keeps its one focused context while
// the keyboard goes from one application to another). A focus-in that no application reported
// a gain for leaves the field unnamed, as does a name still being asked for.

#include <chrono>
#include <cstdint>
#include <map>
#include <optional>
#include <string>

namespace sumiro::accessibility {

class FocusHolder {
public:
    using Clock = std::chrono::steady_clock;
    /// How long before an input method's focus-in a gain of the focus may come and still be
    /// taken as belonging to the same move of the keyboard. Both come from one event of the
    /// compositor, within a few hundredths of a second (GTK's gain comes first); the margin is
    /// for a busy machine, and no person moves the keyboard to another program and on to a
    /// field in it within it.
    static constexpr std::chrono::milliseconds nearFocusIn{1000};

    // What the accessibility bus reports of an application, which is named by its connection
    // there; windows and widgets are named by their paths.

    /// One of its windows became active.
    void activated(const std::string& app, const std::string& window, Clock::time_point at);
    /// One of its widgets got the focus.
    void focused(const std::string& app, const std::string& widget, Clock::time_point at);
    /// A window was deactivated, or a widget lost the focus.
    void lost(const std::string& app, const std::string& object);
    /// The application left the bus, with all it held.
    void left(const std::string& app);
    /// What the application calls itself; empty when it gives no name.
    void named(const std::string& app, std::string name);
    /// The title of one of its windows.
    void titled(const std::string& app, const std::string& window, std::string title);
    /// The application is the pad itself: whatever it reports is not a target.
    void ignore(const std::string& app);

    struct Holder {
        std::string app;
        /// Its name, else the title of the window it activated last; nothing while not known.
        std::optional<std::string> name;
        Clock::time_point since;  ///< its last gain of the focus
        bool operator==(const Holder&) const = default;
    };
    /// The application that holds the keyboard: the one that gained the focus last, of those
    /// that hold it by the rule above.
    [[nodiscard]] std::optional<Holder> holder() const;
    /// The name of the field an input method focused at fieldFocused, by the rule above.
    [[nodiscard]] std::optional<std::string> nameOf(Clock::time_point fieldFocused) const;

private:
    struct Application {
        std::map<std::string, std::uint64_t> windows;  // the active ones -> when, in gains
        std::map<std::string, std::uint64_t> widgets;  // the focused ones
        Clock::time_point since{};
        std::optional<std::string> name;  // nothing until the application answered
        std::map<std::string, std::string> titles;
        bool ignored = false;

        [[nodiscard]] bool holds() const {
            return !ignored && (!windows.empty() || !widgets.empty());
        }
    };
    std::map<std::string, Application> applications_;
    std::uint64_t gains_ = 0;
};

}  // namespace sumiro::accessibility
