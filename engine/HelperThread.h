#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <exception>
#include <thread>

namespace sumiro {

/// One long-lived thread that takes half of a recognition's divisible work, so a split costs a
/// wake-up instead of a thread start. Shared by every caller, one caller at a time; the others
/// do all their work themselves.
class HelperThread {
public:
    HelperThread();
    ~HelperThread();
    HelperThread(const HelperThread&) = delete;
    HelperThread& operator=(const HelperThread&) = delete;

    /// Runs `work(1)` on the helper and `work(0)` on the calling thread, both finished on
    /// return; both on the calling thread while another caller has the helper, and `work(1)`
    /// too when the helper has not started it by the time `work(0)` is done (on a busy
    /// machine the scheduler may not have run it yet), and for a second after a caller waited
    /// for the helper on the scheduler rather than on its work (see kLate in HelperThread.cpp).
    /// An exception from either share reaches the caller once both have ended. Returns
    /// whether the helper did its share: when it did not, no core was free for it.
    template <class Work>
    bool split(const Work& work) {
        return split(
            &work, [](const void* w, std::size_t share) { (*static_cast<const Work*>(w))(share); });
    }

private:
    // kOffered: work published, not yet started; kRunning: the helper has claimed it.
    enum State : int { kIdle, kOffered, kRunning, kDone, kStopping };

    bool split(const void* work, void (*call)(const void*, std::size_t));
    void serve();

    std::atomic<bool> taken_{false};
    // Until then every split is done by its caller alone; read and written only by the
    // caller that has taken the helper.
    std::chrono::steady_clock::time_point restUntil_{};
    std::atomic<int> state_{kIdle};
    const void* work_ = nullptr;
    void (*call_)(const void*, std::size_t) = nullptr;
    std::exception_ptr failure_;                  // thrown by the helper's share
    std::chrono::steady_clock::duration took_{};  // how long the helper's last share took
    std::jthread thread_;                         // last: starts once the members it reads exist
};

}  // namespace sumiro
