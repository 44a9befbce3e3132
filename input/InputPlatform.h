#pragma once

#include <QString>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "input/Keys.h"

namespace sumiro {

/// An application that may receive input: one of its top-level windows and its process, or,
/// where no window can be seen (a Wayland session), the program an input method says holds
/// the input focus.
struct Application {
    Application() = default;
    Application(std::uint64_t window, std::int32_t pid, std::string program = {})
        : window(window), pid(pid), program(std::move(program)) {}

    std::uint64_t window = 0;  ///< Top-level window id; 0 only for a program known by name.
    std::int32_t pid = 0;      ///< Process id, 0 when the window does not say.
    std::string program;       ///< Program name an input method reports; may be empty.

    /// Same process when both know their pid, otherwise the same window, otherwise (both known
    /// only through an input method) the same program name.
    [[nodiscard]] bool sameAs(const Application& other) const {
        if (pid > 0 && other.pid > 0) return pid == other.pid;
        if (window != 0 || other.window != 0) return window == other.window;
        return program == other.program;
    }
    friend bool operator==(const Application&, const Application&) = default;
};

/// Keeps an activation handler registered while it lives.
class ActivationWatch {
public:
    virtual ~ActivationWatch() = default;
};

/// The desktop operations that text delivery needs; one real implementation per platform.
/// All calls happen on the main thread.
class InputPlatform {
public:
    virtual ~InputPlatform() = default;

    /// The application whose window is active now, if any.
    virtual std::optional<Application> frontmost() = 0;
    /// Calls handler with every application that becomes active, until the watch is destroyed.
    virtual std::unique_ptr<ActivationWatch> watchActivations(
        std::function<void(std::optional<Application>)> handler) = 0;
    /// Process id of the pad itself.
    virtual std::int32_t ownProcess() = 0;
    /// Whether the application's window is an ordinary one (not a dock, panel, utility window…).
    virtual bool isRegular(const Application& app) = 0;
    /// Asks the desktop to bring the application to the front.
    virtual void activate(const Application& app) = 0;
    /// Whether the application still runs and has its window.
    virtual bool isAlive(const Application& app) = 0;
    /// The application's display name, if it has one.
    virtual std::optional<QString> name(const Application& app) = 0;
    /// Types text (Unicode scalar values) into whatever has the keyboard focus now.
    /// Either every character is typed or, on failure, none.
    virtual bool postText(std::u32string_view text) = 0;
    /// Presses and releases one bare key with no modifier.
    virtual bool postKey(Key key) = 0;
    /// Whether this process can post synthetic input at all.
    virtual bool permitted() = 0;
    /// Shows the user how to enable input posting; false when there is nothing to show.
    virtual bool openPermissionHelp() = 0;

    /// What keeps the pad from typing anywhere while `permitted` is false.
    enum class Obstacle {
        NoXTest,                    ///< the X server offers no XTEST, and no input method runs
        NoDisplay,                  ///< no X display can be reached, and no input method runs
        WaylandWithoutInputMethod,  ///< a Wayland session without XTEST where no input method runs
    };
    virtual Obstacle obstacle() { return Obstacle::NoXTest; }

    /// Whether the next delivery goes through an input method, into whatever text field holds
    /// the input focus: then nothing needs raising and nothing needs waiting for.
    virtual bool typesIntoFocus() { return false; }
    /// Whether anything the user types in can be reached at all. False when there is neither an
    /// input method nor an X11 window to type into (a Wayland session without an input method,
    /// or no display); a click into an application cannot help then.
    virtual bool reachesAnything() { return true; }

    /// What became of one delivery.
    enum class Outcome {
        Typed,       ///< It reached a focused field (through `route`).
        NoField,     ///< Nothing took it: no field that any way in can reach holds the focus.
        PadFocused,  ///< The focused field is the pad's own; nothing was typed.
        NoAnswer,    ///< `route` did not answer in time: whether it was typed is unknown.
        Failed,      ///< The events could not be made; nothing was typed.
    };
    struct Delivered {
        Outcome outcome;
        std::string route;  ///< The way in that typed it or did not answer; may be empty.
    };
    using Done = std::function<void(Delivered)>;
    /// Types text (Unicode scalar values) or, without text, presses key, and reports what became
    /// of it through done exactly once, at once or later on the main thread (never after this
    /// object is gone). Deliveries are typed in the order they are asked for. By default through
    /// `postText` and `postKey`.
    virtual void deliver(std::optional<std::u32string> text, Key key, Done done) {
        const bool posted = text ? postText(*text) : postKey(key);
        done({posted ? Outcome::Typed : Outcome::Failed, {}});
    }
};

/// The platform of the desktop this build targets.
std::shared_ptr<InputPlatform> systemInputPlatform();

}  // namespace sumiro
