#pragma once

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QThread>

#include <functional>

// Runs the main thread's event loop until the condition holds or the time is up; returns
// whether it held. Generous deadlines keep tests stable on a loaded machine.
inline bool SpinUntil(const std::function<bool()>& condition, int timeoutMs = 10'000) {
    QDeadlineTimer deadline(timeoutMs);
    while (!condition()) {
        if (deadline.hasExpired()) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(1);
    }
    return true;
}

// Runs the event loop for a fixed time (to show that something does NOT happen).
inline void SpinFor(int milliseconds) {
    SpinUntil([] { return false; }, milliseconds);
}
