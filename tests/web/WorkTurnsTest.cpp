#include "WorkTurns.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

namespace {

// Many threads asking again and again: never more than the bound at work, the bound reached, nobody left
// waiting for good.
TEST(WorkTurns, NeverMoreAtWorkThanTheBoundAndEveryoneGetsATurn)
{
    for (const int atOnce : {1, 3}) {
        WorkTurns turns(atOnce);
        std::atomic<int> running{0}, most{0}, done{0};
        std::vector<std::thread> threads;
        for (int t = 0; t < 12; ++t)
            threads.emplace_back([&] {
                for (int i = 0; i < 20; ++i) {
                    const WorkTurns::Turn turn(turns);
                    const int now = ++running;
                    for (int seen = most; now > seen && !most.compare_exchange_weak(seen, now);)
                        ;
                    std::this_thread::sleep_for(std::chrono::milliseconds(1));
                    --running;
                    ++done;
                }
            });
        for (std::thread &t : threads)
            t.join();
        EXPECT_EQ(done, 12 * 20);
        EXPECT_EQ(most, atOnce);
    }
}

} // namespace
