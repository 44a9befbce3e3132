#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <stdexcept>
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
            if (share == failing) {
                throw std::runtime_error("share failed");
            }
        };
        EXPECT_THROW(helper.split(work), std::runtime_error);
        EXPECT_TRUE(ended[0] && ended[1]);
    }
    // Still serving.
    std::atomic<int> runs{0};
    const auto count = [&](std::size_t) { ++runs; };
    helper.split(count);
    EXPECT_EQ(runs.load(), 2);
}

}  // namespace
}  // namespace sumiro
