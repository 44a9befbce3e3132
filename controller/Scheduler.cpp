#include "controller/Scheduler.h"

#include <QPointer>
#include <QTimer>

namespace sumiro {

namespace {

class TimerHandle final : public Scheduler::Pending {
public:
    TimerHandle(Scheduler::Duration delay, std::function<void()> work) {
        timer_.setSingleShot(true);
        timer_.setTimerType(Qt::PreciseTimer);
        QObject::connect(&timer_, &QTimer::timeout, [work = std::move(work)] { work(); });
        timer_.start(std::chrono::ceil<std::chrono::milliseconds>(delay));
    }

private:
    QTimer timer_;  // stopping it with the handle is the cancellation
};

class MainLoopScheduler final : public Scheduler {
public:
    Clock::time_point now() const override { return Clock::now(); }
    std::unique_ptr<Pending> after(Duration delay, std::function<void()> work) override {
        return std::make_unique<TimerHandle>(delay, std::move(work));
    }
};

}  // namespace

std::shared_ptr<Scheduler> mainLoopScheduler() { return std::make_shared<MainLoopScheduler>(); }

DirectInput::Scheduler deliveryScheduler(std::shared_ptr<Scheduler> scheduler) {
    return [scheduler](std::chrono::duration<double> delay, QObject& context,
                       std::function<void()> work) {
        // The delivery owns nothing to keep the handle in: the handle lives in the work itself
        // and goes when it has run; the context's lifetime guards the call.
        auto slot = std::make_shared<std::unique_ptr<Scheduler::Pending>>();
        QPointer<QObject> guard(&context);
        *slot = scheduler->after(delay, [slot, guard, work = std::move(work)]() mutable {
            if (guard) work();
            // Release the handle after this call returns, never from inside its own callback.
            QTimer::singleShot(0, [slot] { slot->reset(); });
        });
    };
}

class FakeScheduler::Handle final : public Scheduler::Pending {
public:
    Handle(std::weak_ptr<bool> alive, FakeScheduler& owner,
           std::pair<Clock::time_point, std::uint64_t> key)
        : alive_(std::move(alive)), owner_(owner), key_(key) {}
    ~Handle() override {
        if (!alive_.expired()) owner_.work_.erase(key_);
    }

private:
    std::weak_ptr<bool> alive_;
    FakeScheduler& owner_;
    std::pair<Clock::time_point, std::uint64_t> key_;
};

std::unique_ptr<Scheduler::Pending> FakeScheduler::after(Duration delay,
                                                         std::function<void()> work) {
    const auto key =
        std::make_pair(now_ + std::chrono::duration_cast<Clock::duration>(delay), nextId_++);
    work_.emplace(key, std::move(work));
    return std::make_unique<Handle>(alive_, *this, key);
}

void FakeScheduler::advance(Duration step) {
    const auto end = now_ + std::chrono::duration_cast<Clock::duration>(step);
    while (!work_.empty() && work_.begin()->first.first <= end) {
        auto due = work_.extract(work_.begin());
        now_ = due.key().first;
        due.mapped()();
    }
    now_ = end;
}

}  // namespace sumiro
