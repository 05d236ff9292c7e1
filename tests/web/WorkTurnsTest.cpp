#include "WorkTurns.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

namespace {

// Many threads asking again and again, some stepping away in their turn and coming back: never more than the
// bound at work, the bound reached, nobody left waiting for good.
TEST(WorkTurns, NeverMoreAtWorkThanTheBoundAndEveryoneGetsATurn)
{
    for (const int atOnce : {1, 3}) {
        WorkTurns turns(atOnce);
        std::atomic<int> running{0}, most{0}, done{0};
        const auto working = [&] {
            const int now = ++running;
            for (int seen = most; now > seen && !most.compare_exchange_weak(seen, now);)
                ;
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
            --running;
        };
        std::vector<std::thread> threads;
        for (int t = 0; t < 12; ++t)
            threads.emplace_back([&, t] {
                for (int i = 0; i < 20; ++i) {
                    const WorkTurns::Turn turn(turns);
                    working();
                    if ((t + i) % 3 == 0) {
                        const WorkTurns::Away away;
                        std::this_thread::sleep_for(std::chrono::milliseconds(1));
                    }
                    working();
                    ++done;
                }
            });
        for (std::thread &t : threads)
            t.join();
        EXPECT_EQ(done, 12 * 20);
        EXPECT_EQ(most, atOnce);
    }
}

// A page waiting for a distant database leaves its turn to others (with one turn, the other could not start
// and this test would never end), and gets it back when the answer is in.
TEST(WorkTurns, WorkThatStepsAwayLetsOthersRunAndComesBack)
{
    WorkTurns turns(1);
    const WorkTurns::Turn mine(turns);
    {
        const WorkTurns::Away away;
        bool ran = false;
        std::thread other([&] {
            const WorkTurns::Turn theirs(turns);
            ran = true;
        });
        other.join();
        EXPECT_TRUE(ran);
    }
    // Back in the turn: a newcomer waits until it is let go.
    std::atomic<bool> newcomerIn{false};
    std::thread newcomer([&] {
        const WorkTurns::Turn theirs(turns);
        newcomerIn = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_FALSE(newcomerIn);
    {
        const WorkTurns::Away away;
        newcomer.join();
    }
    EXPECT_TRUE(newcomerIn);
}

} // namespace
