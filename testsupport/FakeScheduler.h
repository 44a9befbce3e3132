#pragma once

#include <QObject>
#include <QPointer>
#include <map>

#include "input/Scheduler.h"

namespace sumiro {

/// A scheduler whose time only moves when told; work runs inside `advance`, in time order, and
/// only while its context lives.
class FakeScheduler final : public Scheduler {
public:
    Clock::time_point now() const override { return now_; }
    void after(Duration delay, QObject& context, std::function<void()> work) override;

    /// Moves time on by `step`, running every piece of work that falls due on the way.
    void advance(Duration step);
    /// How many pieces of work wait whose context still lives.
    std::size_t pending() const;

private:
    struct Work {
        QPointer<QObject> context;
        std::function<void()> run;
    };
    Clock::time_point now_{};
    std::uint64_t nextId_ = 0;
    // Due time and submission order, so equal deadlines run first come, first served.
    std::map<std::pair<Clock::time_point, std::uint64_t>, Work> work_;
};

}  // namespace sumiro
