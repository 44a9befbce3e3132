#include "engine/HelperThread.h"

namespace sumiro {

HelperThread& HelperThread::instance() {
    static HelperThread helper;
    return helper;
}

HelperThread::HelperThread() : thread_([this] { serve(); }) {}

HelperThread::~HelperThread() {
    state_.store(kStopping);
    state_.notify_all();
}

void HelperThread::split(const void* work, void (*call)(const void*, std::size_t)) {
    bool expected = false;
    if (!taken_.compare_exchange_strong(expected, true, std::memory_order_acquire)) {
        call(work, 0);
        call(work, 1);
        return;
    }
    work_ = work;
    call_ = call;
    state_.store(kWorking);  // publishes work_ and call_
    state_.notify_one();
    call(work, 0);
    for (int s = state_.load(); s == kWorking; s = state_.load()) {
        state_.wait(s);
    }
    state_.store(kIdle);
    state_.notify_one();
    taken_.store(false, std::memory_order_release);
}

void HelperThread::serve() {
    for (;;) {
        const int s = state_.load();
        if (s == kStopping) {
            return;
        }
        if (s == kWorking) {
            call_(work_, 1);
            state_.store(kDone);  // publishes the work's results
            state_.notify_all();
            continue;
        }
        state_.wait(s);
    }
}

}  // namespace sumiro
