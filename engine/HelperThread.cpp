#include "engine/HelperThread.h"

#include <chrono>
#include <exception>
#include <thread>
#include <utility>

namespace sumiro {

namespace {

// Waking a sleeping thread costs tens of microseconds here, as much as a share of work, and a
// recognition splits its work several times within a millisecond: a thread that has just
// worked or handed out work spins this long before sleeping.
constexpr auto kSpin = std::chrono::microseconds(200);

// Waits until `state` no longer holds `value`. The spin yields at every turn, which on an idle
// core returns at once: where another process keeps a core busy, a helper spinning without
// yielding takes a core that is wanted (its caller's, at times) and uses up its share of the
// processor, to be preempted later in the middle of a share of work, holding its caller up
// for a whole time slice (one core kept busy: p95 of a recognition 2.4-2.8 ms, 1.8-1.9 with
// the yield).
void awaitChange(const std::atomic<int>& state, int value) {
    const auto until = std::chrono::steady_clock::now() + kSpin;
    while (state.load(std::memory_order_acquire) == value) {
        std::this_thread::yield();
        if (std::chrono::steady_clock::now() > until) {
            state.wait(value);
            return;
        }
    }
}

// A caller that waits this long for the helper beyond the time the helper's share took, and
// longer than that share, waits on the scheduler, not on the work: another process wants a
// core, and the caller, its core taken while it slept, runs again only a time slice later
// (4 ms here). Where that happened, it happens again: with one core kept busy, runs of a
// benchmark of 400 recognitions had 1 to 350 such waits of 2.5-4 ms, 30 to 170 of them in
// runs whose p95 went from 1.6 to 7-16 ms, while no share took the helper long. So the
// callers do all the work themselves for a while (kRest) before offering shares again. The
// helper's first shares, and those that load the data, take tens of milliseconds, which
// is why the wait must also exceed the share. (Clocks of processor time, which would also
// show a helper preempted within a share, cost a system call each: 4 % of a recognition.)
constexpr auto kLate = std::chrono::milliseconds(2);
constexpr auto kRest = std::chrono::seconds(1);

}  // namespace

HelperThread::HelperThread() : thread_([this] { serve(); }) {}

HelperThread::~HelperThread() {
    state_.store(kStopping);
    state_.notify_all();
}

bool HelperThread::split(const void* work, void (*call)(const void*, std::size_t)) {
    bool expected = false;
    bool mine = taken_.compare_exchange_strong(expected, true, std::memory_order_acquire);
    if (mine && std::chrono::steady_clock::now() < restUntil_) {
        taken_.store(false, std::memory_order_release);
        mine = false;
    }
    if (!mine) {
        call(work, 0);
        call(work, 1);
        return false;
    }
    work_ = work;
    call_ = call;
    state_.store(kOffered);  // publishes work_ and call_
    state_.notify_one();
    // The helper's share refers to the caller's data: wait for it whatever happens here.
    std::exception_ptr failure;
    try {
        call(work, 0);
    } catch (...) {
        failure = std::current_exception();
    }
    // A share that the helper has not claimed yet is done here rather than waited for.
    int offered = kOffered;
    if (state_.compare_exchange_strong(offered, kIdle)) {
        try {
            call(work, 1);
        } catch (...) {
            if (!failure) {
                failure = std::current_exception();
            }
        }
        taken_.store(false, std::memory_order_release);
        if (failure) {
            std::rethrow_exception(failure);
        }
        return false;
    }
    if (state_.load() == kRunning) {
        const auto waitFrom = std::chrono::steady_clock::now();
        for (int s = state_.load(); s == kRunning; s = state_.load()) {
            awaitChange(state_, s);
        }
        const auto now = std::chrono::steady_clock::now();
        const auto unexplained = (now - waitFrom) - took_;
        if (unexplained > kLate && unexplained > took_) {
            restUntil_ = now + kRest;
        }
    }
    std::exception_ptr helperFailure = std::exchange(failure_, nullptr);
    state_.store(kIdle);
    state_.notify_one();
    taken_.store(false, std::memory_order_release);
    if (failure) {
        std::rethrow_exception(failure);
    }
    if (helperFailure) {
        std::rethrow_exception(helperFailure);
    }
    return true;
}

void HelperThread::serve() {
    for (;;) {
        const int s = state_.load();
        if (s == kStopping) {
            return;
        }
        if (s == kOffered) {
            int offered = kOffered;
            // Fails when the caller has taken the share back: then there is nothing to do.
            if (!state_.compare_exchange_strong(offered, kRunning)) {
                continue;
            }
            const auto start = std::chrono::steady_clock::now();
            try {
                call_(work_, 1);
            } catch (...) {
                failure_ = std::current_exception();  // rethrown by the caller
            }
            took_ = std::chrono::steady_clock::now() - start;
            state_.store(kDone);  // publishes the work's results and took_
            state_.notify_all();
            continue;
        }
        awaitChange(state_, s);
    }
}

}  // namespace sumiro
