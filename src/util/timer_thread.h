#pragma once

#include "util/log_types.h"

#include <QObject>
#include <QTimer>

#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

// A periodic callback on the main thread. The first tick comes one full interval after
// construction or restart; pausing (also from inside the callback) stops further ticks
// until restarted; a one-execution timer pauses itself as each tick begins. A callback that
// raises is reported through the error sink and the timer keeps ticking. Destroying the
// timer ends it: no tick runs afterwards. Use it from the main thread only.
class TTimerThread : public QObject {
    Q_OBJECT
public:
    using TNotifyEvent = std::function<void(TTimerThread& sender)>;

    TTimerThread(bool pPaused, int pTimeMilliSec, TNotifyEvent pEvent, bool pOneExecution = false,
                 TProcRegLog3 errorSink = {});
    ~TTimerThread() override;

    void PauseThread();
    void RestartThread();

    int TimeMilliSeconds() const { return FTimeMilliSec; }
    void setTimeMilliSeconds(int milliseconds);  // applies from the next wait
    bool IsPaused() const { return FPausedThread; }

private:
    void tick();

    QTimer FTimer;
    int FTimeMilliSec;
    TNotifyEvent FEvent;
    bool FPausedThread;
    bool FOneExecution;
    TProcRegLog3 FErrorSink;
};

// A periodic callback on a thread of its own, optionally holding the owner's mutex while it
// runs (the data processes' rules mutex). pause, restart and setInterval may be called from
// any thread. The destructor ends the loop and waits for a tick in progress to finish, so
// the callback never outlives what it uses; a tick still waiting for the guard gives up,
// so the owner may destroy the timer while holding the guard itself.
class TTimerThreadEx {
public:
    using TNotifyEvent = std::function<void(TTimerThreadEx& sender)>;
    using TGuard = std::recursive_timed_mutex;

    TTimerThreadEx(int interval, TNotifyEvent execProc, TGuard* execGuard, bool runOnce,
                   bool startPaused, TProcRegLog3 errorSink = {});
    ~TTimerThreadEx();
    TTimerThreadEx(const TTimerThreadEx&) = delete;
    TTimerThreadEx& operator=(const TTimerThreadEx&) = delete;

    void pause();
    void restart();
    void setInterval(int newInterval);  // ignored unless greater than 0
    bool isPaused() const;

private:
    void loop();
    bool runTick();

    mutable std::mutex FState;
    std::condition_variable FWake;
    bool FWoken = false;  // the auto-reset "execution" event
    bool FTerminated = false;
    bool paused;
    int interval;
    bool runOnce;
    TNotifyEvent execProc;
    TGuard* execGuard;
    TProcRegLog3 FErrorSink;
    std::thread FThread;
};
