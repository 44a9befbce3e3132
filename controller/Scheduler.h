#pragma once

#include <chrono>
#include <functional>
#include <map>
#include <memory>

#include "input/DirectInput.h"

namespace sumiro {

/// The clock and the delayed work of the main thread. The pad runs on the Qt event loop; tests
/// use FakeScheduler and move time on with `advance`.
class Scheduler {
public:
    using Clock = std::chrono::steady_clock;
    using Duration = std::chrono::duration<double>;

    /// Delayed work that has not run yet; destroying it cancels the work.
    class Pending {
    public:
        virtual ~Pending() = default;
    };

    virtual ~Scheduler() = default;
    /// Now; may be asked from any thread.
    virtual Clock::time_point now() const = 0;
    /// Runs `work` on the main thread once `delay` has passed, unless the handle is gone first.
    [[nodiscard]] virtual std::unique_ptr<Pending> after(Duration delay,
                                                         std::function<void()> work) = 0;
};

/// The scheduler over the Qt main loop (precise single-shot timers, the steady clock).
std::shared_ptr<Scheduler> mainLoopScheduler();

/// Delivery's delayed posting on top of `scheduler`, so one clock drives the whole pad.
DirectInput::Scheduler deliveryScheduler(std::shared_ptr<Scheduler> scheduler);

/// A scheduler whose time only moves when told; work runs inside `advance`, in time order.
class FakeScheduler final : public Scheduler {
public:
    Clock::time_point now() const override { return now_; }
    std::unique_ptr<Pending> after(Duration delay, std::function<void()> work) override;

    /// Moves time on by `step`, running every piece of work that falls due on the way.
    void advance(Duration step);
    /// How many pieces of work wait.
    std::size_t pending() const { return work_.size(); }

private:
    class Handle;
    Clock::time_point now_{};
    std::uint64_t nextId_ = 0;
    // Due time and submission order, so equal deadlines run first come, first served.
    std::map<std::pair<Clock::time_point, std::uint64_t>, std::function<void()>> work_;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

}  // namespace sumiro
