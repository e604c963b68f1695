#pragma once

#include "util/error.h"

#include <QString>

#include <exception>
#include <functional>
#include <future>
#include <memory>
#include <mutex>

// Work run on the shared thread pool (QThreadPool::globalInstance) whose result or error is
// handed to callbacks, on the main thread unless told otherwise, or awaited by a worker.
//
//   TPromise<QString>::Execute([] { return fetch(); })
//       ->OnDone([](const QString& text) { show(text); })
//       ->OnError([](const std::exception& error) { report(error); })
//       ->Run();
//
// A running promise keeps itself alive until its callbacks have run, so the caller may
// drop its reference at once. Callbacks on the main thread are a synchronous hand-over:
// the worker waits for them, so a main thread that waits for the promise deadlocks (hence
// the guard in Await).
namespace promise_detail {

bool IsMainThread();
// Runs the callback on the main thread and waits for it; directly when there is no
// application object. A callback that raises is reported on the standard error stream.
void RunOnMainThread(const std::function<void()>& callback);
void RunReportingErrors(const std::function<void()>& callback);
void ReportUnhandledFailure(const std::exception& error);
// Waits for the future without holding a pool thread: the pool may start another one.
void WaitReleasingPoolThread(const std::function<void()>& wait);
void StartOnPool(std::function<void()> task);

}  // namespace promise_detail

template <typename T>
class IPromise {
public:
    using TPromiseResult = std::function<void(const T& result)>;
    using TPromiseError = std::function<void(const std::exception& error)>;

    virtual ~IPromise() = default;

    // Both are ignored once the promise has been run.
    virtual std::shared_ptr<IPromise<T>> OnDone(TPromiseResult callback) = 0;
    virtual std::shared_ptr<IPromise<T>> OnError(TPromiseError callback) = 0;
    // The callbacks run on the pool thread instead of the main thread.
    virtual std::shared_ptr<IPromise<T>> DoNotSynchronize() = 0;
    virtual std::shared_ptr<IPromise<T>> AllowAwaitOnMainThread() = 0;
    // Runs the work and waits for its result; what the work raises reaches the caller and
    // no callback is called. Refused on the main thread unless allowed.
    virtual T Await() = 0;
    // Starts the work without waiting. A failure goes to OnError (when there is none, it is
    // reported on the standard error stream and OnDone is not called).
    virtual void Run() = 0;
};

template <typename T>
class TPromise final : public IPromise<T>, public std::enable_shared_from_this<TPromise<T>> {
    struct TConstructionKey {};

public:
    using TPromiseFunction = std::function<T()>;
    using typename IPromise<T>::TPromiseResult;
    using typename IPromise<T>::TPromiseError;

    // Creates a promise for the work without starting it. Throws MeltrixError when the
    // work is missing.
    static std::shared_ptr<IPromise<T>> Execute(TPromiseFunction asyncFunction) {
        return std::make_shared<TPromise<T>>(TConstructionKey{}, std::move(asyncFunction));
    }

    TPromise(TConstructionKey, TPromiseFunction asyncFunction) : AsyncFunction(std::move(asyncFunction)) {
        if (!AsyncFunction)
            throw MeltrixError(QStringLiteral("Cannot create a new promise with empty asynchronous function."));
    }

    std::shared_ptr<IPromise<T>> OnDone(TPromiseResult callback) override {
        std::lock_guard lock(FGuard);
        if (!FRunStarted) OnDoneProc = std::move(callback);
        return this->shared_from_this();
    }

    std::shared_ptr<IPromise<T>> OnError(TPromiseError callback) override {
        std::lock_guard lock(FGuard);
        if (!FRunStarted) OnErrorProc = std::move(callback);
        return this->shared_from_this();
    }

    std::shared_ptr<IPromise<T>> DoNotSynchronize() override {
        std::lock_guard lock(FGuard);
        MainThreadSync = false;
        return this->shared_from_this();
    }

    std::shared_ptr<IPromise<T>> AllowAwaitOnMainThread() override {
        std::lock_guard lock(FGuard);
        CanAwaitOnMainThread = true;
        return this->shared_from_this();
    }

    T Await() override {
        std::packaged_task<T()> work;
        {
            std::lock_guard lock(FGuard);
            if (promise_detail::IsMainThread() && !CanAwaitOnMainThread)
                throw MeltrixError(QStringLiteral(
                    "Você não pode usar Await() na thread principal. Se mesmo assim você precisar disso, use "
                    "AllowAwaitOnMainThread() antes (pode causar dead lock!)"));
            if (FRunStarted) throw MeltrixError(QStringLiteral("Cannot await an already running promise."));
            FFutureStarted = true;
            work = std::packaged_task<T()>(AsyncFunction);
        }
        std::future<T> future = work.get_future();
        auto shared = std::make_shared<std::packaged_task<T()>>(std::move(work));
        promise_detail::StartOnPool([shared] { (*shared)(); });
        promise_detail::WaitReleasingPoolThread([&future] { future.wait(); });
        return future.get();
    }

    void Run() override {
        {
            std::lock_guard lock(FGuard);
            if (FFutureStarted) throw MeltrixError(QStringLiteral("Cannot run an already awaiting promise."));
            FFutureStarted = true;
            FRunStarted = true;
        }
        // The task's reference keeps the promise alive until its callbacks have run.
        promise_detail::StartOnPool([InnerReference = this->shared_from_this()] { InnerReference->RunWork(); });
    }

private:
    // Pool thread. Callbacks and settings no longer change once the run has started.
    void RunWork() {
        try {
            const T result = AsyncFunction();
            if (OnDoneProc) Deliver([this, &result] { OnDoneProc(result); });
        } catch (const std::exception& error) {
            Fail(error);
        } catch (...) {
            Fail(MeltrixError(QStringLiteral("Unknown error in a promise's work")));
        }
    }

    void Fail(const std::exception& error) {
        if (OnErrorProc)
            Deliver([this, &error] { OnErrorProc(error); });
        else
            promise_detail::ReportUnhandledFailure(error);
    }

    void Deliver(const std::function<void()>& callback) {
        bool onMainThread = false;
        {
            std::lock_guard lock(FGuard);
            onMainThread = MainThreadSync;
        }
        if (onMainThread)
            promise_detail::RunOnMainThread(callback);
        else
            promise_detail::RunReportingErrors(callback);
    }

    const TPromiseFunction AsyncFunction;
    TPromiseResult OnDoneProc;
    TPromiseError OnErrorProc;
    mutable std::mutex FGuard;
    bool FFutureStarted = false;  // Run or Await has started the work
    bool FRunStarted = false;
    bool MainThreadSync = true;
    bool CanAwaitOnMainThread = false;
};

extern template class TPromise<QString>;
