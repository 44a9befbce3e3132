#include <dirent.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <set>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "engine/HelperThread.h"

namespace sumiro {
namespace {

// Every share runs exactly once and is finished on return, also when several callers compete
// for the one helper and some of them must do both shares themselves.
TEST(HelperThread, RunsEachShareOnceForEveryCaller) {
    HelperThread helper;
    constexpr int kCallers = 3;
    constexpr int kSplits = 2000;
    std::array<std::array<std::atomic<int>, 2>, kCallers> runs{};
    std::atomic<int> faults{0};
    {
        std::vector<std::jthread> callers;
        for (int c = 0; c < kCallers; ++c) {
            callers.emplace_back([&, c] {
                for (int k = 1; k <= kSplits; ++k) {
                    helper.split([&](std::size_t share) { ++runs[c][share]; });
                    // Both shares ran, once each, before split returned.
                    faults += runs[c][0] != k || runs[c][1] != k;
                }
            });
        }
    }
    EXPECT_EQ(faults.load(), 0);
}

TEST(HelperThread, AFailingShareReachesTheCallerAfterBothEnded) {
    HelperThread helper;
    for (const std::size_t failing : {std::size_t{0}, std::size_t{1}}) {
        std::array<std::atomic<bool>, 2> ended{};
        const auto work = [&](std::size_t share) {
            ended[share] = true;
            if (share == failing) throw std::runtime_error("share failed");
        };
        EXPECT_THROW(helper.split(work), std::runtime_error);
        EXPECT_TRUE(ended[0] && ended[1]);
    }
    // Still serving.
    std::atomic<int> runs{0};
    helper.split([&](std::size_t) { ++runs; });
    EXPECT_EQ(runs.load(), 2);
}

// The threads of this process.
std::set<pid_t> threadIds() {
    std::set<pid_t> ids;
    DIR* tasks = opendir("/proc/self/task");
    while (dirent* entry = readdir(tasks))
        if (entry->d_name[0] != '.') ids.insert(static_cast<pid_t>(std::atoi(entry->d_name)));
    closedir(tasks);
    return ids;
}

// A thread sent SIGUSR1 sits in this handler, as if the scheduler did not run it, until
// `release` is set.
std::atomic<bool> held{false};
std::atomic<bool> release{false};
void hold(int) {
    held = true;
    while (!release) {
        const timespec pause{0, 1000000};
        nanosleep(&pause, nullptr);
    }
}

// A split whose helper is held up does not wait for it: the caller does the share that
// nobody has started.
TEST(HelperThread, TheCallerTakesOverAShareTheHelperHasNotStarted) {
    const std::set<pid_t> before = threadIds();
    HelperThread helper;
    pid_t helperId = 0;
    for (pid_t id : threadIds())
        if (!before.contains(id)) helperId = id;
    ASSERT_NE(helperId, 0);
    struct sigaction action {};
    action.sa_handler = hold;
    ASSERT_EQ(sigaction(SIGUSR1, &action, nullptr), 0);
    ASSERT_EQ(syscall(SYS_tgkill, getpid(), helperId, SIGUSR1), 0);
    while (!held) std::this_thread::yield();
    // Lets the helper go after a while in any case, so that a split waiting for it ends.
    std::mutex mutex;
    std::condition_variable_any never;
    std::jthread watchdog([&](std::stop_token stop) {
        std::unique_lock lock(mutex);
        never.wait_for(lock, stop, std::chrono::seconds(3), [] { return false; });
        release = true;
    });

    std::array<std::thread::id, 2> ranOn{};
    helper.split([&](std::size_t share) { ranOn[share] = std::this_thread::get_id(); });
    const bool releasedBefore = release;
    EXPECT_FALSE(releasedBefore);
    EXPECT_EQ(ranOn[0], std::this_thread::get_id());
    EXPECT_EQ(ranOn[1], std::this_thread::get_id());
    release = true;
    // Still serving once it runs again.
    std::atomic<int> runs{0};
    helper.split([&](std::size_t) { ++runs; });
    EXPECT_EQ(runs.load(), 2);
}

// Whether thread `id` of this process sleeps (state S in /proc).
bool sleeping(pid_t id) {
    const std::string path = "/proc/self/task/" + std::to_string(id) + "/stat";
    std::FILE* file = std::fopen(path.c_str(), "r");
    if (file == nullptr) return false;
    char state = 0;
    // pid (comm) state ...: comm may hold spaces but not ") ".
    char line[512] = {};
    const bool read = std::fgets(line, sizeof line, file) != nullptr;
    std::fclose(file);
    if (const char* end = read ? std::strstr(line, ") ") : nullptr) state = end[2];
    return state == 'S';
}

// A caller that waited for the helper far longer than the helper's share took, as one whose
// core another process took while it slept does, leaves the helper to rest: the next splits
// are done by their caller alone. A long share keeping the caller waiting does not count.
TEST(HelperThread, ACallerThatWaitedOnTheSchedulerLeavesTheHelperToRest) {
    HelperThread helper;
    const pid_t caller = static_cast<pid_t>(syscall(SYS_gettid));
    struct sigaction action {};
    action.sa_handler = hold;
    ASSERT_EQ(sigaction(SIGUSR1, &action, nullptr), 0);
    // A split whose caller waits for the helper to begin its share, so that the helper takes
    // it; false when it did not within `patience`.
    const auto splitWithHelper = [&](const auto& helperShare,
                                     std::chrono::milliseconds patience = std::chrono::seconds(5)) {
        std::atomic<bool> started{false};
        return helper.split([&](std::size_t share) {
            if (share == 1) {
                started = true;
                helperShare();
                return;
            }
            const auto deadline = std::chrono::steady_clock::now() + patience;
            while (!started && std::chrono::steady_clock::now() < deadline) {
                std::this_thread::yield();
            }
        });
    };
    const auto until = [](const auto& condition, std::chrono::milliseconds limit) {
        const auto deadline = std::chrono::steady_clock::now() + limit;
        while (!condition() && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::yield();
        }
        return condition();
    };
    // A share that works for 5 ms: the helper takes the next one too.
    EXPECT_TRUE(splitWithHelper([&] {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(5);
        until([&] { return std::chrono::steady_clock::now() >= end; }, std::chrono::seconds(1));
    }));
    // A share that ends while the caller, asleep waiting for it, is kept from running (a
    // signal holds it, as the scheduler would) three times as long as the share took, and
    // 5 ms more.
    held = false;
    release = false;
    std::atomic<std::chrono::steady_clock::time_point> shareStart{};
    std::jthread releaser([&] {
        until([] { return held.load(); }, std::chrono::seconds(10));
        const auto heldAt = std::chrono::steady_clock::now();
        const auto end = heldAt + 3 * (heldAt - shareStart.load()) + std::chrono::milliseconds(5);
        until([&] { return std::chrono::steady_clock::now() >= end; }, std::chrono::seconds(10));
        release = true;
    });
    EXPECT_TRUE(splitWithHelper([&] {
        shareStart = std::chrono::steady_clock::now();
        ASSERT_TRUE(until([&] { return sleeping(caller); }, std::chrono::seconds(5)));
        ASSERT_EQ(syscall(SYS_tgkill, getpid(), caller, SIGUSR1), 0);
        ASSERT_TRUE(until([] { return held.load(); }, std::chrono::seconds(5)));
    }));
    releaser.join();
    // Resting, the helper does not take a share however long the caller gives it.
    std::thread::id ranOn;
    EXPECT_FALSE(splitWithHelper([&] { ranOn = std::this_thread::get_id(); },
                                 std::chrono::milliseconds(500)));
    EXPECT_EQ(ranOn, std::this_thread::get_id());
}

}  // namespace
}  // namespace sumiro
