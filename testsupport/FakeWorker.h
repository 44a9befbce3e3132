#pragma once

#include <deque>
#include <functional>

#include "controller/Worker.h"

namespace sumiro {

/// A worker for tests: jobs wait until the test runs them, hand-backs until it delivers them.
class FakeWorker final : public Worker {
public:
    void submit(std::function<void()> job) override { jobs_.push_back(std::move(job)); }
    void toMain(std::function<void()> work) override { handBacks_.push_back(std::move(work)); }

    /// Runs the oldest queued job; false when none waits.
    bool runNext();
    /// Runs every hand-back that waits; returns how many ran.
    int deliver();
    std::size_t queued() const { return jobs_.size(); }

private:
    std::deque<std::function<void()>> jobs_;
    std::deque<std::function<void()>> handBacks_;
};

}  // namespace sumiro
