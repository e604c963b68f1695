#include "util/timer_thread.h"

#include "util/error.h"

namespace {

// Runs one tick, turning anything it raises into a line for the error sink.
template <typename Callback>
void RunReportingErrors(const Callback& callback, const TProcRegLog3& errorSink, const char* timer) {
    QString failure;
    try {
        callback();
        return;
    } catch (const std::exception& error) {
        failure = QString::fromUtf8(error.what());
    } catch (...) {
        failure = QStringLiteral("unknown error");
    }
    const QString message = QStringLiteral("[%1] Exception: %2").arg(QLatin1String(timer), failure);
    if (errorSink)
        errorSink(message, true);
    else
        qWarning("%s", qUtf8Printable(message));
}

}  // namespace

// ---- TTimerThread

TTimerThread::TTimerThread(bool pPaused, int pTimeMilliSec, TNotifyEvent pEvent, bool pOneExecution,
                           TProcRegLog3 errorSink)
    : FTimeMilliSec(pTimeMilliSec),
      FEvent(std::move(pEvent)),
      FPausedThread(pPaused),
      FOneExecution(pOneExecution),
      FErrorSink(std::move(errorSink)) {
    FTimer.setTimerType(Qt::PreciseTimer);
    connect(&FTimer, &QTimer::timeout, this, &TTimerThread::tick);
    if (!FPausedThread) FTimer.start(FTimeMilliSec);
}

TTimerThread::~TTimerThread() { FTimer.stop(); }

void TTimerThread::PauseThread() {
    if (FPausedThread) return;
    FPausedThread = true;
    FTimer.stop();
}

void TTimerThread::RestartThread() {
    if (!FPausedThread) return;
    FPausedThread = false;
    FTimer.start(FTimeMilliSec);
}

void TTimerThread::setTimeMilliSeconds(int milliseconds) { FTimeMilliSec = milliseconds; }

void TTimerThread::tick() {
    // Paused before the callback: a restart made while it runs (a connection attempt that
    // fails at once restarts the connect timer) must not be undone afterwards.
    if (FOneExecution) PauseThread();
    RunReportingErrors([this] { FEvent(*this); }, FErrorSink, "TTimerThread");
    if (!FPausedThread && FTimer.interval() != FTimeMilliSec) FTimer.start(FTimeMilliSec);
}

// ---- TTimerThreadEx

TTimerThreadEx::TTimerThreadEx(int interval, TNotifyEvent execProc, TGuard* execGuard, bool runOnce,
                               bool startPaused, TProcRegLog3 errorSink)
    : paused(startPaused),
      interval(interval),
      runOnce(runOnce),
      execProc(std::move(execProc)),
      execGuard(execGuard),
      FErrorSink(std::move(errorSink)),
      FThread([this] { loop(); }) {}

TTimerThreadEx::~TTimerThreadEx() {
    {
        std::lock_guard lock(FState);
        FTerminated = true;
    }
    FWake.notify_all();
    FThread.join();
}

void TTimerThreadEx::pause() {
    {
        std::lock_guard lock(FState);
        paused = true;
        FWoken = true;
    }
    FWake.notify_all();
}

void TTimerThreadEx::restart() {
    {
        std::lock_guard lock(FState);
        paused = false;
        FWoken = true;
    }
    FWake.notify_all();
}

void TTimerThreadEx::setInterval(int newInterval) {
    if (newInterval <= 0) return;
    std::lock_guard lock(FState);
    interval = newInterval;
}

bool TTimerThreadEx::isPaused() const {
    std::lock_guard lock(FState);
    return paused;
}

void TTimerThreadEx::loop() {
    std::unique_lock lock(FState);
    while (!FTerminated) {
        // A wake-up (pause, restart) only restarts the wait: the tick comes a full interval later.
        const bool woken = FWake.wait_for(lock, std::chrono::milliseconds(interval),
                                          [this] { return FWoken || FTerminated; });
        FWoken = false;
        if (woken || FTerminated) continue;
        if (paused) {
            FWake.wait(lock, [this] { return !paused || FTerminated; });
            FWoken = false;
            continue;
        }
        lock.unlock();
        const bool ran = runTick();
        lock.lock();
        if (ran && runOnce) paused = true;
    }
}

bool TTimerThreadEx::runTick() {
    if (!execGuard) {
        RunReportingErrors([this] { execProc(*this); }, FErrorSink, "TTimerThreadEx");
        return true;
    }
    // Waits for the guard in short steps so that ending the timer is never blocked by an
    // owner that holds the guard while it destroys the timer.
    while (!execGuard->try_lock_for(std::chrono::milliseconds(20))) {
        std::lock_guard lock(FState);
        if (FTerminated) return false;
    }
    std::lock_guard guard(*execGuard, std::adopt_lock);
    RunReportingErrors([this] { execProc(*this); }, FErrorSink, "TTimerThreadEx");
    return true;
}
