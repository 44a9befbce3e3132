#include "input/Scheduler.h"

#include <QTimer>

namespace sumiro {

namespace {

class MainLoopScheduler final : public Scheduler {
public:
    Clock::time_point now() const override { return Clock::now(); }
    void after(Duration delay, QObject& context, std::function<void()> work) override {
        QTimer::singleShot(std::chrono::ceil<std::chrono::milliseconds>(delay), Qt::PreciseTimer,
                           &context, std::move(work));
    }
};

}  // namespace

std::shared_ptr<Scheduler> mainLoopScheduler() { return std::make_shared<MainLoopScheduler>(); }

}  // namespace sumiro
