#include "Clock.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

namespace {

TEST(Wait, VirtualClockJumpsToTheDeadlineUnlessTheWakerMoved)
{
    VirtualClock clock(1714521600);
    Waker waker;
    const quint64 seen = waker.Epoch();
    clock.WaitUntil(5000, waker, seen);
    EXPECT_EQ(clock.MonotonicMicros(), 5000);
    // Waits end at their deadline: they never add up and never move the clock back.
    clock.WaitUntil(3000, waker, seen);
    EXPECT_EQ(clock.MonotonicMicros(), 5000);
    clock.WaitUntil(2'008'000, waker, seen);
    EXPECT_EQ(clock.MonotonicMicros(), 2'008'000);
    EXPECT_EQ(clock.Now(), 1714521602);
    EXPECT_EQ(clock.NowAt(500'000), 1714521600);

    // Once notified, a wait with the old epoch returns without moving the clock.
    waker.Notify();
    clock.WaitUntil(9'000'000, waker, seen);
    EXPECT_EQ(clock.MonotonicMicros(), 2'008'000);
    clock.WaitUntil(9'000'000, waker, waker.Epoch());
    EXPECT_EQ(clock.MonotonicMicros(), 9'000'000);
}

TEST(Wait, SystemClockWaitEndsWhenAnotherThreadNotifies)
{
    SystemClock clock;
    Waker waker;
    const quint64 seen = waker.Epoch();
    std::thread notifier([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        waker.Notify();
    });
    const qint64 start = clock.MonotonicMicros();
    clock.WaitUntil(start + 60'000'000, waker, seen);
    notifier.join();
    EXPECT_NE(waker.Epoch(), seen);
    EXPECT_LT(clock.MonotonicMicros() - start, 30'000'000);

    // A notification that came before the wait is not lost: the wait does not start at all.
    const qint64 again = clock.MonotonicMicros();
    clock.WaitUntil(again + 60'000'000, waker, seen);
    EXPECT_LT(clock.MonotonicMicros() - again, 30'000'000);

    // Without one, the wait lasts to its deadline.
    const qint64 deadline = clock.MonotonicMicros() + 20'000;
    clock.WaitUntil(deadline, waker, waker.Epoch());
    EXPECT_GE(clock.MonotonicMicros(), deadline);
}

} // namespace
