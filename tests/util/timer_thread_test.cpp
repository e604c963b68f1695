#include "util/timer_thread.h"

#include "support/event_loop.h"

#include <QElapsedTimer>

#include <atomic>
#include <future>

#include <gtest/gtest.h>

TEST(TTimerThread, PausedTimerTicksOnlyAfterRestartAndOneIntervalLater) {
    int ticks = 0;
    TTimerThread timer(true, 50, [&](TTimerThread&) { ++ticks; });
    SpinFor(200);
    EXPECT_EQ(ticks, 0);
    EXPECT_TRUE(timer.IsPaused());

    QElapsedTimer sinceRestart;
    sinceRestart.start();
    timer.RestartThread();
    ASSERT_TRUE(SpinUntil([&] { return ticks > 0; }));
    EXPECT_GE(sinceRestart.elapsed(), 45);
}

TEST(TTimerThread, OneExecutionTicksOnceAndPausingFromTheCallbackStopsTicks) {
    int once = 0;
    TTimerThread oneShot(false, 20, [&](TTimerThread&) { ++once; }, true);
    int paused = 0;
    TTimerThread selfPausing(false, 20, [&](TTimerThread& sender) {
        ++paused;
        sender.PauseThread();
    });
    SpinFor(300);
    EXPECT_EQ(once, 1);
    EXPECT_TRUE(oneShot.IsPaused());
    EXPECT_EQ(paused, 1);
    oneShot.RestartThread();
    ASSERT_TRUE(SpinUntil([&] { return once == 2; }));
}

TEST(TTimerThread, CallbackErrorsAreReportedAndTheTimerGoesOn) {
    int ticks = 0;
    QStringList errors;
    TTimerThread timer(
        false, 10, [&](TTimerThread&) { ++ticks; throw std::runtime_error("boom"); }, false,
        [&](const QString& message, bool danger) {
            EXPECT_TRUE(danger);
            errors << message;
        });
    ASSERT_TRUE(SpinUntil([&] { return ticks >= 3; }));
    EXPECT_EQ(errors.first(), "[TTimerThread] Exception: boom");
}

TEST(TTimerThreadEx, TicksUnderTheGuardOnItsOwnThread) {
    TTimerThreadEx::TGuard guard;
    std::atomic<int> ticks{0};
    std::atomic<bool> heldGuard{true};
    std::atomic<bool> onMainThread{false};
    const auto mainThread = std::this_thread::get_id();
    TTimerThreadEx timer(10, [&](TTimerThreadEx&) {
        // The guard is recursive: it is held here if another thread cannot take it.
        heldGuard = heldGuard && !std::async(std::launch::async, [&] {
            const bool taken = guard.try_lock();
            if (taken) guard.unlock();
            return taken;
        }).get();
        onMainThread = onMainThread || std::this_thread::get_id() == mainThread;
        ++ticks;
    }, &guard, false, false);
    ASSERT_TRUE(SpinUntil([&] { return ticks >= 3; }));
    EXPECT_TRUE(heldGuard);
    EXPECT_FALSE(onMainThread);
}

TEST(TTimerThreadEx, PauseRestartRunOnceAndInterval) {
    std::atomic<int> ticks{0};
    TTimerThreadEx timer(30, [&](TTimerThreadEx&) { ++ticks; }, nullptr, true, true);
    SpinFor(150);
    EXPECT_EQ(ticks, 0);
    timer.restart();
    ASSERT_TRUE(SpinUntil([&] { return ticks == 1; }));
    SpinFor(150);
    EXPECT_EQ(ticks, 1);  // run once: paused again
    EXPECT_TRUE(timer.isPaused());

    timer.setInterval(0);
    timer.setInterval(-5);
    QElapsedTimer sinceRestart;
    sinceRestart.start();
    timer.restart();
    ASSERT_TRUE(SpinUntil([&] { return ticks == 2; }));
    EXPECT_GE(sinceRestart.elapsed(), 25);  // still 30 ms, not 0
}

TEST(TTimerThreadEx, RestartPostponesARunningCountdown) {
    std::atomic<int> ticks{0};
    TTimerThreadEx timer(400, [&](TTimerThreadEx&) { ++ticks; }, nullptr, false, false);
    SpinFor(250);
    QElapsedTimer sinceRestart;
    sinceRestart.start();
    timer.restart();
    ASSERT_TRUE(SpinUntil([&] { return ticks >= 1; }));
    EXPECT_GE(sinceRestart.elapsed(), 390);
}

TEST(TTimerThreadEx, EndsPromptlyWhenPausedOrWhileTheOwnerHoldsTheGuard) {
    TTimerThreadEx::TGuard guard;
    QElapsedTimer ending;
    {
        TTimerThreadEx paused(10, [](TTimerThreadEx&) {}, &guard, false, true);
        std::lock_guard held(guard);
        TTimerThreadEx blocked(10, [](TTimerThreadEx&) { ADD_FAILURE() << "ran without the guard"; },
                               &guard, false, false);
        SpinFor(100);  // a tick is now waiting for the guard
        ending.start();
    }
    EXPECT_LT(ending.elapsed(), 2000);
}

TEST(TTimerThread, OneExecutionTimerRestartedByItsOwnCallbackTicksAgain) {
    // A connection attempt that fails at once restarts the connect timer from inside its tick.
    int ticks = 0;
    TTimerThread timer(false, 20, [&](TTimerThread& sender) {
        if (++ticks < 3) sender.RestartThread();
    }, true);
    ASSERT_TRUE(SpinUntil([&] { return ticks == 3; }));
    SpinFor(100);
    EXPECT_EQ(ticks, 3);
    EXPECT_TRUE(timer.IsPaused());
}
