#pragma once

#include <chrono>
#include <functional>
#include <memory>

class QObject;

namespace sumiro {

/// The clock and the delayed work of the main thread, one for the whole pad: delivery waits on
/// it for the target to come to the front, the controller for the pause before a recognition.
/// The pad runs it on the Qt event loop; tests use FakeScheduler and move time on themselves.
class Scheduler {
public:
    using Clock = std::chrono::steady_clock;
    using Duration = std::chrono::duration<double>;

    virtual ~Scheduler() = default;
    /// Now; may be asked from any thread.
    virtual Clock::time_point now() const = 0;
    /// Runs `work` on the main thread once `delay` has passed, unless `context` is destroyed
    /// first, as the context object of a Qt connection ends it.
    virtual void after(Duration delay, QObject& context, std::function<void()> work) = 0;
};

/// The scheduler over the Qt main loop (precise single-shot timers, the steady clock).
std::shared_ptr<Scheduler> mainLoopScheduler();

}  // namespace sumiro
