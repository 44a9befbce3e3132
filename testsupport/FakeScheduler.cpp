#include "testsupport/FakeScheduler.h"

#include <algorithm>

namespace sumiro {

void FakeScheduler::after(Duration delay, QObject& context, std::function<void()> work) {
    const auto due = now_ + std::chrono::duration_cast<Clock::duration>(delay);
    work_.emplace(std::make_pair(due, nextId_++), Work{&context, std::move(work)});
}

void FakeScheduler::advance(Duration step) {
    const auto end = now_ + std::chrono::duration_cast<Clock::duration>(step);
    while (!work_.empty() && work_.begin()->first.first <= end) {
        auto due = work_.extract(work_.begin());
        now_ = due.key().first;
        if (due.mapped().context) due.mapped().run();
    }
    now_ = end;
}

std::size_t FakeScheduler::pending() const {
    return static_cast<std::size_t>(
        std::count_if(work_.begin(), work_.end(),
                      [](const auto& entry) { return !entry.second.context.isNull(); }));
}

}  // namespace sumiro
