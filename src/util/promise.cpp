#include "util/promise.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QThread>
#include <QThreadPool>

#include <chrono>
#include <condition_variable>

namespace promise_detail {

namespace {

constexpr std::chrono::milliseconds ShutdownCheckInterval{50};

}  // namespace

bool IsMainThread() {
    const QCoreApplication* application = QCoreApplication::instance();
    return application && QThread::currentThread() == application->thread();
}

// A callback must not throw into the pool or into the main thread's event dispatch.
void RunReportingErrors(const std::function<void()>& callback) {
    try {
        callback();
    } catch (const std::exception& error) {
        qWarning("[TPromise] Erro em um retorno: %s", error.what());
    } catch (...) {
        qWarning("[TPromise] Erro desconhecido em um retorno");
    }
}

// Like a blocking queued call, except that the worker gives up when the application shuts
// down: its destructor waits for the pool's threads and no longer dispatches calls, so a
// blocking hand-over would hang the process's exit.
void RunOnMainThread(const std::function<void()>& callback) {
    QCoreApplication* application = QCoreApplication::instance();
    if (!application || IsMainThread()) {
        RunReportingErrors(callback);
        return;
    }
    struct THandover {
        std::mutex guard;
        std::condition_variable finishedEvent;
        bool finished = false;
        bool abandoned = false;
        std::function<void()> callback;
    };
    auto handover = std::make_shared<THandover>();
    handover->callback = callback;
    QMetaObject::invokeMethod(
        application,
        [handover] {
            {
                std::lock_guard lock(handover->guard);
                if (handover->abandoned) return;
            }
            RunReportingErrors(handover->callback);
            std::lock_guard lock(handover->guard);
            handover->finished = true;
            handover->finishedEvent.notify_all();
        },
        Qt::QueuedConnection);
    std::unique_lock lock(handover->guard);
    while (!handover->finishedEvent.wait_for(lock, ShutdownCheckInterval, [&] { return handover->finished; })) {
        if (QCoreApplication::closingDown()) {
            handover->abandoned = true;
            qWarning("[TPromise] Aplicação encerrando: retorno descartado");
            return;
        }
    }
}

void ReportUnhandledFailure(const std::exception& error) {
    qWarning("[TPromise] Erro sem tratamento: %s", error.what());
}

void WaitReleasingPoolThread(const std::function<void()>& wait) {
    QThreadPool* pool = QThreadPool::globalInstance();
    pool->releaseThread();
    wait();
    pool->reserveThread();
}

void StartOnPool(std::function<void()> task) { QThreadPool::globalInstance()->start(std::move(task)); }

}  // namespace promise_detail

template class TPromise<QString>;
