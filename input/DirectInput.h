#pragma once

#include <QObject>
#include <QString>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "input/InputPlatform.h"
#include "input/Keys.h"
#include "input/Scheduler.h"

namespace sumiro {

/// Delivers picked characters and bare keys to the application the user activated last,
/// reporting every outcome as a short message through `status`. Main thread only.
class DirectInput : public QObject {
    Q_OBJECT

public:
    /// Time the target gets to come to the front before the events are posted.
    static constexpr Scheduler::Duration deliveryDelay{0.1};
    /// While the pad itself is still in front (its search field held the keyboard and the
    /// desktop is slow to hand it back), the target is looked for again every deliveryDelay,
    /// this many times in all (1.5 s).
    static constexpr int activationChecks = 15;

    /// Delivers through the desktop this build targets.
    DirectInput();
    explicit DirectInput(std::shared_ptr<InputPlatform> platform,
                         std::shared_ptr<Scheduler> scheduler = mainLoopScheduler());
    ~DirectInput() override;

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
    /// What keeps the pad from typing while it is not trusted.
    [[nodiscard]] InputPlatform::Obstacle obstacle() const { return platform_->obstacle(); }
    /// Shows the user how to enable input posting.
    void allow();
    /// Types text (normally one character) into the target. An empty text does nothing.
    void send(const QString& text);
    /// Types UTF-8 text into the target; invalid UTF-8 is reported and nothing is typed.
    void sendUtf8(std::string_view text);
    /// Presses one bare key in the target.
    void key(Key key);
    /// Brings the target to the front again, if it still runs (after the pad held the keyboard).
    void activateTarget();

signals:
    /// Every user-facing message, success included.
    void status(const QString& message);
    /// `remember` accepted an application.
    void changed();
    /// A delivery is about to bring the target to the front.
    void prepareInput();

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
        int checks = 0;  // times the front was looked at
    };
    void post(std::optional<Text> text, Key key);
    // Checks that the target still holds the focus, types and reports what became of it.
    void finish(Delivery delivery);
    static QString outcomeMessage(const Delivery& delivery,
                                  const InputPlatform::Delivered& delivered);
    void report(const QString& message);

    std::shared_ptr<InputPlatform> platform_;
    std::shared_ptr<Scheduler> scheduler_;
    std::optional<Application> target_;
    // Last, so that the activation handler goes first.
    std::unique_ptr<ActivationWatch> observer_;
};

}  // namespace sumiro
