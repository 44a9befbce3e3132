#pragma once

#include <QObject>
#include <QString>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "input/InputPlatform.h"
#include "input/Keys.h"

namespace sumiro {

/// Delivers picked characters and bare keys to the application the user activated last,
/// reporting every outcome as a short message through `status`. Main thread only.
class DirectInput {
public:
    /// Runs work once after delay on the main loop, unless context is destroyed first.
    using Scheduler = std::function<void(std::chrono::duration<double> delay, QObject& context,
                                         std::function<void()> work)>;

    /// Time the target gets to come to the front before the events are posted.
    static constexpr std::chrono::duration<double> deliveryDelay{0.1};

    /// The scheduler over the Qt main loop (a precise single-shot timer).
    static Scheduler mainLoopScheduler();

    /// Delivers through the desktop this build targets.
    DirectInput();
    explicit DirectInput(std::shared_ptr<InputPlatform> platform,
                         Scheduler scheduler = mainLoopScheduler());
    ~DirectInput();
    DirectInput(const DirectInput&) = delete;
    DirectInput& operator=(const DirectInput&) = delete;

    /// Receives every user-facing message, success included; messages are dropped when empty.
    std::function<void(const QString&)> status;
    /// Called each time `remember` accepts an application.
    std::function<void()> changed;
    /// Called during a delivery just before the target is brought to the front.
    std::function<void()> prepareInput;

    /// The application that receives deliveries; empty until one is accepted, never cleared.
    [[nodiscard]] const std::optional<Application>& target() const { return target_; }
    /// The target's display name, if there is a target and it has one.
    [[nodiscard]] std::optional<QString> targetName() const;
    /// Whether there is a target and it still runs.
    [[nodiscard]] bool targetRunning() const;

    /// Makes app the target unless it is absent, the pad itself or not an ordinary window.
    void remember(const std::optional<Application>& app);
    /// Whether this process may post input to other applications; asked anew on every call.
    [[nodiscard]] bool trusted() const;
    /// Shows the user how to enable input posting.
    void allow();
    /// Types text (normally one character) into the target. An empty text does nothing.
    void send(const QString& text);
    /// Types UTF-8 text into the target; invalid UTF-8 is reported and nothing is typed.
    void sendUtf8(std::string_view text);
    /// Presses one bare key in the target.
    void key(Key key);

private:
    struct Text {
        std::optional<std::u32string> scalars;  // nullopt when the text cannot be typed
        QString shown;
    };
    // What a delivery carries from the request to the typing.
    struct Delivery {
        Application app;
        std::optional<QString> name;
        std::optional<Text> text;
        Key key;
    };
    void post(std::optional<Text> text, Key key);
    // Checks that the target still holds the focus, types and reports what became of it.
    void finish(const Delivery& delivery);
    static QString outcomeMessage(const Delivery& delivery,
                                  const InputPlatform::Delivered& delivered);
    void report(const QString& message) const;

    std::shared_ptr<InputPlatform> platform_;
    Scheduler schedule_;
    std::optional<Application> target_;
    // Scheduled deliveries and the activation handler see this object through it, weakly.
    QObject lifetime_;
    std::unique_ptr<ActivationWatch> observer_;
};

}  // namespace sumiro
